#include "win32/webview2_errors.h"

#include <cstdio>

#include "win32/text.h"

namespace vorbek::webview2 {

Error hresult_error(HRESULT result) {
  if (HRESULT_FACILITY(result) == FACILITY_WIN32) return win32::os_error(HRESULT_CODE(result));
  Error error = win32::os_error(static_cast<unsigned long>(result));
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
  // The text without os_error's decimal code, which means nothing for an HRESULT.
  std::string text = error.outermost();
  text = text.substr(0, text.rfind(" (os error "));
  return Error(text + " (HRESULT " + code + ")");
}

Status check(HRESULT result, const char* what) {
  if (SUCCEEDED(result)) return {};
  return hresult_error(result).wrap(what);
}

std::string web_error_text(COREWEBVIEW2_WEB_ERROR_STATUS status) {
  switch (status) {
    case COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_COMMON_NAME_IS_INCORRECT:
      return "the server's certificate is for another name";
    case COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_EXPIRED:
      return "the server's certificate has expired";
    case COREWEBVIEW2_WEB_ERROR_STATUS_CLIENT_CERTIFICATE_CONTAINS_ERRORS:
      return "the client certificate contains errors";
    case COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_REVOKED:
      return "the server's certificate has been revoked";
    case COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_IS_INVALID:
      return "the server's certificate is invalid";
    case COREWEBVIEW2_WEB_ERROR_STATUS_SERVER_UNREACHABLE: return "the server is unreachable";
    case COREWEBVIEW2_WEB_ERROR_STATUS_TIMEOUT: return "the connection timed out";
    case COREWEBVIEW2_WEB_ERROR_STATUS_ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return "the server's response is not valid HTTP";
    case COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED: return "the connection was aborted";
    case COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_RESET: return "the connection was reset";
    case COREWEBVIEW2_WEB_ERROR_STATUS_DISCONNECTED: return "the network connection was lost";
    case COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT: return "cannot connect to the server";
    case COREWEBVIEW2_WEB_ERROR_STATUS_HOST_NAME_NOT_RESOLVED:
      return "the host name could not be resolved";
    case COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED: return "the load was cancelled";
    case COREWEBVIEW2_WEB_ERROR_STATUS_REDIRECT_FAILED: return "a redirect failed";
    case COREWEBVIEW2_WEB_ERROR_STATUS_UNEXPECTED_ERROR: return "an unexpected error occurred";
    case COREWEBVIEW2_WEB_ERROR_STATUS_VALID_AUTHENTICATION_CREDENTIALS_REQUIRED:
      return "the server asks for credentials";
    case COREWEBVIEW2_WEB_ERROR_STATUS_VALID_PROXY_AUTHENTICATION_REQUIRED:
      return "the proxy asks for credentials";
    default:
      return "the load failed (web error status " + std::to_string(static_cast<int>(status)) + ")";
  }
}

namespace {

const char* process_exit_text(COREWEBVIEW2_PROCESS_FAILED_REASON reason) {
  switch (reason) {
    case COREWEBVIEW2_PROCESS_FAILED_REASON_UNEXPECTED: return "the web process ended unexpectedly";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_UNRESPONSIVE:
      return "the web process was ended because it stopped responding";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_TERMINATED: return "the web process was terminated";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED: return "the web process crashed";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_LAUNCH_FAILED: return "the web process failed to start";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_OUT_OF_MEMORY: return "the web process ran out of memory";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_PROFILE_DELETED:
      return "the engine's user-data folder was deleted";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_NORMAL_EXIT: return "the web process exited";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_ABNORMAL_EXIT:
      return "the web process exited abnormally";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_INTEGRITY_FAILURE:
      return "the web process failed a code integrity check";
    default: return "the web process ended";
  }
}

}  // namespace

std::string download_interrupt_text(COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON reason) {
  switch (reason) {
    case COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_FILE_ACCESS_DENIED:
      return "access to the file was denied";
    case COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_FILE_NO_SPACE:
      return "the disk is full";
    case COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_FILE_NAME_TOO_LONG:
      return "the file name is too long";
    case COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_FILE_TOO_LARGE:
      return "the file is too large for the disk";
    case COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_FILE_BLOCKED_BY_POLICY:
      return "a policy blocks the file";
    case COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_USER_CANCELED:
      return "the download was cancelled";
    case COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_USER_SHUTDOWN:
      return "the web engine shut down";
    case COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_DOWNLOAD_PROCESS_CRASHED:
      return "the web engine's download process crashed";
    default:
      return "the download was interrupted (reason " + std::to_string(static_cast<int>(reason)) +
             ")";
  }
}

std::string process_failure_text(ICoreWebView2ProcessFailedEventArgs* args,
                                 COREWEBVIEW2_PROCESS_FAILED_KIND kind) {
  if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE) {
    return "the web process stopped responding";
  }
  const bool browser = kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED;
  auto v2 = com::query<ICoreWebView2ProcessFailedEventArgs2>(args);
  COREWEBVIEW2_PROCESS_FAILED_REASON reason{};
  if (!v2 || FAILED(v2->get_Reason(&reason))) {
    return browser ? "the web engine ended" : "the web process ended";
  }
  // Its reason is always "unexpected", which says nothing more.
  std::string text = browser ? "the web engine ended unexpectedly" : process_exit_text(reason);
  int code = 0;
  if (SUCCEEDED(v2->get_ExitCode(&code)) && code != 0) {
    // A crash's code is an NTSTATUS, which reads in hexadecimal.
    char number[16];
    if (code < 0) {
      std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(code));
    } else {
      std::snprintf(number, sizeof number, "%d", code);
    }
    text = text + " (exit code " + number + ")";
  }
  return text;
}

}  // namespace vorbek::webview2
