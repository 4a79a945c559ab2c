// The GTK, GLib and GIO functions the window and the web view use, reached
// through one table filled at run time: the toolkit is opened with dlopen
// when the window is made, so that --print-url never pays for loading it.
#pragma once

#include <gtk/gtk.h>

#include "dynamic_library.h"
#include "error.h"

namespace vorbek {

// Declared from the installed prototypes, so calls are checked like direct
// calls. Cast macros (GTK_WINDOW, ...) would call GType functions directly:
// the code uses plain casts instead.
#define VORBEK_GTK_FUNCTIONS(X)          \
  X(gtk_init_check)                      \
  X(gdk_get_display_arg_name)            \
  X(gtk_window_new)                      \
  X(gtk_window_set_title)                \
  X(gtk_window_set_default_size)         \
  X(gtk_widget_get_scale_factor)         \
  X(gtk_widget_show)                     \
  X(gtk_widget_grab_focus)               \
  X(gtk_widget_destroy)                  \
  X(gtk_container_add)                   \
  X(gtk_main)                            \
  X(gtk_main_level)                      \
  X(gtk_main_quit)                       \
  X(gtk_clipboard_get)                   \
  X(gtk_clipboard_set_text)              \
  X(gtk_show_uri_on_window)              \
  X(g_signal_connect_data)               \
  X(g_idle_add_full)                     \
  X(g_object_new)                        \
  X(g_object_unref)                      \
  X(g_free)                              \
  X(g_error_free)                        \
  X(g_getenv)                            \
  X(g_setenv)                            \
  X(g_get_prgname)                       \
  X(g_set_prgname)                       \
  X(g_get_home_dir)                      \
  X(g_get_user_cache_dir)                \
  X(g_get_user_special_dir)             \
  X(g_get_language_names)                \
  X(g_build_filename)                    \
  X(g_file_test)                         \
  X(g_mkdir_with_parents)                \
  X(g_uri_is_valid)                      \
  X(g_input_stream_read)                 \
  X(g_memory_input_stream_new_from_data) \
  X(g_bytes_new)                         \
  X(g_bytes_unref)

struct GtkApi {
#define VORBEK_DECLARE_ENTRY(name) decltype(&::name) name = nullptr;
  VORBEK_GTK_FUNCTIONS(VORBEK_DECLARE_ENTRY)
#undef VORBEK_DECLARE_ENTRY
};

inline constexpr const char* GTK_LIBRARY = "libgtk-3.so.0";

// Opens the toolkit on first use (main thread only) and keeps it for the
// life of the process; a failure carries dlerror's text.
Result<const GtkApi*> load_gtk_api();

// The table; only once load_gtk_api has succeeded.
const GtkApi& gtk_api();

// g_signal_connect, which is a macro over the direct call.
inline gulong connect_signal(gpointer instance, const char* signal, GCallback handler,
                             gpointer data) {
  return gtk_api().g_signal_connect_data(instance, signal, handler, data, nullptr,
                                         GConnectFlags(0));
}

}  // namespace vorbek
