// The web view inside the inspector window, kept apart from the window code
// because the web engine is loaded at run time.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "error.h"

namespace vorbek {

struct WebView;
struct WebViewDelete {
  void operator()(WebView* view) const;
};
using WebViewPtr = std::unique_ptr<WebView, WebViewDelete>;

// Loads the engine, builds the web view as the window's only child with the
// keyboard focus and starts loading `frontend_url`. The toolkit is loaded
// already (the window exists). A failure carries the
// engine's own text; the caller adds the outermost message.
Result<WebViewPtr> create_webview(GtkWindow* window, const std::string& frontend_url);

}  // namespace vorbek
