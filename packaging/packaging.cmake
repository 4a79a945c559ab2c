# Installation and the Debian package (cpack -G DEB in the build directory).
include(GNUInstallDirs)

set(vorbek_docdir "${CMAKE_INSTALL_DATAROOTDIR}/doc/vorbek-inspector")

install(TARGETS vorbek_inspector RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${PROJECT_SOURCE_DIR}/doc/vorbek_inspector.1"
  DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${CMAKE_CURRENT_LIST_DIR}/changelog" DESTINATION "${vorbek_docdir}")
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/changelog" changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^vorbek-inspector \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/changelog has no entry for version ${PROJECT_VERSION} on top")
endif()

# Licences of the embedded frontend. The npm package's own licence is taken
# from the installed dependency; its files' headers point at a Chromium
# LICENSE file that the package does not ship, so that text is kept here.
set(vorbek_chii_dir "${PROJECT_SOURCE_DIR}/frontend/node_modules/chii")
if(VORBEK_FRONTEND_DIR)
  message(WARNING "VORBEK_FRONTEND_DIR is set: the installed licence files describe "
    "the pinned chii frontend, not ${VORBEK_FRONTEND_DIR}")
endif()
if(EXISTS "${vorbek_chii_dir}/LICENSE")
  # DEP-5 wants licence texts indented by one space, empty lines as " .".
  function(vorbek_dep5_text out text)
    string(STRIP "${text}" text)
    string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" text "${text}")
    string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" text "${text}")
    string(REPLACE "\n" "\n " text " ${text}")
    set(${out} "${text}" PARENT_SCOPE)
  endfunction()

  file(READ "${vorbek_chii_dir}/LICENSE" chii_license)
  file(READ "${vorbek_chii_dir}/package.json" chii_package)
  string(JSON CHII_VERSION GET "${chii_package}" version)
  if(NOT chii_license MATCHES "Copyright \\(c\\) ([^\n]+)\n(.*)$")
    message(FATAL_ERROR "no copyright line in ${vorbek_chii_dir}/LICENSE")
  endif()
  set(CHII_COPYRIGHT "${CMAKE_MATCH_1}")
  vorbek_dep5_text(EXPAT_TEXT "${CMAKE_MATCH_2}")
  file(READ "${CMAKE_CURRENT_LIST_DIR}/chromium-LICENSE" chromium_license)
  vorbek_dep5_text(CHROMIUM_TEXT "${chromium_license}")
  configure_file("${CMAKE_CURRENT_LIST_DIR}/copyright.in"
    "${CMAKE_BINARY_DIR}/packaging/copyright" @ONLY)

  install(FILES "${CMAKE_BINARY_DIR}/packaging/copyright" DESTINATION "${vorbek_docdir}")
  install(FILES "${vorbek_chii_dir}/LICENSE"
    DESTINATION "${vorbek_docdir}" RENAME LICENSE.chii)
  install(FILES "${CMAKE_CURRENT_LIST_DIR}/chromium-LICENSE"
    DESTINATION "${vorbek_docdir}" RENAME LICENSE.chromium)
else()
  message(WARNING "${vorbek_chii_dir}/LICENSE not found: the install carries no "
    "licence for the embedded frontend")
endif()

set(CPACK_PACKAGE_NAME vorbek-inspector)
set(CPACK_PACKAGE_VENDOR "vorbek_inspector")
set(CPACK_PACKAGE_CONTACT
  "Seed 6f38e129 maintainers <maintainers@users.noreply.c-seed-6f38e129.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "debugger window for Node.js and other V8 inspector endpoints")
set(CPACK_PACKAGE_DESCRIPTION
"vorbek_inspector asks a script engine's inspector endpoint, such as the one
of node --inspect, for its first debug target and shows the Chrome DevTools
frontend connected to it in a window of its own. The frontend is built into
the program; the window uses GTK 3 and WebKitGTK.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Debian keeps man pages and changelogs gzipped; a plain install does not.
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/finish-staging.cmake")
set(CPACK_VORBEK_STRIP "${CMAKE_STRIP}")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# GTK and the web engine are opened with dlopen when the window is made, so
# dpkg-shlibdeps cannot see them among the binary's linked libraries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgtk-3-0, libwebkit2gtk-4.1-0")

include(CPack)

if(VORBEK_BUILD_TESTS)
  add_test(NAME man_page
    COMMAND bash "${PROJECT_SOURCE_DIR}/doc/man_page_test.sh"
      $<TARGET_FILE:vorbek_inspector> "${PROJECT_SOURCE_DIR}/doc/vorbek_inspector.1")
endif()
