// The web view inside the inspector window, kept apart from the window code
// because each web engine has its own. One implementation per engine:
// gtk/webview.cc, win32/webview2.cc.
#pragma once

#include <memory>
#include <string>

#include "discovery.h"
#include "error.h"
#include "frontend_url.h"

namespace vorbek {

// The toolkit's top-level window (a GtkWindow, an HWND), opaque to portable
// code; each window file hands its own over.
struct NativeWindow;

struct WebView;
struct WebViewDelete {
  void operator()(WebView* view) const;
};
using WebViewPtr = std::unique_ptr<WebView, WebViewDelete>;

// Loads the engine where it is loaded at run time, builds the web view as
// the window's only child, filling it, with the keyboard focus, and starts
// loading the frontend for `target`; its FrontendHost asks `inspector_address` again
// when the user reconnects. A failure carries the engine's own text; the
// caller adds the outermost message. Where the engine makes the web view
// asynchronously (WebView2), a window closed meanwhile ends the making with
// a failure, and the caller finds the close on its loop.
Result<WebViewPtr> create_webview(NativeWindow* window, const std::string& inspector_address,
                                  const InspectorTarget& target, const FrontendUrl& frontend);

}  // namespace vorbek
