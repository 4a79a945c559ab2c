// The web view inside the inspector window, kept apart from the window code
// because each web engine has its own. One implementation per engine:
// webview-webkitgtk.cc, webview-webview2.cc.
#pragma once

#include <memory>
#include <string>

#include "error.h"

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
// loading `frontend_url`. A failure carries the engine's own text; the
// caller adds the outermost message.
Result<WebViewPtr> create_webview(NativeWindow* window, const std::string& frontend_url);

}  // namespace vorbek
