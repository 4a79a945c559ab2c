// The web view inside the Windows inspector window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "error.h"

namespace vorbek {

struct WebView;
struct WebViewDelete {
  void operator()(WebView* view) const;
};
using WebViewPtr = std::unique_ptr<WebView, WebViewDelete>;

// Builds the web view over the window's client area and starts loading
// `frontend_url`. A failure carries the web view layer's own text; the caller
// adds the outermost message.
Result<WebViewPtr> create_webview(HWND window, const std::string& frontend_url);

}  // namespace vorbek
