# The one place that picks a platform's files, for the program and for its
# tests. Portable code sits flat in src/; each platform's files sit in a
# folder of their own: posix/ and gtk/ on Linux, win32/ on Windows.
set(vorbek_src ${CMAKE_CURRENT_LIST_DIR}/src)
if(WIN32)
  set(VORBEK_PLATFORM_SOURCES
    ${vorbek_src}/win32/clock.cc
    ${vorbek_src}/win32/console.cc
    ${vorbek_src}/win32/desktop.cc
    ${vorbek_src}/win32/dynamic_library.cc
    ${vorbek_src}/win32/net.cc
    ${vorbek_src}/win32/regular_file.cc
    ${vorbek_src}/win32/text.cc
    ${vorbek_src}/win32/window.cc
    ${vorbek_src}/win32/webview2.cc
    ${vorbek_src}/win32/webview2_com.cc
    ${vorbek_src}/win32/webview2_errors.cc
    ${vorbek_src}/win32/webview2_http.cc
    ${vorbek_src}/win32/webview2_navigations.cc
    ${vorbek_src}/win32/webview2_startup.cc
  )
  set(VORBEK_PLATFORM_TESTS
    ${vorbek_src}/win32/platform_test.cc
    ${vorbek_src}/win32/webview2_navigations_test.cc
  )
  # The program's resources (its manifest); the tests run without them.
  set(VORBEK_PROGRAM_RESOURCES ${vorbek_src}/win32/vorbek_inspector.rc)
  # Against the stand-in runtime; they need its generated stubs.
  set(VORBEK_WEBVIEW_TESTS ${vorbek_src}/win32/webview2_test.cc
    ${vorbek_src}/win32/webview2_lifecycle_test.cc ${vorbek_src}/win32/window_test.cc)
else()
  # Compiled with the toolkit's headers and the web engine's, respectively.
  set(VORBEK_GTK_SOURCES
    ${vorbek_src}/gtk/gtk_api.cc
    ${vorbek_src}/gtk/window.cc
  )
  set(VORBEK_WEBKIT_SOURCES
    ${vorbek_src}/gtk/webkit_api.cc
    ${vorbek_src}/gtk/webview.cc
  )
  set(VORBEK_PLATFORM_SOURCES
    ${vorbek_src}/posix/clock.cc
    ${vorbek_src}/posix/console.cc
    ${vorbek_src}/posix/dynamic_library.cc
    ${vorbek_src}/posix/net.cc
    ${vorbek_src}/posix/regular_file.cc
    ${VORBEK_GTK_SOURCES}
    ${VORBEK_WEBKIT_SOURCES}
  )
  set(VORBEK_PLATFORM_SCRIPTS gtk/frontend_compat.js FRONTEND_COMPAT_SCRIPT)
  # What needs POSIX to test: a fake inspector on loopback, files, processes.
  set(VORBEK_PLATFORM_TESTS
    ${vorbek_src}/posix/discovery_test.cc
    ${vorbek_src}/posix/dynamic_library_test.cc
    ${vorbek_src}/posix/frontend_host_test.cc
    ${vorbek_src}/posix/hostile_inspector_test.cc
    ${vorbek_src}/posix/local_resource_test.cc
    ${vorbek_src}/posix/test_support.cc
  )
endif()
