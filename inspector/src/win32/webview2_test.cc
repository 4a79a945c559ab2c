// The WebView2 web view against a stand-in runtime: test doubles of the real
// header's environment, controller, settings, web view and event interfaces,
// built on stubs generated from that header. They check our half of the
// contract with the runtime, not that the runtime works. Needs a display:
// the host window is a real one.
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
namespace {

using com::ComPtr;

// A stand-in object: Stub<I>'s methods and the COM identity of I's chain.
template <typename Interface>
class Fake : public com::Object<com::Answers<>, stub::Stub<Interface>> {
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

std::wstring text_of(const wchar_t* text) { return text ? text : L"(null)"; }

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
bool matches(std::wstring_view pattern, std::wstring_view text) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == L'*') {
    for (size_t skip = 0; skip <= text.size(); ++skip) {
      if (matches(pattern.substr(1), text.substr(skip))) return true;
    }
    return false;
  }
  return !text.empty() && pattern[0] == text[0] && matches(pattern.substr(1), text.substr(1));
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
    ComPtr<FakeWebView> self(this);
    MainThread::post([self, target = text_of(uri)] { self->navigate(target); });
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
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilterWithRequestSourceKinds(
      LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
      COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS sources) override {
    filters.push_back({text_of(uri), context, sources});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilterWithRequestSourceKinds(
      LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
      COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS sources) override {
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
  FakeResponse* answer() { return static_cast<FakeResponse*>(response.Get()); }
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

std::vector<std::uint8_t> read_all(IStream* stream) {
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
    if (!args->answer()) break;  // left to the network
    document_uri = uri;
    const auto body = args->answer()->content ? read_all(args->answer()->content.Get())
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

std::vector<std::uint8_t> bytes(std::span<const std::uint8_t> span) {
  return {span.begin(), span.end()};
}

LRESULT CALLBACK host_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
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
  webview2::Dependencies outside() {
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
    return webview2::create_webview(window_, INSPECTOR, FrontendUrl{url, embedded}, outside());
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
  static HWND window_;
  WebViewPtr view_;
  std::vector<std::string> opened_;  // in the user's browser
  std::mutex mutex_;                 // discovery runs on a thread of its own
  std::vector<std::string> discovered_at_;
  std::optional<std::string> discovered_ = "127.0.0.1:9229/b7d1";  // none: discovery fails
  std::string discovery_error_ = "failed to read inspector targets";
  std::chrono::milliseconds discovery_delay_{0};
};

HWND StandInRuntime::window_ = nullptr;

bool same(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right) +
         "x" + std::to_string(r.bottom);
}

TEST_F(StandInRuntime, EnvironmentComesFromTheLoaderWithTheRuntimesOwnFolders) {
  open_ok();
  EXPECT_EQ(loader_.calls, 1);
  // No browser folder (the installed runtime), no user-data folder (its
  // default location).
  EXPECT_EQ(loader_.browser_folder, std::nullopt);
  EXPECT_EQ(loader_.user_data_folder, std::nullopt);
  ASSERT_TRUE(loader_.options);
  com::TaskString arguments, language, version;
  ASSERT_EQ(loader_.options->get_AdditionalBrowserArguments(arguments.out()), S_OK);
  EXPECT_EQ(text_of(arguments.get()),
            L"--disable-features=msWebOOUI,msPdfOOUI,msSmartScreenProtection "
            L"--autoplay-policy=no-user-gesture-required");
  // The user's interface language, as a locale name.
  wchar_t expected[LOCALE_NAME_MAX_LENGTH] = {};
  LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), expected,
                   LOCALE_NAME_MAX_LENGTH, 0);
  ASSERT_EQ(loader_.options->get_Language(language.out()), S_OK);
  EXPECT_EQ(text_of(language.get()), expected);
  EXPECT_NE(std::wstring(expected), L"");
  ASSERT_EQ(loader_.options->get_TargetCompatibleBrowserVersion(version.out()), S_OK);
  EXPECT_NE(text_of(version.get()).find(L'.'), std::wstring::npos) << text_of(version.get());
  BOOL single_sign_on = TRUE;
  ASSERT_EQ(loader_.options->get_AllowSingleSignOnUsingOSPrimaryAccount(&single_sign_on), S_OK);
  EXPECT_FALSE(single_sign_on);
}

TEST_F(StandInRuntime, ControllerFillsAChildOfTheWindowVisibleAndFocused) {
  open_ok();
  const auto kids = children();
  ASSERT_EQ(kids.size(), 1u);
  // Created plainly (not in private mode) in our container, a child of the
  // window covering its client area.
  EXPECT_EQ(loader_.environment->parent, kids[0]);
  EXPECT_EQ(GetParent(kids[0]), window_);
  RECT container{};
  GetWindowRect(kids[0], &container);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&container), 2);
  EXPECT_TRUE(same(container, client())) << describe(container) << " vs " << describe(client());
  FakeController& controller = loader_.controller();
  ASSERT_TRUE(controller.bounds);
  EXPECT_TRUE(same(*controller.bounds, client())) << describe(*controller.bounds);
  EXPECT_EQ(controller.visible, TRUE);
  EXPECT_GE(controller.focus_moves, 1);
  EXPECT_FALSE(controller.background_set);  // the engine's default, opaque
}

