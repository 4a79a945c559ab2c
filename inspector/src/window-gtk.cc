// The inspector window and its event loop on GTK: GTK's signals become
// LoopEvents, and LoopState decides when the loop ends.
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>

#include "event_loop.h"
#include "gtk_api.h"
#include "inspector_window.h"
#include "webview.h"

namespace vorbek {
namespace {

struct WidgetDestroy {
  void operator()(GtkWidget* widget) const { toolkit().gtk_widget_destroy(widget); }
};
using WidgetPtr = std::unique_ptr<GtkWidget, WidgetDestroy>;

constexpr int DEFAULT_WIDTH = 800;  // physical pixels
constexpr int DEFAULT_HEIGHT = 600;

}  // namespace

struct InspectorWindow::Parts {
  LoopState loop;
  int width = 0;  // last configured size, to tell a resize from a move
  int height = 0;
  WidgetPtr window;
  WebViewPtr webview;  // inside `window`
};

InspectorWindow::InspectorWindow(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}
InspectorWindow::InspectorWindow(InspectorWindow&&) noexcept = default;
InspectorWindow& InspectorWindow::operator=(InspectorWindow&&) noexcept = default;
InspectorWindow::~InspectorWindow() = default;

namespace {

void deliver(InspectorWindow::Parts& parts, LoopEvent event) {
  parts.loop.deliver(event);
  // gtk_main returns once the signal being dispatched has been handled.
  const GtkApi& gtk = toolkit();
  if (parts.loop.exit_code() && gtk.gtk_main_level() > 0) gtk.gtk_main_quit();
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer data) {
  deliver(*static_cast<InspectorWindow::Parts*>(data), LoopEvent::CloseRequested);
  return TRUE;  // the window is never destroyed; the process ends with it
}

gboolean on_configure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
  auto& parts = *static_cast<InspectorWindow::Parts*>(data);
  bool resized = event->width != parts.width || event->height != parts.height;
  parts.width = event->width;
  parts.height = event->height;
  deliver(parts, resized ? LoopEvent::Resized : LoopEvent::Moved);
  return FALSE;
}

gboolean on_focus(GtkWidget*, GdkEventFocus*, gpointer data) {
  deliver(*static_cast<InspectorWindow::Parts*>(data), LoopEvent::FocusChanged);
  return FALSE;
}

// GTK takes its program name from argv, which it is not given here.
void name_program(const GtkApi& gtk) {
  if (!gtk.g_get_prgname()) gtk.g_set_prgname(program_invocation_short_name);
}

Result<WidgetPtr> make_window(InspectorWindow::Parts& parts) {
  auto loaded = load_toolkit();
  if (!loaded) return std::move(loaded).error();
  const GtkApi& gtk = **loaded;
  name_program(gtk);
  if (!gtk.gtk_init_check(nullptr, nullptr)) {
    // gtk_init's own wording for the one way gtk_init_check fails.
    const char* display = gtk.gdk_get_display_arg_name();
    if (!display) display = gtk.g_getenv("DISPLAY");
    return Error(std::string("cannot open display: ") + (display ? display : ""));
  }
  WidgetPtr window(gtk.gtk_window_new(GTK_WINDOW_TOPLEVEL));
  auto* gtk_window = reinterpret_cast<GtkWindow*>(window.get());
  gtk.gtk_window_set_title(gtk_window, WINDOW_TITLE);
  int scale = gtk.gtk_widget_get_scale_factor(window.get());
  gtk.gtk_window_set_default_size(gtk_window, (DEFAULT_WIDTH + scale - 1) / scale,
                                  (DEFAULT_HEIGHT + scale - 1) / scale);
  connect_signal(window.get(), "delete-event", G_CALLBACK(on_delete), &parts);
  connect_signal(window.get(), "configure-event", G_CALLBACK(on_configure), &parts);
  connect_signal(window.get(), "focus-in-event", G_CALLBACK(on_focus), &parts);
  connect_signal(window.get(), "focus-out-event", G_CALLBACK(on_focus), &parts);
  gtk.gtk_widget_show(window.get());
  return window;
}

}  // namespace

Result<InspectorWindow> open_inspector_window(const std::string& inspector_address,
                                              const FrontendUrl& frontend) {
  auto parts = std::make_unique<InspectorWindow::Parts>();
  auto window = make_window(*parts);
  if (!window) return std::move(window).error().wrap(WINDOW_FAILURE);
  parts->window = std::move(window).value();

  auto webview = create_webview(reinterpret_cast<NativeWindow*>(parts->window.get()),
                                inspector_address, frontend);
  if (!webview) {
    parts->window.reset();  // closed before the report is written
    return std::move(webview).error().wrap(WEBVIEW_FAILURE);
  }
  parts->webview = std::move(webview).value();
  return InspectorWindow(std::move(parts));
}

void run_inspector_window(InspectorWindow window) {
  InspectorWindow::Parts& parts = window.parts();
  parts.loop.deliver(LoopEvent::LoopStarted);
  if (!parts.loop.exit_code()) toolkit().gtk_main();
  parts.loop.deliver(LoopEvent::LoopDestroyed);
  int code = parts.loop.exit_code().value_or(0);

  // The window and the web view are never torn down by hand: they go with
  // the process. exit() flushes what stdio still holds.
  std::cout.flush();
  std::exit(code);
}

}  // namespace vorbek
