# The npm packages, staged by target npm_stage in npm/ of the build
# directory; scripts/package_npm.sh packs each folder there with npm pack.
# A build stages the package of the platform it builds for (the stripped
# program and the licence texts of what it carries, from the same copyright
# template as the .deb and the Windows package), and the native build the
# launcher too, which is the same everywhere.
#
# Every package name comes from here. The launcher lists the platform
# packages as optional dependencies at the project's version and finds the
# one for its platform among them when it runs, so it names none itself.
set(VORBEK_NPM_LAUNCHER vorbek_inspector)
set(VORBEK_NPM_SCOPE "@vorbek_inspector")
# Named as node names the platform it runs on: process.platform-process.arch.
set(VORBEK_NPM_PLATFORMS linux-x64 win32-x64)

if(NOT VORBEK_CHII_LICENSE)
  message(WARNING "no npm packages without the frontend's licence (bash scripts/setup.sh)")
  return()
endif()
if(NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  message(STATUS "no npm package for ${CMAKE_SYSTEM_PROCESSOR}")
  return()
endif()

set(npm_templates "${CMAKE_CURRENT_LIST_DIR}/npm")
set(npm_out "${CMAKE_BINARY_DIR}/npm")
set(npm_generated "${CMAKE_BINARY_DIR}/packaging/npm")

# The launcher: its script, and the program's own licence (it carries
# nothing of anyone else's).
set(optional_dependencies "")
foreach(platform IN LISTS VORBEK_NPM_PLATFORMS)
  if(optional_dependencies)
    string(APPEND optional_dependencies ",\n")
  endif()
  string(APPEND optional_dependencies
    "    \"${VORBEK_NPM_SCOPE}/${platform}\": \"${PROJECT_VERSION}\"")
endforeach()
file(READ "${VORBEK_CHII_LICENSE}" expat_text)
if(NOT expat_text MATCHES "Copyright \\(c\\) [^\n]+\n+(.*)$")
  message(FATAL_ERROR "no licence text after the copyright line in ${VORBEK_CHII_LICENSE}")
endif()
set(EXPAT_BODY "${CMAKE_MATCH_1}")
configure_file("${npm_templates}/launcher.package.json.in"
  "${npm_generated}/launcher/package.json" @ONLY)
configure_file("${npm_templates}/launcher.README.md.in" "${npm_generated}/launcher/README.md" @ONLY)
configure_file("${npm_templates}/LICENSE.in" "${npm_generated}/launcher/LICENSE" @ONLY)

# This build's platform package: the program in bin/, licences at the top.
if(WIN32)
  set(NPM_OS win32)
  set(NPM_COPYRIGHT copyright.txt)
  # The Windows package's staged files (packaging/win64.cmake): the .exe
  # and its loader go to bin/, the licence texts beside package.json.
  set(platform_sources ${staged})
  set(platform_copies "")
  foreach(file IN LISTS staged)
    get_filename_component(name "${file}" NAME)
    if(name MATCHES "\\.(exe|dll)$")
      set(name "bin/${name}")
    endif()
    list(APPEND platform_copies COMMAND "${CMAKE_COMMAND}" -E copy "${file}" "@STAGE@/${name}")
  endforeach()
else()
  set(NPM_OS linux)
  set(NPM_COPYRIGHT copyright)
  set(platform_sources "${CMAKE_BINARY_DIR}/packaging/copyright"
    "${VORBEK_CHII_LICENSE}" "${VORBEK_CHROMIUM_LICENSE}")
  set(platform_copies
    COMMAND "${CMAKE_STRIP}" --remove-section=.comment --remove-section=.note
            -o "@STAGE@/bin/vorbek_inspector" $<TARGET_FILE:vorbek_inspector>
    COMMAND "${CMAKE_COMMAND}" -E copy "${CMAKE_BINARY_DIR}/packaging/copyright" "@STAGE@/copyright"
    COMMAND "${CMAKE_COMMAND}" -E copy "${VORBEK_CHII_LICENSE}" "@STAGE@/LICENSE.chii"
    COMMAND "${CMAKE_COMMAND}" -E copy "${VORBEK_CHROMIUM_LICENSE}" "@STAGE@/LICENSE.chromium")
endif()
set(NPM_CPU x64)
set(NPM_PLATFORM "${NPM_OS}-${NPM_CPU}")
set(NPM_PACKAGE "${VORBEK_NPM_SCOPE}/${NPM_PLATFORM}")
configure_file("${npm_templates}/platform.package.json.in"
  "${npm_generated}/${NPM_PLATFORM}/package.json" @ONLY)
configure_file("${npm_templates}/${NPM_PLATFORM}.README.md.in"
  "${npm_generated}/${NPM_PLATFORM}/README.md" @ONLY)

set(platform_stage "${npm_out}/${NPM_PLATFORM}")
string(REPLACE "@STAGE@" "${platform_stage}" platform_copies "${platform_copies}")
set(launcher_stage "${npm_out}/launcher")
set(launcher_copies "")
if(NOT CMAKE_CROSSCOMPILING)
  set(launcher_copies
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${launcher_stage}"
    COMMAND "${CMAKE_COMMAND}" -E copy "${npm_templates}/vorbek_inspector.js"
            "${npm_generated}/launcher/package.json" "${npm_generated}/launcher/README.md"
            "${npm_generated}/launcher/LICENSE" "${launcher_stage}")
endif()
# Staged afresh each time, so nothing stale is packed.
add_custom_target(npm_stage
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${npm_out}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${platform_stage}/bin"
  COMMAND "${CMAKE_COMMAND}" -E copy "${npm_generated}/${NPM_PLATFORM}/package.json"
          "${npm_generated}/${NPM_PLATFORM}/README.md" "${platform_stage}"
  ${platform_copies}
  ${launcher_copies}
  DEPENDS ${platform_sources} "${npm_templates}/vorbek_inspector.js"
  COMMENT "Staging the npm packages in ${npm_out}"
  VERBATIM)
add_dependencies(npm_stage vorbek_inspector)
