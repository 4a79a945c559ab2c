// The WebView2 web view with its environment's creation handed in: the
// program passes the loader's entry point, the tests a stand-in runtime.
// For webview-webview2.cc and its tests only.
#pragma once

#include <functional>
#include <string>

#include "error.h"
#include "webview.h"
#include "webview2_sdk.h"

namespace vorbek::webview2 {

// CreateCoreWebView2EnvironmentWithOptions's shape: browser folder, user-data
// folder, options, completion handler.
using CreateEnvironment = std::function<HRESULT(
    PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*)>;

// create_webview, with `create_environment` in place of the loader.
Result<WebViewPtr> create_webview(HWND window, const std::string& frontend_url,
                                  const CreateEnvironment& create_environment);

}  // namespace vorbek::webview2
