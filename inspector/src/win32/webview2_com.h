// COM objects of the program's own that the WebView2 runtime reads: the
// environment's options, and a response body over bytes that outlive it.
#pragma once

#include "win32/webview2_sdk.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vorbek::webview2 {

// The options the loader reads when it makes the environment: the browser
// arguments, the target runtime version and `language` (empty: the
// engine's own choice).
com::ComPtr<ICoreWebView2EnvironmentOptions> make_environment_options(std::wstring language);

// The user's default user-interface language as a locale name ("de-AT");
// empty where the system names none.
std::wstring user_interface_language();

// A read-only stream over `bytes`, which `owner` (if any) keeps alive: the
// response body is read straight from the embedded table, never copied.
com::ComPtr<IStream> make_static_stream(std::span<const std::uint8_t> bytes,
                                        std::shared_ptr<const void> owner = {});

}  // namespace vorbek::webview2
