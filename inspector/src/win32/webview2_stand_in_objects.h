// The stand-in WebView2 runtime's small objects (webview2_stand_in.h):
// the base of every test double, the main thread its completions reach,
// the settings, and the arguments, requests and responses of its events.
#pragma once

#include "webview2_stubs.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "win32/webview2_host.h"
#include "win32/text.h"

namespace vorbek {

using com::ComPtr;

// A stand-in object: Stub<I>'s methods and the COM identity of I's chain.
template <typename Interface>
class Fake : public com::Object<com::Implements<>, stub::Stub<Interface>> {
 protected:
  HRESULT query_more(REFIID iid, void** out) override {
    if (void* found = this->stub_query(iid)) {
      *out = found;
      this->AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
};

inline std::wstring text_of(const wchar_t* text) { return text ? text : L"(null)"; }

// The stand-in runtime's completions and events reach the main thread the
// way the real ones do: as window messages, dispatched by whoever pumps.
class MainThread {
 public:
  static void post(std::function<void()> task) {
    tasks().push_back(std::move(task));
    ::PostMessageW(window(), WM_APP, 0, 0);
  }
  // Runs what is queued, as the event loop would.
  static void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

 private:
  static std::deque<std::function<void()>>& tasks() {
    static std::deque<std::function<void()>> queue;
    return queue;
  }
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP && !tasks().empty()) {
      auto task = std::move(tasks().front());
      tasks().pop_front();
      task();
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }
  static HWND window() {
    static HWND handle = [] {
      WNDCLASSEXW klass{};
      klass.cbSize = sizeof klass;
      klass.lpfnWndProc = procedure;
      klass.hInstance = GetModuleHandleW(nullptr);
      klass.lpszClassName = L"vorbek_test_runtime";
      RegisterClassExW(&klass);
      return CreateWindowExW(0, klass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             klass.hInstance, nullptr);
    }();
    return handle;
  }
};

class FakeSettings : public Fake<ICoreWebView2Settings6> {
 public:
  std::map<std::string, BOOL> set;  // every setter called, with its value
  std::string failing;              // a setter that fails

