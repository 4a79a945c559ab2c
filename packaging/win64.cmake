# The Windows package, made by every build of the win64 preset (target
# win64_package): a 64-bit NSIS installer and a portable .zip in the build
# directory, each with the stripped .exe, the WebView2 loader beside it and
# the licence texts.
include("${CMAKE_CURRENT_LIST_DIR}/licences.cmake")
if(NOT VORBEK_CHII_LICENSE)
  message(FATAL_ERROR "the Windows package needs the installed frontend's licence "
    "(bash scripts/setup.sh)")
endif()
find_program(VORBEK_MAKENSIS makensis)
if(NOT VORBEK_MAKENSIS)
  message(FATAL_ERROR "the Windows installer is made with makensis (Debian package nsis; "
    "bash scripts/setup.sh installs it)")
endif()

set(package_name "vorbek_inspector-${PROJECT_VERSION}-win64")
set(package_root "${CMAKE_BINARY_DIR}/package")
set(stage "${package_root}/${package_name}")
set(VORBEK_WIN64_ZIP "${CMAKE_BINARY_DIR}/${package_name}.zip")
set(VORBEK_WIN64_SETUP "${CMAKE_BINARY_DIR}/${package_name}-setup.exe")

# The loader's licence is in the restored NuGet package, three levels above
# its headers; the mingw-w64 runtime's notices are Debian's for the package
# the static runtime comes from.
get_filename_component(webview2_package "${VORBEK_WEBVIEW2_INCLUDE_DIR}/../../.." ABSOLUTE)
get_filename_component(VORBEK_WEBVIEW2_VERSION "${webview2_package}" NAME)
set(webview2_license "${webview2_package}/LICENSE.txt")
set(mingw_copyright /usr/share/doc/mingw-w64-x86-64-dev/copyright)
foreach(file "${webview2_license}" "${mingw_copyright}" "${VORBEK_WEBVIEW2_LOADER_DLL}")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "the Windows package needs ${file}")
  endif()
endforeach()
execute_process(COMMAND dpkg-query -W -f=\${Version} mingw-w64-x86-64-dev
  OUTPUT_VARIABLE MINGW_VERSION RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  set(MINGW_VERSION "")
endif()

file(READ "${webview2_license}" webview2_text)
vorbek_dep5_text(WEBVIEW2_TEXT "${webview2_text}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/copyright-win64.in"
  "${CMAKE_BINARY_DIR}/packaging/copyright-win64" @ONLY)
file(READ "${CMAKE_BINARY_DIR}/packaging/copyright-win64" platform_files)
vorbek_configure_copyright("${CMAKE_BINARY_DIR}/packaging/copyright.txt" ".txt" "${platform_files}")

# Source and name of each file in the package, the .exe's added below.
set(package_files
  "${VORBEK_WEBVIEW2_LOADER_DLL}" WebView2Loader.dll
  "${CMAKE_BINARY_DIR}/packaging/copyright.txt" copyright.txt
  "${VORBEK_CHII_LICENSE}" LICENSE.chii.txt
  "${VORBEK_CHROMIUM_LICENSE}" LICENSE.chromium.txt
  "${webview2_license}" LICENSE.WebView2.txt
  "${mingw_copyright}" LICENSE.mingw-w64.txt)
set(staged "${stage}/vorbek_inspector.exe")
set(nsis_list "!macro PACKAGE_FILES DO\n  !insertmacro \${DO} vorbek_inspector.exe\n")
set(copies "")
set(sources "")
while(package_files)
  list(POP_FRONT package_files source name)
  list(APPEND copies COMMAND "${CMAKE_COMMAND}" -E copy "${source}" "${stage}/${name}")
  list(APPEND sources "${source}")
  list(APPEND staged "${stage}/${name}")
  string(APPEND nsis_list "  !insertmacro \${DO} ${name}\n")
endwhile()
string(APPEND nsis_list "!macroend\n")
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/packaging/package_files.nsh" CONTENT "${nsis_list}" @ONLY)

# Staged afresh each time, so nothing stale ends up in the package.
add_custom_command(
  OUTPUT ${staged}
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${stage}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${stage}"
  COMMAND "${CMAKE_STRIP}" -o "${stage}/vorbek_inspector.exe" $<TARGET_FILE:vorbek_inspector>
  ${copies}
  DEPENDS vorbek_inspector ${sources}
  COMMENT "Staging the Windows package"
  VERBATIM)

add_custom_command(
  OUTPUT "${VORBEK_WIN64_ZIP}"
  COMMAND "${CMAKE_COMMAND}" -E rm -f "${VORBEK_WIN64_ZIP}"
  COMMAND "${CMAKE_COMMAND}" -E tar cf "${VORBEK_WIN64_ZIP}" --format=zip "${package_name}"
  WORKING_DIRECTORY "${package_root}"
  DEPENDS ${staged}
  COMMENT "Making ${package_name}.zip"
  VERBATIM)

add_custom_command(
  OUTPUT "${VORBEK_WIN64_SETUP}"
  COMMAND "${VORBEK_MAKENSIS}" -V2 -NOCD
          "-DVERSION=${PROJECT_VERSION}" "-DVERSION_QUAD=${PROJECT_VERSION}.0"
          "-DPUBLISHER=The vorbek_inspector authors" "-DSTAGE=${stage}"
          "-DFILES=${CMAKE_BINARY_DIR}/packaging/package_files.nsh"
          "-DOUTFILE=${VORBEK_WIN64_SETUP}" "${CMAKE_CURRENT_LIST_DIR}/installer.nsi"
  DEPENDS ${staged} "${CMAKE_CURRENT_LIST_DIR}/installer.nsi"
          "${CMAKE_BINARY_DIR}/packaging/package_files.nsh"
  COMMENT "Making ${package_name}-setup.exe"
  VERBATIM)

add_custom_target(win64_package ALL DEPENDS "${VORBEK_WIN64_ZIP}" "${VORBEK_WIN64_SETUP}")
# For the tests (tests/win64), configured before this file.
set_target_properties(win64_package PROPERTIES
  VORBEK_SETUP "${VORBEK_WIN64_SETUP}" VORBEK_ZIP "${VORBEK_WIN64_ZIP}")