TEST_F(StandInRuntime, SettingsAreTheTablesValuesAndNothingElse) {
  open_ok();
  const std::map<std::string, BOOL> expected = {
      {"IsScriptEnabled", TRUE},
      {"IsWebMessageEnabled", TRUE},  // the frontend's requests to its host
      {"AreDevToolsEnabled", FALSE},
      {"IsZoomControlEnabled", FALSE},
      {"IsPinchZoomEnabled", FALSE},
      {"IsStatusBarEnabled", FALSE},
      {"AreDefaultContextMenusEnabled", TRUE},
      {"AreBrowserAcceleratorKeysEnabled", TRUE},
      {"IsSwipeNavigationEnabled", FALSE},
      {"IsGeneralAutofillEnabled", TRUE},
  };
  // The user agent among the rest: the engine's own.
  EXPECT_EQ(loader_.web_view().settings->set, expected);
}

TEST_F(StandInRuntime, FrontendFilterHandlersAndHostScriptBeforeTheOneNavigation) {
  open_ok();
  FakeWebView& web_view = loader_.web_view();
  ASSERT_EQ(web_view.filters.size(), 1u);
  EXPECT_EQ(web_view.filters[0].uri, L"http://devtools.*");
  EXPECT_EQ(web_view.filters[0].context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
  EXPECT_EQ(web_view.filters[0].sources, COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL);
  EXPECT_TRUE(web_view.on_request);
  EXPECT_TRUE(web_view.on_download);
  // The frontend's host: its messages, the navigation and new-window
  // decisions, the page's process and its loads.
  EXPECT_TRUE(web_view.on_message);
  EXPECT_TRUE(web_view.on_starting);
  EXPECT_TRUE(web_view.on_new_window);
  EXPECT_TRUE(web_view.on_process_failed);
  EXPECT_TRUE(web_view.on_completed);
  // No title or DOM-loaded handler, no host objects; pages are served,
  // never navigated to as strings.
  EXPECT_EQ(web_view.other_handlers, std::vector<std::string>{});
  // The host's bridge, and nothing of WebKit's mending, in place before the
  // first page.
  EXPECT_EQ(web_view.scripts, std::vector<std::wstring>{win32::widen(FRONTEND_HOST_SCRIPT)});
  EXPECT_EQ(web_view.scripts_at_first_navigation, 1u);
  EXPECT_EQ(web_view.navigations, std::vector<std::wstring>{FRONTEND_PAGE});
}

TEST_F(StandInRuntime, HostScriptOnlyForTheFrontendOrigin) {
  // The embedded frontend written with its custom scheme is loaded from the
  // http origin, and gets the bridge.
  open_ok("devtools://localhost/js_app.html?ws=h:1/x", false);
  EXPECT_EQ(loader_.web_view().navigations,
            std::vector<std::wstring>{L"http://devtools.localhost/js_app.html?ws=h:1/x"});
  EXPECT_EQ(loader_.web_view().scripts.size(), 1u);

  // A frontend from elsewhere runs as it was written.
  view_.reset();
  StandInLoader elsewhere;
  webview2::Dependencies with_loader = outside();
  with_loader.create_environment = elsewhere.entry();
  auto view = webview2::create_webview(
      window_, INSPECTOR, FrontendUrl{"http://127.0.0.1:8080/inspector.html?ws=h:1/x", false},
      with_loader);
  ASSERT_TRUE(view) << format_failure_report(view.error());
  EXPECT_EQ(elsewhere.web_view().scripts, std::vector<std::wstring>{});
  EXPECT_EQ(elsewhere.web_view().navigations,
            std::vector<std::wstring>{L"http://127.0.0.1:8080/inspector.html?ws=h:1/x"});
}

TEST_F(StandInRuntime, FrontendRequestsAreAnsweredFromTheTable) {
  open_ok();
  const FrontendAsset* page = find_frontend_asset("js_app.html");
  ASSERT_NE(page, nullptr);

  auto found = request(L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/0f2c");
  ASSERT_NE(found->answer(), nullptr);
  EXPECT_EQ(found->answer()->status, 200);
  EXPECT_EQ(found->answer()->reason, L"OK");
  EXPECT_EQ(found->answer()->headers.rfind(L"content-type: text/html; charset=utf-8", 0), 0u)
      << win32::narrow(found->answer()->headers);
  ASSERT_TRUE(found->answer()->content);
  EXPECT_EQ(read_all(found->answer()->content.Get()), bytes(page->content));

  // Any method, any host under devtools.: the path decides.
  auto post = request(L"http://devtools.other.example/entrypoints/js_app/js_app.js", L"POST");
  post->request->headers->headers = {{L"Content-Type", L"text/plain"}};
  ASSERT_NE(post->answer(), nullptr);
  EXPECT_EQ(post->answer()->status, 200);
  EXPECT_EQ(post->answer()->headers.rfind(L"content-type: text/javascript; charset=utf-8", 0), 0u);

  auto missing = request(L"http://devtools.localhost/favicon.ico");
  ASSERT_NE(missing->answer(), nullptr);
  EXPECT_EQ(missing->answer()->status, 404);
  EXPECT_EQ(missing->answer()->reason, L"Not Found");
  EXPECT_EQ(missing->answer()->headers, L"content-type: text/plain; charset=utf-8");
  ASSERT_TRUE(missing->answer()->content);
  const std::string not_found = "Not Found";
  EXPECT_EQ(read_all(missing->answer()->content.Get()),
            std::vector<std::uint8_t>(not_found.begin(), not_found.end()));
}

TEST_F(StandInRuntime, RequestWithHeadersAndBodyGetsTheSameAnswer) {
  open_ok();
  auto args = com::make<FakeRequestArgs>();
  args->request->uri = L"http://devtools.localhost/Images/3d-center.svg";
  args->request->method = L"POST";
  args->request->headers->headers = {{L"Accept", L"*/*"}, {L"X-Test", L"\u00e9"}};
  const std::string body(40000, 'b');  // more than one read of the body stream
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf()), S_OK);
  ULONG written = 0;
  stream->Write(body.data(), static_cast<ULONG>(body.size()), &written);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  args->request->content = stream;
  loader_.web_view().on_request->Invoke(nullptr, args.Get());
  ASSERT_NE(args->answer(), nullptr);
  EXPECT_EQ(args->answer()->status, 200);
  EXPECT_EQ(args->answer()->headers, L"content-type: image/svg+xml");
}

