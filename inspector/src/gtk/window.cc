// The inspector window and its event loop on GTK: GTK's signals become
// LoopEvents, and LoopState decides when the loop ends.
#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "event_loop.h"
#include "gtk/gtk_api.h"
#include "inspector_window.h"
#include "native_window.h"

namespace vorbek {
namespace {

struct WidgetDestroy {
  void operator()(GtkWidget* widget) const { gtk_api().gtk_widget_destroy(widget); }
};
using WidgetPtr = std::unique_ptr<GtkWidget, WidgetDestroy>;

constexpr int DEFAULT_WIDTH = 800;  // physical pixels
constexpr int DEFAULT_HEIGHT = 600;

}  // namespace

struct PlatformWindow {
  explicit PlatformWindow(LoopState& loop) : loop(loop) {}
  LoopState& loop;
  int width = 0;  // last configured size, to tell a resize from a move
  int height = 0;
  WidgetPtr widget;
};

void PlatformWindowDelete::operator()(PlatformWindow* window) const { delete window; }

namespace {

void deliver(PlatformWindow& window, LoopEvent event) {
  window.loop.deliver(event);
  // gtk_main returns once the signal being dispatched has been handled.
  const GtkApi& gtk = gtk_api();
  if (window.loop.exit_code() && gtk.gtk_main_level() > 0) gtk.gtk_main_quit();
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer data) {
  deliver(*static_cast<PlatformWindow*>(data), LoopEvent::CloseRequested);
  return TRUE;  // the window is never destroyed; the process ends with it
}

gboolean on_configure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
  auto& window = *static_cast<PlatformWindow*>(data);
  bool resized = event->width != window.width || event->height != window.height;
  window.width = event->width;
  window.height = event->height;
  deliver(window, resized ? LoopEvent::Resized : LoopEvent::Moved);
  return FALSE;
}

gboolean on_focus(GtkWidget*, GdkEventFocus*, gpointer data) {
  deliver(*static_cast<PlatformWindow*>(data), LoopEvent::FocusChanged);
  return FALSE;
}

// GTK takes its program name from argv, which it is not given here.
void name_program(const GtkApi& gtk) {
  if (!gtk.g_get_prgname()) gtk.g_set_prgname(program_invocation_short_name);
}

}  // namespace

Result<PlatformWindowPtr> make_platform_window(LoopState& loop) {
  auto loaded = load_gtk_api();
  if (!loaded) return std::move(loaded).error();
  const GtkApi& gtk = **loaded;
  name_program(gtk);
  if (!gtk.gtk_init_check(nullptr, nullptr)) {
    // gtk_init's own wording for the one way gtk_init_check fails.
    const char* display = gtk.gdk_get_display_arg_name();
    if (!display) display = gtk.g_getenv("DISPLAY");
    return Error(std::string("cannot open display: ") + (display ? display : ""));
  }
  PlatformWindowPtr window(new PlatformWindow(loop));
  window->widget.reset(gtk.gtk_window_new(GTK_WINDOW_TOPLEVEL));
  GtkWidget* widget = window->widget.get();
  auto* gtk_window = reinterpret_cast<GtkWindow*>(widget);
  gtk.gtk_window_set_title(gtk_window, WINDOW_TITLE);
  int scale = gtk.gtk_widget_get_scale_factor(widget);
  gtk.gtk_window_set_default_size(gtk_window, (DEFAULT_WIDTH + scale - 1) / scale,
                                  (DEFAULT_HEIGHT + scale - 1) / scale);
  connect_signal(widget, "delete-event", G_CALLBACK(on_delete), window.get());
  connect_signal(widget, "configure-event", G_CALLBACK(on_configure), window.get());
  connect_signal(widget, "focus-in-event", G_CALLBACK(on_focus), window.get());
  connect_signal(widget, "focus-out-event", G_CALLBACK(on_focus), window.get());
  gtk.gtk_widget_show(widget);
  return window;
}

NativeWindow* native_window(PlatformWindow& window) {
  return reinterpret_cast<NativeWindow*>(window.widget.get());
}

void run_platform_loop(LoopState&) { gtk_api().gtk_main(); }

}  // namespace vorbek
