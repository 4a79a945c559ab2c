// A stand-in WebView2 runtime for the web view's tests: test doubles of the
// real header's environment, controller, settings, web view, request and
// event interfaces, built on stubs generated from that header, and a
// fixture that opens the web view on them in a real host window. They
// behave as we read the SDK's documentation; they are no evidence that the
// runtime does. Needs a display.
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

#include "frontend_assets.h"
#include "page_scripts.h"
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

// '*' stands for any text, as in the engine's filters.
inline bool matches(std::wstring_view pattern, std::wstring_view text) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == L'*') {
    for (size_t skip = 0; skip <= text.size(); ++skip) {
      if (matches(pattern.substr(1), text.substr(skip))) return true;
    }
    return false;
  }
  return !text.empty() && pattern[0] == text[0] && matches(pattern.substr(1), text.substr(1));
}

// An address as the engine names it: the scheme and host in lower case, and
// in the path and query spaces, quotes, angle brackets, backquotes and
// non-ASCII characters percent-encoded (their UTF-8 bytes).
inline std::wstring canonical(std::wstring_view uri) {
  const std::string text = win32::narrow(uri);
  const std::size_t scheme_end = text.find("://");
  const std::size_t host_end = scheme_end == std::string::npos
                                   ? 0
                                   : text.find_first_of("/?#", scheme_end + 3);
  const std::size_t fragment = text.find('#', host_end == std::string::npos ? 0 : host_end);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (i < host_end || host_end == std::string::npos) {
      out += static_cast<char>(std::tolower(c));
    } else if (i < fragment && (c <= ' ' || c >= 0x7f || std::strchr("\"<>`", c))) {
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
  std::optional<BOOL> handled;
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* out) override { return com::task_copy(uri.c_str(), out); }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL value) override {
    handled = value;
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

// The stand-in web view. Navigate runs a navigation as the engine would,
// later, from the message loop: NavigationStarting, then the document
// through the resource filters or else the network, then
// NavigationCompleted. What it shows is the document it got last.
class FakeWebView : public Fake<ICoreWebView2_22> {
 public:
  ComPtr<FakeSettings> settings = com::make<FakeSettings>();
  std::vector<Filter> filters;
  std::vector<Filter> removed_filters;
  std::vector<std::wstring> navigations;
  HRESULT navigate_result = S_OK;
  bool answers_v22 = true;
  ComPtr<ICoreWebView2WebResourceRequestedEventHandler> on_request;
  ComPtr<ICoreWebView2DownloadStartingEventHandler> on_download;
  ComPtr<ICoreWebView2WebMessageReceivedEventHandler> on_message;
  ComPtr<ICoreWebView2NavigationStartingEventHandler> on_starting;
  ComPtr<ICoreWebView2NavigationCompletedEventHandler> on_completed;
  ComPtr<ICoreWebView2NewWindowRequestedEventHandler> on_new_window;
  ComPtr<ICoreWebView2ProcessFailedEventHandler> on_process_failed;
  std::vector<std::wstring> scripts;  // run in each new document
  size_t scripts_at_first_navigation = 0;
  HRESULT script_result = S_OK;        // what adding a script completes with
  std::vector<std::wstring> posted;    // web messages to the page
  std::vector<std::string> other_handlers;  // any handler or host object besides ours
  std::vector<std::string> removed;

  // The network: these addresses fail with their status, those answer with
  // an HTTP status and a page of the server's own; the rest load.
  std::map<std::wstring, COREWEBVIEW2_WEB_ERROR_STATUS> unreachable;
  std::map<std::wstring, int> http_errors;
  std::map<std::wstring, std::wstring> redirects;  // the server sends this one there
  std::wstring document_uri;  // what the window shows
  std::string document;       // "network" for a page from the network
  UINT64 last_id = 0;

  // Runs a navigation now; the NavigationStarting arguments, to see what
  // the host made of it.
  ComPtr<FakeStartingArgs> navigate(std::wstring uri,
                                    COREWEBVIEW2_NAVIGATION_KIND kind =
                                        COREWEBVIEW2_NAVIGATION_KIND_NEW_DOCUMENT,
                                    BOOL user = TRUE, bool old_runtime = false);
  void complete(UINT64 id, BOOL success, COREWEBVIEW2_WEB_ERROR_STATUS status, int http_status = 0) {
    auto args = com::make<FakeCompletedArgs>();
    args->id = id;
    args->success = success;
    args->status = status;
    args->http_status = http_status;
    if (on_completed) on_completed->Invoke(this, args.Get());
  }
  // A message from the page.
  void message(const std::wstring& source, std::optional<std::wstring> text) {
    auto args = com::make<FakeMessageArgs>();
    args->source = source;
    args->text = std::move(text);
    ASSERT_TRUE(on_message);
    on_message->Invoke(this, args.Get());
  }
  // A page whose process stops responding: reported `times` times, as the
  // runtime does every few seconds until it responds again or ends.
  void stop_responding(int times) {
    for (int i = 0; i < times; ++i) {
      process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE,
                     COREWEBVIEW2_PROCESS_FAILED_REASON_UNRESPONSIVE, STILL_ACTIVE);
      MainThread::pump();
    }
  }
  void process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND kind,
                      COREWEBVIEW2_PROCESS_FAILED_REASON reason, int exit_code) {
    auto args = com::make<FakeProcessFailedArgs>();
    args->kind = kind;
    args->reason = reason;
    args->exit_code = exit_code;
    ASSERT_TRUE(on_process_failed);
    on_process_failed->Invoke(this, args.Get());
  }

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** out) override {
    *out = settings.Get();
    settings->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    if (navigations.empty()) scripts_at_first_navigation = scripts.size();
    navigations.push_back(text_of(uri));
    if (FAILED(navigate_result)) return navigate_result;
    // Started later, under the engine's form of the address, and counted
    // as the user's, as the runtime counts every navigation of its API.
    ComPtr<FakeWebView> self(this);
    MainThread::post([self, target = canonical(text_of(uri))] { self->navigate(target); });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR) override { return other("NavigateToString"); }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR text) override {
    posted.push_back(text_of(text));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR) override { return other("PostWebMessageAsJson"); }
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(
      LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) override {
    filters.push_back({text_of(uri), context, std::nullopt});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(
      LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) override {
    return remove_filter(uri, context, std::nullopt);
  }
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilterWithRequestSourceKinds(
      LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
      COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS sources) override {
    filters.push_back({text_of(uri), context, sources});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilterWithRequestSourceKinds(
      LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
      COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS sources) override {
    return remove_filter(uri, context, sources);
  }
  HRESULT remove_filter(LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
                        std::optional<COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS> sources) {
    for (auto at = filters.begin(); at != filters.end(); ++at) {
      if (at->uri == text_of(uri) && at->context == context && at->sources == sources) {
        removed_filters.push_back(*at);
        filters.erase(at);
        return S_OK;
      }
    }
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR script,
      ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) override {
    scripts.push_back(text_of(script));
    ComPtr<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler> keep(handler);
    const HRESULT result = script_result;
    MainThread::post([keep, result] { keep->Invoke(result, SUCCEEDED(result) ? L"1" : nullptr); });
    return S_OK;
  }

  template <typename Handler>
  HRESULT add(ComPtr<Handler>& slot, Handler* handler, EventRegistrationToken* token, INT64 value) {
    slot = handler;
    token->value = value;
    return S_OK;
  }
  template <typename Handler>
  HRESULT remove(ComPtr<Handler>& slot, EventRegistrationToken token, INT64 value, const char* name) {
    if (token.value == value) slot.Reset();
    removed.push_back(name);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* h, EventRegistrationToken* t) override { return add(on_request, h, t, 1); }
  HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken t) override { return remove(on_request, t, 1, "WebResourceRequested"); }
  HRESULT STDMETHODCALLTYPE add_DownloadStarting(ICoreWebView2DownloadStartingEventHandler* h, EventRegistrationToken* t) override { return add(on_download, h, t, 2); }
  HRESULT STDMETHODCALLTYPE remove_DownloadStarting(EventRegistrationToken t) override { return remove(on_download, t, 2, "DownloadStarting"); }
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* h, EventRegistrationToken* t) override { return add(on_message, h, t, 3); }
  HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken t) override { return remove(on_message, t, 3, "WebMessageReceived"); }
  HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* h, EventRegistrationToken* t) override { return add(on_starting, h, t, 4); }
  HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken t) override { return remove(on_starting, t, 4, "NavigationStarting"); }
  HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* h, EventRegistrationToken* t) override { return add(on_completed, h, t, 5); }
  HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken t) override { return remove(on_completed, t, 5, "NavigationCompleted"); }
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* h, EventRegistrationToken* t) override { return add(on_new_window, h, t, 6); }
  HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken t) override { return remove(on_new_window, t, 6, "NewWindowRequested"); }
  HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* h, EventRegistrationToken* t) override { return add(on_process_failed, h, t, 7); }
  HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken t) override { return remove(on_process_failed, t, 7, "ProcessFailed"); }
  bool any_handler() const {
    return on_request || on_download || on_message || on_starting || on_completed ||
           on_new_window || on_process_failed;
  }

  // What the table of settings says the program leaves alone.
  HRESULT other(const char* name) {
    other_handlers.push_back(name);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(ICoreWebView2DocumentTitleChangedEventHandler*, EventRegistrationToken*) override { return other("DocumentTitleChanged"); }
  HRESULT STDMETHODCALLTYPE add_DOMContentLoaded(ICoreWebView2DOMContentLoadedEventHandler*, EventRegistrationToken*) override { return other("DOMContentLoaded"); }
  HRESULT STDMETHODCALLTYPE add_WindowCloseRequested(ICoreWebView2WindowCloseRequestedEventHandler*, EventRegistrationToken*) override { return other("WindowCloseRequested"); }
  HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR, VARIANT*) override { return other("AddHostObjectToScript"); }

 protected:
  HRESULT query_more(REFIID iid, void** out) override {
    if (!answers_v22 && IsEqualIID(iid, IID_ICoreWebView2_22)) return E_NOINTERFACE;
    return Fake<ICoreWebView2_22>::query_more(iid, out);
  }
};