TEST_F(StandInRuntime, UnreadableRequestIsABadRequestWithNoBody) {
  open_ok();
  auto failing = com::make<FakeRequestArgs>();
  failing->request->uri_result = E_FAIL;
  loader_.web_view().on_request->Invoke(nullptr, failing.Get());
  auto lone_surrogate = request(L"http://devtools.localhost/\xd800.js");
  for (FakeRequestArgs* args : {failing.Get(), lone_surrogate.Get()}) {
    ASSERT_NE(args->answer(), nullptr);
    EXPECT_EQ(args->answer()->status, 400);
    EXPECT_EQ(args->answer()->reason, L"Bad Request");
    EXPECT_EQ(args->answer()->headers, L"");
    EXPECT_FALSE(args->answer()->content);
  }
}

TEST_F(StandInRuntime, ResponseStreamReadsSeeksAndClonesOverTheTable) {
  open_ok();
  const FrontendAsset* page = find_frontend_asset("js_app.html");
  ASSERT_NE(page, nullptr);
  auto args = request(L"http://devtools.localhost/js_app.html");
  ASSERT_NE(args->answer(), nullptr);
  IStream* stream = args->answer()->content.Get();
  ASSERT_NE(stream, nullptr);
  STATSTG stat{};
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, page->content.size());

  std::uint8_t head[10];
  ULONG n = 0;
  ASSERT_EQ(stream->Read(head, sizeof head, &n), S_OK);
  EXPECT_EQ(bytes({head, n}), bytes(page->content.first(10)));
  ComPtr<IStream> clone;
  ASSERT_EQ(stream->Clone(clone.GetAddressOf()), S_OK);
  EXPECT_EQ(read_all(clone.Get()), bytes(page->content.subspan(10)));
  EXPECT_EQ(read_all(stream), bytes(page->content.subspan(10)));  // its own position

  LARGE_INTEGER back{};
  back.QuadPart = -5;
  ULARGE_INTEGER at{};
  ASSERT_EQ(stream->Seek(back, STREAM_SEEK_END, &at), S_OK);
  EXPECT_EQ(at.QuadPart, page->content.size() - 5);
  EXPECT_EQ(read_all(stream), bytes(page->content.last(5)));
  back.QuadPart = -1;
  EXPECT_NE(stream->Seek(back, STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_NE(stream->Write("x", 1, nullptr), S_OK);  // read-only

  // Agile, so the engine may read it on a thread of its own.
  ComPtr<IUnknown> agile;
  EXPECT_EQ(stream->QueryInterface(IID_IAgileObject, reinterpret_cast<void**>(agile.GetAddressOf())), S_OK);
  ComPtr<IUnknown> marshal;
  EXPECT_EQ(stream->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(marshal.GetAddressOf())), S_OK);
}

