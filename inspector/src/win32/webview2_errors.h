// Failures of the WebView2 runtime as the program reports them: HRESULTs as
// error values, and the runtime's load errors and process failures as text.
#pragma once

#include "win32/webview2_sdk.h"

#include <string>

#include "error.h"

namespace vorbek::webview2 {

// The system's text, and the Win32 code where the HRESULT wraps one.
Error hresult_error(HRESULT result);

// Nothing for success; else the HRESULT's error wrapped in `what`.
Status check(HRESULT result, const char* what);

// `object`'s `Interface`, or the failure that names the runtime too old.
template <typename Interface>
Result<com::ComPtr<Interface>> require(IUnknown* object, const char* name) {
  com::ComPtr<Interface> out = com::query<Interface>(object);
  if (!out) {
    return Error(std::string("the WebView2 runtime has no ") + name +
                 "; it is older than this program needs");
  }
  return out;
}

std::string web_error_text(COREWEBVIEW2_WEB_ERROR_STATUS status);

// Why a process of the engine failed, with its exit code where the runtime
// gives one.
// Why a download stopped, as the runtime reports it.
std::string download_interrupt_text(COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON reason);

std::string process_failure_text(ICoreWebView2ProcessFailedEventArgs* args,
                                 COREWEBVIEW2_PROCESS_FAILED_KIND kind);

}  // namespace vorbek::webview2