  HRESULT record(const char* name, BOOL value) {
    set[name] = value;
    return failing == name ? E_FAIL : S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL v) override { return record("IsScriptEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL v) override { return record("IsWebMessageEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL v) override { return record("AreDefaultScriptDialogsEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL v) override { return record("IsStatusBarEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL v) override { return record("AreDevToolsEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL v) override { return record("AreDefaultContextMenusEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL v) override { return record("AreHostObjectsAllowed", v); }
  HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL v) override { return record("IsZoomControlEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_IsBuiltInErrorPageEnabled(BOOL v) override { return record("IsBuiltInErrorPageEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_UserAgent(LPCWSTR) override { return record("UserAgent", TRUE); }
  HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL v) override { return record("AreBrowserAcceleratorKeysEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_IsPasswordAutosaveEnabled(BOOL v) override { return record("IsPasswordAutosaveEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_IsGeneralAutofillEnabled(BOOL v) override { return record("IsGeneralAutofillEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_IsPinchZoomEnabled(BOOL v) override { return record("IsPinchZoomEnabled", v); }
  HRESULT STDMETHODCALLTYPE put_IsSwipeNavigationEnabled(BOOL v) override { return record("IsSwipeNavigationEnabled", v); }
};

struct Filter {
  std::wstring uri;
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT context;
  std::optional<COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS> sources;  // none: the old call
};

// The engine's filters: '*' stands for any text and '?' for one character,
// and a backslash before either stands for that character itself.
inline bool matches(std::wstring_view pattern, std::wstring_view text) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == L'*') {
    for (size_t skip = 0; skip <= text.size(); ++skip) {
      if (matches(pattern.substr(1), text.substr(skip))) return true;
    }
    return false;
  }
  if (pattern[0] == L'?') return !text.empty() && matches(pattern.substr(1), text.substr(1));
  if (pattern[0] == L'\\' && pattern.size() > 1 && (pattern[1] == L'*' || pattern[1] == L'?')) {
    pattern.remove_prefix(1);
  }
  return !text.empty() && pattern[0] == text[0] && matches(pattern.substr(1), text.substr(1));
}

// An address as the engine names it: the scheme and host in lower case, a
// non-ASCII host in punycode, the scheme's default port dropped, an empty
// path "/", and in the path and query spaces, quotes, angle brackets,
// backquotes and non-ASCII characters percent-encoded (their UTF-8 bytes).
inline std::wstring canonical(std::wstring_view uri) {
  const std::string text = win32::narrow(uri);
  const std::size_t scheme_end = text.find("://");
  if (scheme_end == std::string::npos) return std::wstring(uri);
  std::size_t host_end = text.find_first_of("/?#", scheme_end + 3);
  if (host_end == std::string::npos) host_end = text.size();
  std::string scheme = text.substr(0, scheme_end);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string host = text.substr(scheme_end + 3, host_end - scheme_end - 3);
  const std::size_t colon = host.rfind(':');
  if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
    const std::string port = host.substr(colon + 1);
    if (port.empty() || (port == "80" && scheme == "http") || (port == "443" && scheme == "https")) {
      host.erase(colon);
    }
  }
  const std::wstring wide_host = win32::widen(host);
  wchar_t ascii[256];
  const int n = IdnToAscii(0, wide_host.c_str(), static_cast<int>(wide_host.size()), ascii, 256);
  if (n > 0) host = win32::narrow(std::wstring_view(ascii, n));
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string out = scheme + "://" + host;
  if (host_end == text.size() || text[host_end] != '/') out += '/';
  const std::size_t fragment = text.find('#', host_end);
  for (std::size_t i = host_end; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (i < fragment && (c <= ' ' || c >= 0x7f || std::strchr("\"<>`", c))) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return win32::widen(out);
}

class FakeMessageArgs : public Fake<ICoreWebView2WebMessageReceivedEventArgs> {
 public:
  std::wstring source;
  std::optional<std::wstring> text;  // none: a message that is not a string
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* out) override {
    return com::task_copy(source.c_str(), out);
  }
  HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* out) override {
    if (!text) return E_INVALIDARG;
    return com::task_copy(text->c_str(), out);
  }
};

class FakeStartingArgs : public Fake<ICoreWebView2NavigationStartingEventArgs3> {
 public:
  std::wstring uri;
  UINT64 id = 0;
  BOOL user = FALSE, redirected = FALSE;
  COREWEBVIEW2_NAVIGATION_KIND kind = COREWEBVIEW2_NAVIGATION_KIND_NEW_DOCUMENT;
  bool old_runtime = false;  // no NavigationKind
  BOOL cancel = FALSE;

  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* out) override { return com::task_copy(uri.c_str(), out); }
  HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* out) override {
    *out = id;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* out) override {
    *out = user;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsRedirected(BOOL* out) override {
    *out = redirected;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_NavigationKind(COREWEBVIEW2_NAVIGATION_KIND* out) override {
    *out = kind;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL value) override {
    cancel = value;
    return S_OK;
  }

 protected:
  HRESULT query_more(REFIID iid, void** out) override {
    if (old_runtime && !IsEqualIID(iid, IID_ICoreWebView2NavigationStartingEventArgs)) {
      return E_NOINTERFACE;
    }
    return Fake<ICoreWebView2NavigationStartingEventArgs3>::query_more(iid, out);
  }
};

class FakeCompletedArgs : public Fake<ICoreWebView2NavigationCompletedEventArgs2> {
 public:
  UINT64 id = 0;
  BOOL success = TRUE;
  COREWEBVIEW2_WEB_ERROR_STATUS status = COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN;
  int http_status = 0;

  HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* out) override {
    *out = id;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* out) override {
    *out = success;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_WebErrorStatus(COREWEBVIEW2_WEB_ERROR_STATUS* out) override {
    *out = status;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HttpStatusCode(int* out) override {
    *out = http_status;
    return S_OK;
  }
};

class FakeNewWindowArgs : public Fake<ICoreWebView2NewWindowRequestedEventArgs> {
 public:
  std::wstring uri;
  BOOL user_initiated = TRUE;  // a link with a target, a click's window.open
  std::optional<BOOL> handled;
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* out) override { return com::task_copy(uri.c_str(), out); }
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* out) override {
    *out = user_initiated;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL value) override {
    handled = value;
    return S_OK;
  }
};

class FakePermissionArgs : public Fake<ICoreWebView2PermissionRequestedEventArgs> {
 public:
  std::wstring uri;  // the requesting page's origin
  COREWEBVIEW2_PERMISSION_KIND kind = COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION;
  // The runtime's default state, which prompts the user.
  COREWEBVIEW2_PERMISSION_STATE state = COREWEBVIEW2_PERMISSION_STATE_DEFAULT;
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* out) override { return com::task_copy(uri.c_str(), out); }
  HRESULT STDMETHODCALLTYPE get_PermissionKind(COREWEBVIEW2_PERMISSION_KIND* out) override {
    *out = kind;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_State(COREWEBVIEW2_PERMISSION_STATE* out) override {
    *out = state;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_State(COREWEBVIEW2_PERMISSION_STATE value) override {
    state = value;
    return S_OK;
  }
};

class FakeProcessFailedArgs : public Fake<ICoreWebView2ProcessFailedEventArgs2> {
 public:
  COREWEBVIEW2_PROCESS_FAILED_KIND kind = COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED;
  COREWEBVIEW2_PROCESS_FAILED_REASON reason = COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED;
  int exit_code = 0;
  HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* out) override {
    *out = kind;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Reason(COREWEBVIEW2_PROCESS_FAILED_REASON* out) override {
    *out = reason;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ExitCode(int* out) override {
    *out = exit_code;
    return S_OK;
  }
};

class FakeResponse : public Fake<ICoreWebView2WebResourceResponse> {
 public:
  ComPtr<IStream> content;
  int status = 0;
  std::wstring reason, headers;
};

class FakeHeaderIterator : public Fake<ICoreWebView2HttpHeadersCollectionIterator> {
 public:
  std::vector<std::pair<std::wstring, std::wstring>> headers;
  size_t at = 0;
  HRESULT STDMETHODCALLTYPE GetCurrentHeader(LPWSTR* name, LPWSTR* value) override {
    if (at >= headers.size()) return E_INVALIDARG;
    com::task_copy(headers[at].first.c_str(), name);
    return com::task_copy(headers[at].second.c_str(), value);
  }
  HRESULT STDMETHODCALLTYPE get_HasCurrentHeader(BOOL* has) override {
    *has = at < headers.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveNext(BOOL* has) override {
    ++at;
    *has = at < headers.size();
    return S_OK;
  }
};

class FakeRequestHeaders : public Fake<ICoreWebView2HttpRequestHeaders> {
 public:
  std::vector<std::pair<std::wstring, std::wstring>> headers;
  HRESULT STDMETHODCALLTYPE GetIterator(ICoreWebView2HttpHeadersCollectionIterator** out) override {
    auto iterator = com::make<FakeHeaderIterator>();
    iterator->headers = headers;
    *out = iterator.Detach();
    return S_OK;
  }
};

class FakeRequest : public Fake<ICoreWebView2WebResourceRequest> {
 public:
  std::wstring uri, method = L"GET";
  HRESULT uri_result = S_OK;
  ComPtr<FakeRequestHeaders> headers = com::make<FakeRequestHeaders>();
  ComPtr<IStream> content;

  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* out) override {
    if (FAILED(uri_result)) return uri_result;
    return com::task_copy(uri.c_str(), out);
  }
  HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* out) override {
    return com::task_copy(method.c_str(), out);
  }
  HRESULT STDMETHODCALLTYPE get_Content(IStream** out) override {
    *out = content.Get();
    if (content) content->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpRequestHeaders** out) override {
    *out = headers.Get();
    headers->AddRef();
    return S_OK;
  }
};

class FakeRequestArgs : public Fake<ICoreWebView2WebResourceRequestedEventArgs> {
 public:
  ComPtr<FakeRequest> request = com::make<FakeRequest>();
  ComPtr<ICoreWebView2WebResourceResponse> response;
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT context = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT;

  HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** out) override {
    *out = request.Get();
    request->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* value) override {
    response = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* out) override {
    *out = context;
    return S_OK;
  }
  FakeResponse* response_given() { return static_cast<FakeResponse*>(response.Get()); }
};

// A download under way; `end` moves it to a state, as the runtime does when
// the file is written or the download stops.
class FakeDownloadOperation : public Fake<ICoreWebView2DownloadOperation> {
 public:
  COREWEBVIEW2_DOWNLOAD_STATE state = COREWEBVIEW2_DOWNLOAD_STATE_IN_PROGRESS;
  COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON reason = COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_NONE;
  ComPtr<ICoreWebView2StateChangedEventHandler> on_state;
  void end(COREWEBVIEW2_DOWNLOAD_STATE to,
           COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON why = COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_NONE) {
    state = to;
    reason = why;
    if (on_state) on_state->Invoke(this, nullptr);
  }
  HRESULT STDMETHODCALLTYPE add_StateChanged(ICoreWebView2StateChangedEventHandler* handler,
                                             EventRegistrationToken* token) override {
    on_state = handler;
    token->value = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_State(COREWEBVIEW2_DOWNLOAD_STATE* out) override {
    *out = state;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_InterruptReason(COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON* out) override {
    *out = reason;
    return S_OK;
  }
};

class FakeDownloadArgs : public Fake<ICoreWebView2DownloadStartingEventArgs> {
 public:
  ComPtr<FakeDownloadOperation> operation = com::make<FakeDownloadOperation>();  // none: older
  std::wstring proposed = L"C:\\users\\me\\Downloads\\Profile-20250101T000000.cpuprofile";
  std::optional<std::wstring> result_path;
  std::optional<BOOL> handled, cancelled;

  HRESULT STDMETHODCALLTYPE get_ResultFilePath(LPWSTR* out) override {
    return com::task_copy(proposed.c_str(), out);
  }
  HRESULT STDMETHODCALLTYPE put_ResultFilePath(LPCWSTR value) override {
    result_path = text_of(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL value) override {
    handled = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL value) override {
    cancelled = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_DownloadOperation(ICoreWebView2DownloadOperation** out) override {
    *out = operation.Get();
    if (!operation) return E_NOINTERFACE;
    operation->AddRef();
    return S_OK;
  }
};

inline std::vector<std::uint8_t> read_all(IStream* stream) {
  std::vector<std::uint8_t> out;
  std::uint8_t chunk[1000];  // smaller than most files: several reads
  for (;;) {
    ULONG n = 0;
    const HRESULT result = stream->Read(chunk, sizeof chunk, &n);
    EXPECT_TRUE(SUCCEEDED(result));
    out.insert(out.end(), chunk, chunk + n);
    if (result != S_OK || n == 0) return out;
  }
}

}  // namespace vorbek