TEST_F(StandInRuntime, DownloadsGoToTheProposedPathWithoutAPrompt) {
  open_ok();
  auto args = com::make<FakeDownloadArgs>();
  ASSERT_EQ(loader_.web_view().on_download->Invoke(nullptr, args.Get()), S_OK);
  EXPECT_EQ(args->result_path, args->proposed);
  EXPECT_EQ(args->handled, TRUE);
  EXPECT_EQ(args->cancelled, std::nullopt);
}

TEST_F(StandInRuntime, WebViewFollowsTheWindowsSizeMoveAndFocus) {
  open_ok();
  FakeController& controller = loader_.controller();
  const HWND container = children().at(0);

  SetWindowPos(window_, nullptr, 0, 0, 1016, 739, SWP_NOMOVE | SWP_NOZORDER);
  MainThread::pump();
  ASSERT_TRUE(controller.bounds);
  EXPECT_TRUE(same(*controller.bounds, client())) << describe(*controller.bounds);
  RECT inside{};
  GetClientRect(container, &inside);
  EXPECT_TRUE(same(inside, client())) << describe(inside);
  EXPECT_GT(client().right, 900);

  // Not resized while minimised; fitted again when restored.
  const int fitted = controller.bounds_set;
  ShowWindow(window_, SW_MINIMIZE);
  MainThread::pump();
  EXPECT_EQ(controller.bounds_set, fitted);
  EXPECT_GT(controller.bounds->right, 900);
  ShowWindow(window_, SW_RESTORE);
  MainThread::pump();
  EXPECT_TRUE(same(*controller.bounds, client())) << describe(*controller.bounds);

  const int notes = controller.position_notes;
  SetWindowPos(window_, nullptr, 90, 70, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  MainThread::pump();
  EXPECT_GT(controller.position_notes, notes);

  const int moves = controller.focus_moves;
  SendMessageW(window_, WM_SETFOCUS, 0, 0);
  EXPECT_GT(controller.focus_moves, moves);
}

TEST_F(StandInRuntime, NoRuntimeIsTheLoadersOwnFailureAndLeavesNothing) {
  loader_.returned = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  auto view = open();
  ASSERT_FALSE(view);
  ASSERT_EQ(view.error().messages().size(), 1u);
  EXPECT_TRUE(view.error().outermost().ends_with(" (os error 2)")) << view.error().outermost();
  EXPECT_EQ(children(), std::vector<HWND>{});
}

TEST_F(StandInRuntime, EveryFailingStepFailsTheSetUpAndLeavesNothing) {
  struct Case {
    const char* what;
    std::function<void(StandInLoader&)> arrange;
    const char* cause;  // the start or end of the outermost cause
    bool controller_made;
  };
  const Case cases[] = {
      {"environment completion", [](StandInLoader& l) { l.completed = E_ACCESSDENIED; },
       " (os error 5)", false},
      {"controller", [](StandInLoader& l) { l.environment->controller_result = E_FAIL; },
       "cannot create the WebView2 controller", false},
      {"old runtime", [](StandInLoader& l) { l.web_view().answers_v22 = false; },
       "the WebView2 runtime has no ICoreWebView2_22; it is older than this program needs", true},
      {"setting", [](StandInLoader& l) { l.web_view().settings->failing = "AreDevToolsEnabled"; },
       "cannot disable the developer tools", true},
      {"host script", [](StandInLoader& l) { l.web_view().script_result = E_FAIL; },
       "cannot add the frontend's host script", true},
      {"navigation", [](StandInLoader& l) { l.web_view().navigate_result = E_INVALIDARG; },
       "cannot navigate to the frontend URL", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StandInLoader loader;
    c.arrange(loader);
    webview2::Dependencies with_loader = outside();
    with_loader.create_environment = loader.entry();
    auto view = webview2::create_webview(window_, INSPECTOR, FrontendUrl{FRONTEND_URL, true},
                                         with_loader);
    ASSERT_FALSE(view);
    const std::string& text = view.error().outermost();
    EXPECT_TRUE(text.starts_with(c.cause) || text.ends_with(c.cause)) << text;
    if (std::string(c.what) == "controller") {
      // An HRESULT that wraps no Win32 code is shown as itself.
      ASSERT_EQ(view.error().messages().size(), 2u);
      EXPECT_TRUE(view.error().messages()[1].ends_with(" (HRESULT 0x80004005)"))
          << view.error().messages()[1];
    }
    EXPECT_EQ(children(), std::vector<HWND>{});
    // The engine's side is let go: the controller closed, no handler left,
    // and the window's own procedure alone again.
    EXPECT_EQ(GetWindowLongPtrW(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(host_procedure));
    FakeController& controller = loader.controller();
    EXPECT_EQ(controller.closed, c.controller_made);
    EXPECT_FALSE(loader.web_view().any_handler());
    const int fitted = controller.bounds_set;
    static int width = 700;
    width += 10;  // a new size each time, or no WM_SIZE would come
    SetWindowPos(window_, nullptr, 0, 0, width, 500, SWP_NOMOVE | SWP_NOZORDER);
    MainThread::pump();
    EXPECT_EQ(controller.bounds_set, fitted);
  }
}

// file:///C:/... as the frontend names a Windows file: its UTF-8 bytes
// percent-encoded.
std::string file_url(const std::wstring& path) {
  std::string out = "file:///";
  for (unsigned char c : win32::narrow(path)) {
    if (c == '\\') {
      out += '/';
    } else if (std::isalnum(c) || std::strchr(":/.-_", c)) {
      out += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += escaped;
    }
  }
  return out;
}

std::wstring write_temp_file(const std::wstring& name, const std::string& content) {
  wchar_t directory[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, directory);
  const std::wstring path = std::wstring(directory) + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return path;
}

std::wstring clipboard_text() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return L"(clipboard busy)";
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

TEST_F(StandInRuntime, WebMessagesCarryTheHostsRequestsAndAnswers) {
  open_shown();
  FakeWebView& web_view = loader_.web_view();
  auto request = [&](const std::wstring& json) {
    web_view.message(FRONTEND_PAGE, json);
    return web_view.posted.empty() ? std::wstring() : web_view.posted.back();
  };

  // A source map with a non-ASCII name and a NUL in its text, read for the
  // page and answered under the request's number.
  std::string map = "{\"version\":3,\"sources\":[\"t\xC3\xA9.ts\"]}";
  map += '\0';
  map += "end";
  const std::wstring path = write_temp_file(L"vorbek stand-in \u00e9t\u00e9.js.map", map);
  EXPECT_EQ(request(L"{\"request\":\"loadFile\",\"url\":\"" + win32::widen(file_url(path)) +
                    L"\",\"id\":7}"),
            win32::widen("{\"id\":7,\"reply\":{\"text\":"
                         "\"{\\\"version\\\":3,\\\"sources\\\":[\\\"t\xC3\xA9.ts\\\"]}"
                         "\\u0000end\"}}"));
  DeleteFileW(path.c_str());
  const std::string missing = win32::narrow(request(
      L"{\"request\":\"loadFile\",\"url\":\"" + win32::widen(file_url(path)) + L"\",\"id\":8}"));
  // A failure's members come in the JSON library's order.
  EXPECT_TRUE(missing.starts_with("{\"error\":\"cannot read C:/")) << missing;
  EXPECT_TRUE(missing.ends_with(".js.map: No such file or directory (os error 2)\",\"id\":8}"))
      << missing;

  // The user's files are for the embedded frontend only.
  web_view.message(L"http://127.0.0.1:8080/evil.html",
                   L"{\"request\":\"loadFile\",\"url\":\"file:///C:/users/me/.ssh/id_rsa\",\"id\":9}");
  EXPECT_EQ(web_view.posted.back(), L"{\"error\":\"not the embedded frontend\",\"id\":9}");

  // A message that is not text is no request.
  const size_t answers = web_view.posted.size();
  web_view.message(FRONTEND_PAGE, std::nullopt);
  EXPECT_EQ(web_view.posted.size(), answers);

  EXPECT_EQ(request(L"{\"request\":\"copyText\",\"text\":\"\u03a9 copied\",\"id\":10}"),
            L"{\"id\":10,\"reply\":{}}");
  EXPECT_EQ(clipboard_text(), L"\u03a9 copied");

  // Links go to the user's browser.
  EXPECT_EQ(request(L"{\"request\":\"openLink\",\"url\":\"https://nodejs.org/api/\",\"id\":11}"),
            L"{\"id\":11,\"reply\":{}}");
  EXPECT_EQ(opened_, std::vector<std::string>{"https://nodejs.org/api/"});
}

TEST_F(StandInRuntime, LinksOpenInTheBrowserAndTheWindowStays) {
  open_shown();
  FakeWebView& web_view = loader_.web_view();
  EXPECT_TRUE(web_view.navigate(L"https://nodejs.org/api/")->cancel);
  // A runtime too old to name the kind of a navigation: a click is a click.
  EXPECT_TRUE(web_view.navigate(L"https://nodejs.org/en", COREWEBVIEW2_NAVIGATION_KIND_NEW_DOCUMENT,
                                TRUE, true)
                  ->cancel);
  // A page that moves itself elsewhere is only stopped.
  EXPECT_TRUE(
      web_view.navigate(L"https://example.com/", COREWEBVIEW2_NAVIGATION_KIND_NEW_DOCUMENT, FALSE)
          ->cancel);
  EXPECT_TRUE(web_view.navigate(L"ms-settings:privacy")->cancel);

  // The page never gets a window of ours; a web address opens in the browser.
  for (const wchar_t* uri : {L"https://github.com/", L"javascript:alert(1)"}) {
    auto popup = com::make<FakeNewWindowArgs>();
    popup->uri = uri;
    web_view.on_new_window->Invoke(&web_view, popup.Get());
    EXPECT_EQ(popup->handled, TRUE) << win32::narrow(uri);
  }
  EXPECT_EQ(opened_, (std::vector<std::string>{"https://nodejs.org/api/", "https://nodejs.org/en",
                                               "https://github.com/"}));
  // The refused navigations' cancels showed nothing in the window.
  MainThread::pump();
  EXPECT_EQ(web_view.navigations, std::vector<std::wstring>{FRONTEND_PAGE});
  EXPECT_EQ(web_view.document_uri, FRONTEND_PAGE);

  // The frontend's own origin stays in the window.
  EXPECT_FALSE(web_view.navigate(L"http://devtools.localhost/Images/3d-center.svg")->cancel);
  EXPECT_EQ(web_view.document_uri, L"http://devtools.localhost/Images/3d-center.svg");
}

TEST_F(StandInRuntime, AReloadReconnectsThroughDiscovery) {
  open_shown();
  FakeWebView& web_view = loader_.web_view();
  const FrontendAsset* page = find_frontend_asset("js_app.html");
  ASSERT_NE(page, nullptr);

  // The engine's reload (F5, the frontend's Reconnect button) asks the
  // inspector again for its current target.
  EXPECT_TRUE(web_view.navigate(FRONTEND_PAGE, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  const std::wstring next =
      L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/b7d1&experiments=true&v8only=true";
  ASSERT_TRUE(pump_until([&] { return web_view.document_uri == next; }));
  EXPECT_EQ(discovered_at(), std::vector<std::string>{INSPECTOR});
  EXPECT_EQ(web_view.navigations, (std::vector<std::wstring>{FRONTEND_PAGE, next}));
  EXPECT_EQ(web_view.document, std::string(page->content.begin(), page->content.end()));

  // The bridge's request does the same.
  web_view.message(next, L"{\"request\":\"reconnect\",\"id\":1}");
  EXPECT_EQ(web_view.posted.back(), L"{\"id\":1,\"reply\":{}}");
  ASSERT_TRUE(pump_until([&] { return web_view.navigations.size() == 3; }));

  // With the inspector gone the page says so, under the frontend's address
  // and its own filter; reloading it tries again.
  discovered_.reset();
  web_view.navigate(next, COREWEBVIEW2_NAVIGATION_KIND_RELOAD);
  ASSERT_TRUE(pump_until(
      [&] { return web_view.document.find("Cannot reconnect to the inspector") != std::string::npos; }));
  EXPECT_EQ(web_view.document_uri, next);
  EXPECT_NE(web_view.document.find("failed to read inspector targets"), std::string::npos);
  EXPECT_EQ(web_view.filters.size(), 1u);
  discovered_ = "127.0.0.1:9229/c0de";
  EXPECT_TRUE(web_view.navigate(next, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  ASSERT_TRUE(pump_until([&] {
    return web_view.document_uri ==
           L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/c0de&experiments=true&v8only=true";
  }));

  // Closed while a discovery runs: the view waits for it, and what it found
  // goes nowhere.
  discovery_delay_ = std::chrono::milliseconds(300);
  web_view.navigate(next, COREWEBVIEW2_NAVIGATION_KIND_RELOAD);
  const size_t loads = web_view.navigations.size();
  view_.reset();
  MainThread::pump();
  EXPECT_EQ(discovered_at().size(), 5u);
  EXPECT_EQ(web_view.navigations.size(), loads);
}

TEST_F(StandInRuntime, ProcessFailureShowsTheCrashPage) {
  open_shown();
  FakeWebView& web_view = loader_.web_view();
  // A frame's or a helper's process: the page goes on.
  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED, 1);
  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED, 1);
  MainThread::pump();
  EXPECT_EQ(web_view.navigations.size(), 1u);

  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED,
                          static_cast<int>(0xC0000005));
  ASSERT_TRUE(pump_until(
      [&] { return web_view.document.find("The debugger page crashed") != std::string::npos; }));
  EXPECT_EQ(web_view.document_uri, FRONTEND_PAGE);
  EXPECT_NE(web_view.document.find("the web process crashed (exit code 0xC0000005)"),
            std::string::npos);
  // The crash page's own process ending brings no second page.
  const size_t shown = web_view.navigations.size();
  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED, 0);
  MainThread::pump();
  EXPECT_EQ(web_view.navigations.size(), shown);

  // Its reload reconnects; a page that stops responding later is reported too.
  EXPECT_TRUE(web_view.navigate(FRONTEND_PAGE, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  const std::wstring next =
      L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/b7d1&experiments=true&v8only=true";
  ASSERT_TRUE(pump_until([&] { return web_view.document_uri == next; }));
  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_UNEXPECTED, 0);
  ASSERT_TRUE(pump_until([&] {
    return web_view.document.find("the web process stopped responding") != std::string::npos;
  }));
  EXPECT_EQ(web_view.document_uri, next);
}

TEST_F(StandInRuntime, FailedLoadShowsTheErrorPageAndCancelsShowNothing) {
  const std::wstring page = L"http://127.0.0.1:8089/inspector.html?ws=127.0.0.1:9229/0f2c";
  FakeWebView& web_view = loader_.web_view();
  web_view.unreachable[page] = COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT;
  open_ok(win32::narrow(page), false);
  ASSERT_TRUE(pump_until(
      [&] { return web_view.document.find("The page could not be loaded") != std::string::npos; }));
  EXPECT_EQ(web_view.document_uri, page);
  EXPECT_NE(web_view.document.find(win32::narrow(page)), std::string::npos);
  EXPECT_NE(web_view.document.find("cannot connect to the server"), std::string::npos);
  // Served once, through a filter of its own that is gone again.
  ASSERT_EQ(web_view.removed_filters.size(), 1u);
  EXPECT_EQ(web_view.removed_filters[0].uri, page);
  EXPECT_EQ(web_view.removed_filters[0].context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT);
  EXPECT_EQ(web_view.filters.size(), 1u);

  // Its reload asks the address itself again, and the server is up now.
  web_view.unreachable.clear();
  EXPECT_FALSE(web_view.navigate(page, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  EXPECT_EQ(web_view.document, "network");

  // A server's own error page is its answer, shown as it is.
  const std::wstring missing = L"http://127.0.0.1:8089/missing.html";
  web_view.http_errors[missing] = 404;
  EXPECT_FALSE(web_view.navigate(missing)->cancel);
  MainThread::pump();
  EXPECT_EQ(web_view.document_uri, missing);
  EXPECT_EQ(web_view.document, "network");

  // Cancelled on purpose: one the next navigation replaced, one the host
  // refused; neither shows a page.
  const size_t loads = web_view.navigations.size();
  auto replaced = com::make<FakeStartingArgs>();
  replaced->uri = L"http://127.0.0.1:8089/slow.html";
  replaced->id = ++web_view.last_id;
  web_view.on_starting->Invoke(&web_view, replaced.Get());
  EXPECT_FALSE(replaced->cancel);
  web_view.complete(replaced->id, FALSE, COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
  auto refused = com::make<FakeStartingArgs>();
  refused->uri = L"https://example.com/";
  refused->id = ++web_view.last_id;
  web_view.on_starting->Invoke(&web_view, refused.Get());
  EXPECT_TRUE(refused->cancel);
  web_view.complete(refused->id, FALSE, COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED);
  MainThread::pump();
  EXPECT_EQ(web_view.navigations.size(), loads);
  EXPECT_EQ(web_view.document_uri, missing);
}

}  // namespace
}  // namespace vorbek
