// The WebView2 web view with what it reaches outside the program handed in:
// the program passes the loader's entry point, discovery and the shell, the
// tests a stand-in runtime and fakes. For webview2.cc and its tests only.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "error.h"
#include "frontend_host.h"
#include "frontend_url.h"
#include "webview.h"
#include "win32/webview2_sdk.h"
#include "win32/webview2_startup.h"

namespace vorbek::webview2 {

using OpenInBrowser = std::function<Status(const std::string& uri)>;
// A line for the user, where the program has no window to show it in.
using Say = std::function<void(std::string_view line)>;

// What the web view reaches outside the program.
struct Dependencies {
  CreateEnvironment create_environment;
  DiscoverTarget discover;         // empty: discover_ws_target
  OpenInBrowser open_in_browser;   // empty: the user's browser, through the shell
  Say say;                         // empty: standard error
};

// create_webview, with `dependencies` in place of the loader, discovery and
// the shell.
Result<WebViewPtr> create_webview(HWND window, const std::string& inspector_address,
                                  const InspectorTarget& target, const FrontendUrl& frontend,
                                  const Dependencies& dependencies);

}  // namespace vorbek::webview2