class FakeController : public Fake<ICoreWebView2Controller4> {
 public:
  ComPtr<FakeWebView> web_view = com::make<FakeWebView>();
  std::optional<RECT> bounds;
  int bounds_set = 0;
  std::optional<BOOL> visible;
  int focus_moves = 0;
  int position_notes = 0;
  bool closed = false;
  bool background_set = false;

  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** out) override {
    *out = web_view.Get();
    web_view->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT value) override {
    bounds = value;
    ++bounds_set;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL value) override {
    visible = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) override {
    if (reason == COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC) ++focus_moves;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override {
    ++position_notes;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    closed = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR) override {
    background_set = true;
    return S_OK;
  }
};

class FakeResponse : public Fake<ICoreWebView2WebResourceResponse> {
 public:
  ComPtr<IStream> content;
  int status = 0;
  std::wstring reason, headers;
};

class FakeEnvironment : public Fake<ICoreWebView2Environment> {
 public:
  ComPtr<FakeController> controller = com::make<FakeController>();
  HWND parent = nullptr;
  HRESULT controller_result = S_OK;  // what the completion reports
  int failing_responses = 0;         // so many responses cannot be made

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent_window, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    parent = parent_window;
    ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> keep(handler);
    ComPtr<FakeController> made = controller;
    const HRESULT result = controller_result;
    MainThread::post([keep, made, result] {
      keep->Invoke(result, SUCCEEDED(result) ? made.Get() : nullptr);
    });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(
      IStream* content, int status, LPCWSTR reason, LPCWSTR headers,
      ICoreWebView2WebResourceResponse** out) override {
    if (failing_responses > 0) {
      --failing_responses;
      return E_OUTOFMEMORY;
    }
    auto response = com::make<FakeResponse>();
    response->content = content;
    response->status = status;
    response->reason = text_of(reason);
    response->headers = text_of(headers);
    *out = response.Detach();
    return S_OK;
  }
};

