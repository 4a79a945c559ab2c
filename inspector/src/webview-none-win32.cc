// The web view for a Windows build made without the WebView2 SDK, whose
// headers these build machines cannot get: every attempt fails, so the
// window closes again with the web view failure report.
#include "webview.h"

namespace vorbek {

struct WebView {};

void WebViewDelete::operator()(WebView* view) const { delete view; }

Result<WebViewPtr> create_webview(NativeWindow*, const std::string&, const FrontendUrl&) {
  return Error("this build has no WebView2 support");
}

}  // namespace vorbek
