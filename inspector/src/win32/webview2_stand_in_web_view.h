// The stand-in WebView2 runtime's web view and its controller
// (webview2_stand_in.h).
#pragma once

#include "win32/webview2_stand_in_objects.h"

namespace vorbek {

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
  int lost_navigations = 0;  // so many Navigate calls succeed and never start
  bool answers_v22 = true;
  ComPtr<ICoreWebView2WebResourceRequestedEventHandler> on_request;
  ComPtr<ICoreWebView2DownloadStartingEventHandler> on_download;
  ComPtr<ICoreWebView2WebMessageReceivedEventHandler> on_message;
  ComPtr<ICoreWebView2NavigationStartingEventHandler> on_starting;
  ComPtr<ICoreWebView2NavigationCompletedEventHandler> on_completed;
  ComPtr<ICoreWebView2NewWindowRequestedEventHandler> on_new_window;
  ComPtr<ICoreWebView2ProcessFailedEventHandler> on_process_failed;
  ComPtr<ICoreWebView2PermissionRequestedEventHandler> on_permission;
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
  // A request of the page's, raised once as the engine does: only when a
  // filter matches its address and context; nothing when none does.
  ComPtr<FakeRequestArgs> raise_request(const std::wstring& uri,
                                        COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
    const std::wstring requested = canonical(uri.substr(0, uri.find(L'#')));
    for (const Filter& filter : filters) {
      if ((filter.context != COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL && filter.context != context) ||
          !matches(filter.uri, requested) || !on_request) {
        continue;
      }
      auto args = com::make<FakeRequestArgs>();
      args->request->uri = requested;
      args->context = context;
      on_request->Invoke(this, args.Get());
      return args;
    }
    return nullptr;
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
    if (lost_navigations > 0) {
      --lost_navigations;
      return S_OK;
    }
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
  HRESULT STDMETHODCALLTYPE add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler* h, EventRegistrationToken* t) override { return add(on_permission, h, t, 8); }
  HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken t) override { return remove(on_permission, t, 8, "PermissionRequested"); }
  bool any_handler() const {
    return on_request || on_download || on_message || on_starting || on_completed ||
           on_new_window || on_process_failed || on_permission;
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
  // The runtime's defaults: raw pixels, and the monitor's scale followed.
  COREWEBVIEW2_BOUNDS_MODE bounds_mode = COREWEBVIEW2_BOUNDS_MODE_USE_RAW_PIXELS;
  BOOL detects_scale = TRUE;
  int scale_settings = 0;  // how often either was set

  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** out) override {
    *out = web_view.Get();
    web_view->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_BoundsMode(COREWEBVIEW2_BOUNDS_MODE value) override {
    bounds_mode = value;
    ++scale_settings;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ShouldDetectMonitorScaleChanges(BOOL value) override {
    detects_scale = value;
    ++scale_settings;
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

inline ComPtr<FakeStartingArgs> FakeWebView::navigate(std::wstring uri, COREWEBVIEW2_NAVIGATION_KIND kind,
                                               BOOL user, bool old_runtime) {
  uri = canonical(uri);  // the engine names every address normalised
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

}  // namespace vorbek
