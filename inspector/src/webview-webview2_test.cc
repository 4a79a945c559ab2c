// The WebView2 web view against a stand-in runtime: test doubles of the real
// header's environment, controller, settings, web view and event interfaces,
// built on stubs generated from that header. They check our half of the
// contract with the runtime, not that the runtime works. Needs a display:
// the host window is a real one.
#include "webview2_stubs.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "frontend_assets.h"
#include "webview2_host.h"
#include "win32_text.h"

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
    PostMessageW(window(), WM_APP, 0, 0);
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

class FakeWebView : public Fake<ICoreWebView2_22> {
 public:
  ComPtr<FakeSettings> settings = com::make<FakeSettings>();
  std::vector<Filter> filters;
  std::vector<std::wstring> navigations;
  HRESULT navigate_result = S_OK;
  bool answers_v22 = true;
  ComPtr<ICoreWebView2WebResourceRequestedEventHandler> on_request;
  ComPtr<ICoreWebView2DownloadStartingEventHandler> on_download;
  std::vector<std::string> other_handlers;  // any handler or script besides those two
  std::vector<std::string> removed;

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** out) override {
    *out = settings.Get();
    settings->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    navigations.push_back(text_of(uri));
    return navigate_result;
  }
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
  HRESULT STDMETHODCALLTYPE add_WebResourceRequested(
      ICoreWebView2WebResourceRequestedEventHandler* handler,
      EventRegistrationToken* token) override {
    on_request = handler;
    token->value = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken token) override {
    if (token.value == 1) on_request.Reset();
    removed.push_back("WebResourceRequested");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_DownloadStarting(ICoreWebView2DownloadStartingEventHandler* handler,
                                                 EventRegistrationToken* token) override {
    on_download = handler;
    token->value = 2;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE remove_DownloadStarting(EventRegistrationToken token) override {
    if (token.value == 2) on_download.Reset();
    removed.push_back("DownloadStarting");
    return S_OK;
  }

  // What the table of settings says the program leaves alone.
  HRESULT other(const char* name) {
    other_handlers.push_back(name);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler*, EventRegistrationToken*) override { return other("WebMessageReceived"); }
  HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler*, EventRegistrationToken*) override { return other("NavigationStarting"); }
  HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler*, EventRegistrationToken*) override { return other("NavigationCompleted"); }
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler*, EventRegistrationToken*) override { return other("NewWindowRequested"); }
  HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(ICoreWebView2DocumentTitleChangedEventHandler*, EventRegistrationToken*) override { return other("DocumentTitleChanged"); }
  HRESULT STDMETHODCALLTYPE add_DOMContentLoaded(ICoreWebView2DOMContentLoadedEventHandler*, EventRegistrationToken*) override { return other("DOMContentLoaded"); }
  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(LPCWSTR, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*) override { return other("AddScriptToExecuteOnDocumentCreated"); }
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

std::vector<std::uint8_t> bytes(std::span<const std::uint8_t> span) {
  return {span.begin(), span.end()};
}

LRESULT CALLBACK host_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

constexpr char FRONTEND_URL[] =
    "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/0f2c&experiments=true&v8only=true";

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
    // Nothing of the view stays on the window.
    EXPECT_EQ(children(), std::vector<HWND>{});
    EXPECT_EQ(GetWindowLongPtrW(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(host_procedure));
  }

  Result<WebViewPtr> open(const std::string& url = FRONTEND_URL) {
    return webview2::create_webview(window_, url, loader_.entry());
  }
  void open_ok(const std::string& url = FRONTEND_URL) {
    auto view = open(url);
    ASSERT_TRUE(view) << format_failure_report(view.error());
    view_ = std::move(view).value();
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

TEST_F(StandInRuntime, FrontendFilterAndHandlersBeforeTheOneNavigation) {
  open_ok();
  FakeWebView& web_view = loader_.web_view();
  ASSERT_EQ(web_view.filters.size(), 1u);
  EXPECT_EQ(web_view.filters[0].uri, L"http://devtools.*");
  EXPECT_EQ(web_view.filters[0].context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
  EXPECT_EQ(web_view.filters[0].sources, COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL);
  EXPECT_TRUE(web_view.on_request);
  EXPECT_TRUE(web_view.on_download);
  // No page-to-host messages, navigation filter, new-window, title or load
  // handler, no scripts or host objects of ours.
  EXPECT_EQ(web_view.other_handlers, std::vector<std::string>{});
  EXPECT_EQ(web_view.navigations,
            std::vector<std::wstring>{win32::widen(FRONTEND_URL)});
}

TEST_F(StandInRuntime, CustomSchemeUrlIsLoadedFromTheHttpOrigin) {
  open_ok("devtools://localhost/js_app.html?ws=h:1/x");
  EXPECT_EQ(loader_.web_view().navigations,
            std::vector<std::wstring>{L"http://devtools.localhost/js_app.html?ws=h:1/x"});
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
      {"navigation", [](StandInLoader& l) { l.web_view().navigate_result = E_INVALIDARG; },
       "cannot navigate to the frontend URL", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StandInLoader loader;
    c.arrange(loader);
    auto view = webview2::create_webview(window_, FRONTEND_URL, loader.entry());
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
    EXPECT_FALSE(loader.web_view().on_request);
    EXPECT_FALSE(loader.web_view().on_download);
    const int fitted = controller.bounds_set;
    static int width = 700;
    width += 10;  // a new size each time, or no WM_SIZE would come
    SetWindowPos(window_, nullptr, 0, 0, width, 500, SWP_NOMOVE | SWP_NOZORDER);
    MainThread::pump();
    EXPECT_EQ(controller.bounds_set, fitted);
  }
}

}  // namespace
}  // namespace vorbek