// The loader: what it was given, and the environment it completes with.
struct StandInLoader {
  ComPtr<FakeEnvironment> environment = com::make<FakeEnvironment>();
  HRESULT returned = S_OK;   // from the call itself
  HRESULT completed = S_OK;  // through the completion handler
  int calls = 0;
  std::optional<std::wstring> browser_folder, user_data_folder;  // nothing: null
  ComPtr<ICoreWebView2EnvironmentOptions> options;

  webview2::CreateEnvironment entry() {
    return [this](PCWSTR browser, PCWSTR user_data, ICoreWebView2EnvironmentOptions* given,
                  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
      ++calls;
      if (browser) browser_folder = browser;
      if (user_data) user_data_folder = user_data;
      options = given;
      if (FAILED(returned)) return returned;
      ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> keep(handler);
      ComPtr<FakeEnvironment> made = environment;
      const HRESULT result = completed;
      MainThread::post([keep, made, result] {
        keep->Invoke(result, SUCCEEDED(result) ? made.Get() : nullptr);
      });
      return S_OK;
    };
  }
  FakeController& controller() { return *environment->controller.Get(); }
  FakeWebView& web_view() { return *controller().web_view.Get(); }

  // The runtime's browser process ends: its web view is closed for good
  // and says so; a web view made after that comes from a new environment.
  // The old one, to look at afterwards.
  ComPtr<FakeEnvironment> end_browser_process() {
    ComPtr<FakeEnvironment> old = environment;
    environment = com::make<FakeEnvironment>();
    FakeWebView& closed = *old->controller->web_view.Get();
    closed.navigate_result = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    closed.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_UNEXPECTED, 1);
    return old;
  }
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
    *out = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT;
    return S_OK;
  }
  FakeResponse* response_given() { return static_cast<FakeResponse*>(response.Get()); }
};

