// Requests of the WebView2 runtime as the scheme handler takes them, and
// its responses back.
#pragma once

#include "win32/webview2_sdk.h"

#include <memory>
#include <optional>
#include <string>

#include "scheme_handler.h"

namespace vorbek::webview2 {

// Engine text as UTF-8; nothing for text that has no UTF-8 form.
std::optional<std::string> utf8(const wchar_t* text);

// The engine's request; nothing when any part cannot be read.
std::optional<HttpRequest> read_request(ICoreWebView2WebResourceRequest* request);

// Sets `response` as the request's; its body is read in place while
// `body_owner` (if any) keeps it alive.
HRESULT respond(ICoreWebView2Environment* environment,
                ICoreWebView2WebResourceRequestedEventArgs* args, const HttpResponse& response,
                std::shared_ptr<const void> body_owner = {});

}  // namespace vorbek::webview2
