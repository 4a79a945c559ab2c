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

# Licences of the embedded frontend and the compiled-in JSON library.
include("${CMAKE_CURRENT_LIST_DIR}/licences.cmake")
if(VORBEK_CHII_LICENSE)
  vorbek_configure_copyright("${CMAKE_BINARY_DIR}/packaging/copyright" "" "")
  install(FILES "${CMAKE_BINARY_DIR}/packaging/copyright" DESTINATION "${vorbek_docdir}")
  install(FILES "${VORBEK_CHII_LICENSE}" DESTINATION "${vorbek_docdir}" RENAME LICENSE.chii)
  install(FILES "${VORBEK_CHROMIUM_LICENSE}"
    DESTINATION "${vorbek_docdir}" RENAME LICENSE.chromium)
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