class FakeDownloadArgs : public Fake<ICoreWebView2DownloadStartingEventArgs> {
 public:
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

ComPtr<FakeStartingArgs> FakeWebView::navigate(std::wstring uri, COREWEBVIEW2_NAVIGATION_KIND kind,
                                               BOOL user, bool old_runtime) {
  auto starting = com::make<FakeStartingArgs>();
  starting->uri = uri;
  starting->id = ++last_id;
  starting->kind = kind;
  starting->user = user;
  starting->old_runtime = old_runtime;
  if (on_starting) on_starting->Invoke(this, starting.Get());
  const UINT64 id = starting->id;
  if (starting->cancel) {
    complete(id, FALSE, COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
    return starting;
  }
  // A redirect starts again under the same id, the user's or not as before.
  for (auto to = redirects.find(uri.substr(0, uri.find(L'#'))); to != redirects.end();
       to = redirects.find(uri)) {
    uri = to->second;
    auto redirected = com::make<FakeStartingArgs>();
    redirected->uri = uri;
    redirected->id = id;
    redirected->kind = kind;
    redirected->user = user;
    redirected->redirected = TRUE;
    if (on_starting) on_starting->Invoke(this, redirected.Get());
    if (redirected->cancel) {
      complete(id, FALSE, COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
      return redirected;
    }
  }
  const std::wstring requested = uri.substr(0, uri.find(L'#'));
  const std::vector<Filter> now = filters;  // a handler may change them
  for (const Filter& filter : now) {
    if ((filter.context != COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL &&
         filter.context != COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT) ||
        !matches(filter.uri, requested) || !on_request) {
      continue;
    }
    auto args = com::make<FakeRequestArgs>();
    args->request->uri = requested;
    on_request->Invoke(this, args.Get());
    if (!args->response_given()) break;  // left to the network
    document_uri = uri;
    const auto body = args->response_given()->content ? read_all(args->response_given()->content.Get())
                                              : std::vector<std::uint8_t>{};
    document.assign(body.begin(), body.end());
    complete(id, TRUE, COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN);
    return starting;
  }
  if (auto failing = unreachable.find(requested); failing != unreachable.end()) {
    complete(id, FALSE, failing->second);
    return starting;
  }
  document_uri = uri;
  document = "network";
  auto http_error = http_errors.find(requested);
  if (http_error != http_errors.end()) {
    complete(id, FALSE, COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN, http_error->second);
  } else {
    complete(id, TRUE, COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN);
  }
  return starting;
}

inline std::vector<std::uint8_t> bytes(std::span<const std::uint8_t> span) {
  return {span.begin(), span.end()};
}

inline LRESULT CALLBACK host_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

constexpr char INSPECTOR[] = "127.0.0.1:9229";
constexpr char FRONTEND_URL[] =
    "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/0f2c&experiments=true&v8only=true";
constexpr wchar_t FRONTEND_PAGE[] =
    L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/0f2c&experiments=true&v8only=true";

class StandInRuntime : public testing::Test {
 protected:
  // One host window for all: under Wine, hiding a top-level window waits
  // for the X server's confirmation, which takes seconds.
  static void SetUpTestSuite() {
    WNDCLASSEXW klass{};
    klass.cbSize = sizeof klass;
    klass.lpfnWndProc = host_procedure;
    klass.hInstance = GetModuleHandleW(nullptr);
    klass.lpszClassName = L"vorbek_test_host";
    RegisterClassExW(&klass);
    window_ = CreateWindowExW(0, klass.lpszClassName, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              40, 40, 816, 639, nullptr, nullptr, klass.hInstance, nullptr);
  }
  static void TearDownTestSuite() {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(window_, nullptr) << "no host window; is there a display?";
    SetWindowPos(window_, nullptr, 40, 40, 816, 639, SWP_NOZORDER);
  }
  void TearDown() override {
    view_.reset();
    MainThread::pump();
    // Nothing of the view stays on the window, and no handler with the engine.
    EXPECT_EQ(children(), std::vector<HWND>{});
    EXPECT_EQ(GetWindowLongPtrW(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(host_procedure));
    EXPECT_FALSE(loader_.web_view().any_handler());
  }

  // What the web view reaches outside the program: the loader, discovery
  // (on a thread of the host's) and the user's browser.
  webview2::Dependencies dependencies() {
    return {loader_.entry(),
            [this](const std::string& address) -> Result<std::string> {
              std::this_thread::sleep_for(discovery_delay_);
              std::lock_guard lock(mutex_);
              discovered_at_.push_back(address);
              if (!discovered_) return Error(discovery_error_);
              return *discovered_;
            },
            [this](const std::string& uri) -> Status {
              opened_.push_back(uri);
              return {};
            }};
  }
  Result<WebViewPtr> open(const std::string& url = FRONTEND_URL, bool embedded = true) {
    return webview2::create_webview(window_, INSPECTOR, FrontendUrl{url, embedded}, dependencies());
  }
  void open_ok(const std::string& url = FRONTEND_URL, bool embedded = true) {
    auto view = open(url, embedded);
    ASSERT_TRUE(view) << format_failure_report(view.error());
    view_ = std::move(view).value();
  }
  // Runs the message loop until `done`, for at most five seconds.
  bool pump_until(const std::function<bool()>& done) {
    for (int round = 0; round < 250; ++round) {
      MainThread::pump();
      if (done()) return true;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return done();
  }
  // Opened, and the first page shown.
  void open_shown(const std::string& url = FRONTEND_URL, bool embedded = true) {
    open_ok(url, embedded);
    ASSERT_TRUE(pump_until([&] { return !loader_.web_view().document_uri.empty(); }));
  }
  std::vector<std::string> discovered_at() {
    std::lock_guard lock(mutex_);
    return discovered_at_;
  }
  RECT client() const {
    RECT rect{};
    GetClientRect(window_, &rect);
    return rect;
  }
  std::vector<HWND> children() const {
    std::vector<HWND> out;
    EnumChildWindows(
        window_,
        [](HWND child, LPARAM list) {
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
  }
  // The frontend's request handler, as the engine raises it.
  ComPtr<FakeRequestArgs> request(const wchar_t* uri, const wchar_t* method = L"GET") {
    auto args = com::make<FakeRequestArgs>();
    args->request->uri = uri;
    args->request->method = method;
    auto& handler = loader_.web_view().on_request;
    EXPECT_TRUE(handler);
    if (handler) handler->Invoke(nullptr, args.Get());
    return args;
  }

  StandInLoader loader_;
  static inline HWND window_ = nullptr;
  WebViewPtr view_;
  std::vector<std::string> opened_;  // in the user's browser
  std::mutex mutex_;                 // discovery runs on a thread of its own
  std::vector<std::string> discovered_at_;
  std::optional<std::string> discovered_ = "127.0.0.1:9229/b7d1";  // none: discovery fails
  std::string discovery_error_ = "failed to read inspector targets";
  std::chrono::milliseconds discovery_delay_{0};
};


}  // namespace vorbek
