// The web view on the Microsoft Edge WebView2 runtime: the environment
// through the loader, the controller in a child of the window, the settings
// the user sees, the frontend served under http://devtools.*, downloads
// without a prompt and the first navigation. Every callback of the engine
// arrives as a window message on the main thread.
#include "webview2_sdk.h"  // windows.h first: commctrl.h builds on it

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "scheme_handler.h"
#include "url_rewrite.h"
#include "utf8.h"
#include "webview.h"
#include "webview2_host.h"
#include "win32_text.h"

namespace vorbek {

using com::ComPtr;

struct WebView {
  WebView() = default;
  WebView(const WebView&) = delete;
  WebView& operator=(const WebView&) = delete;
  ~WebView();

  HWND window = nullptr;     // the inspector window, subclassed while `subclassed`
  HWND container = nullptr;  // our child of `window`, the controller's parent
  bool subclassed = false;
  std::string frontend_url;  // as navigated to
  std::string id;            // what serve_frontend_request is told
  ComPtr<ICoreWebView2Environment> environment;
  ComPtr<ICoreWebView2Controller> controller;
  ComPtr<ICoreWebView2_22> core;
  std::optional<EventRegistrationToken> resource_token;
  std::optional<EventRegistrationToken> download_token;
};

void WebViewDelete::operator()(WebView* view) const { delete view; }

namespace {

constexpr wchar_t CONTAINER_CLASS[] = L"vorbek_webview_container";
constexpr UINT_PTR SUBCLASS_ID = 1;

// The frontend origin: scheme http, first host label devtools, any rest.
constexpr wchar_t FRONTEND_FILTER[] = L"http://devtools.*";

// Edge's own pop-up UI, PDF pop-ups and SmartScreen have no place in a
// debugger window; media may start without a user gesture.
constexpr wchar_t BROWSER_ARGUMENTS[] =
    L"--disable-features=msWebOOUI,msPdfOOUI,msSmartScreenProtection "
    L"--autoplay-policy=no-user-gesture-required";

// The runtime version the SDK was made for (its WebView2EnvironmentOptions.h,
// which needs WRL, states it; the build reads it from there).
constexpr wchar_t TARGET_BROWSER_VERSION[] = VORBEK_WEBVIEW2_TARGET_VERSION;

// A failure code of the engine or the system as an error value: the
// system's text, and the Win32 code where the HRESULT wraps one.
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

template <typename Interface>
Result<ComPtr<Interface>> require(IUnknown* object, const char* name) {
  ComPtr<Interface> out = com::query<Interface>(object);
  if (!out) {
    return Error(std::string("the WebView2 runtime has no ") + name +
                 "; it is older than this program needs");
  }
  return out;
}

// The options the loader reads when it makes the environment. The SDK's own
// class needs WRL's implements.h, which mingw-w64 lacks.
class EnvironmentOptions final
    : public com::Object<com::Answers<ICoreWebView2EnvironmentOptions>,
                         ICoreWebView2EnvironmentOptions> {
 public:
  explicit EnvironmentOptions(std::wstring language) : language_(std::move(language)) {}

  HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) override {
    return com::task_copy(arguments_.c_str(), value);
  }
  HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) override {
    arguments_ = value ? value : L"";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) override {
    return com::task_copy(language_.c_str(), value);
  }
  HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR value) override {
    language_ = value ? value : L"";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) override {
    return com::task_copy(target_version_.c_str(), value);
  }
  HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR value) override {
    target_version_ = value ? value : L"";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* value) override {
    if (!value) return E_POINTER;
    *value = single_sign_on_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL value) override {
    single_sign_on_ = value;
    return S_OK;
  }

 private:
  std::wstring arguments_ = BROWSER_ARGUMENTS;
  std::wstring language_;
  std::wstring target_version_ = TARGET_BROWSER_VERSION;
  BOOL single_sign_on_ = FALSE;
};

// The user's default user-interface language as a locale name ("de-AT");
// empty, the engine's own choice, where the system names none.
std::wstring user_interface_language() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  const LCID lcid = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
  if (LCIDToLocaleName(lcid, name, LOCALE_NAME_MAX_LENGTH, 0) == 0) return {};
  return name;
}

// A read-only stream over bytes that outlive it: the response body is read
// straight from the embedded table, never copied. Agile, with the
// free-threaded marshaler, because the engine reads it on a thread of its
// own; each stream has its own position.
class StaticBytesStream final
    : public com::Object<com::Answers<IStream, ISequentialStream, IAgileObject>, IStream,
                         IAgileObject> {
 public:
  explicit StaticBytesStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {
    CoCreateFreeThreadedMarshaler(static_cast<IStream*>(this), marshaler_.GetAddressOf());
  }

  HRESULT STDMETHODCALLTYPE Read(void* out, ULONG size, ULONG* read) override {
    if (!out) return STG_E_INVALIDPOINTER;
    const std::uint64_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const ULONG n = static_cast<ULONG>(std::min<std::uint64_t>(size, left));
    if (n > 0) memcpy(out, bytes_.data() + position_, n);
    position_ += n;
    if (read) *read = n;
    return n == size ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* new_position) override {
    std::int64_t base = 0;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<std::int64_t>(position_); break;
      case STREAM_SEEK_END: base = static_cast<std::int64_t>(bytes_.size()); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const std::int64_t target = base + move.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<std::uint64_t>(target);
    if (new_position) new_position->QuadPart = position_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                   ULARGE_INTEGER* written) override {
    if (!target) return STG_E_INVALIDPOINTER;
    const std::uint64_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    std::uint64_t n = std::min<std::uint64_t>(size.QuadPart, left);
    std::uint64_t done = 0;
    while (done < n) {
      const ULONG chunk = static_cast<ULONG>(std::min<std::uint64_t>(n - done, 1u << 30));
      ULONG wrote = 0;
      const HRESULT result = target->Write(bytes_.data() + position_ + done, chunk, &wrote);
      done += wrote;
      if (FAILED(result) || wrote < chunk) break;
    }
    position_ += done;
    if (read) read->QuadPart = done;
    if (written) written->QuadPart = done;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes_.size();
    stat->grfMode = STGM_READ;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** out) override {
    if (!out) return STG_E_INVALIDPOINTER;
    auto copy = com::make<StaticBytesStream>(bytes_);
    copy->position_ = position_;
    *out = copy.Detach();
    return S_OK;
  }

 private:
  HRESULT query_more(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IMarshal) && marshaler_) return marshaler_->QueryInterface(iid, out);
    return E_NOINTERFACE;
  }

  std::span<const std::uint8_t> bytes_;
  std::uint64_t position_ = 0;
  // Aggregated: its IUnknown is the inner one, owned here.
  ComPtr<IUnknown> marshaler_;
};

// Engine text as UTF-8; nothing for text that has no UTF-8 form.
std::optional<std::string> utf8(const wchar_t* text) {
  std::string out = win32::narrow(text ? text : L"");
  if (!is_valid_utf8(out)) return std::nullopt;
  return out;
}

std::optional<std::vector<std::uint8_t>> read_stream(IStream* stream) {
  std::vector<std::uint8_t> body;
  if (!stream) return body;
  std::uint8_t chunk[16384];
  for (;;) {
    ULONG n = 0;
    const HRESULT result = stream->Read(chunk, sizeof chunk, &n);
    if (FAILED(result)) return std::nullopt;
    body.insert(body.end(), chunk, chunk + n);
    if (result == S_FALSE || n == 0) return body;
  }
}

// The engine's request as the scheme handler takes it; nothing when any
// part cannot be read.
std::optional<HttpRequest> read_request(ICoreWebView2WebResourceRequest* request) {
  HttpRequest out;
  com::TaskString uri, method;
  if (FAILED(request->get_Uri(uri.out())) || FAILED(request->get_Method(method.out()))) {
    return std::nullopt;
  }
  auto uri_text = utf8(uri.get());
  auto method_text = utf8(method.get());
  if (!uri_text || !method_text) return std::nullopt;
  out.uri = std::move(*uri_text);
  out.method = method_text->empty() ? "GET" : std::move(*method_text);
  out.version = "HTTP/1.1";  // the engine does not say; its requests are 1.1

  ComPtr<ICoreWebView2HttpRequestHeaders> headers;
  ComPtr<ICoreWebView2HttpHeadersCollectionIterator> iterator;
  if (FAILED(request->get_Headers(headers.GetAddressOf())) || !headers ||
      FAILED(headers->GetIterator(iterator.GetAddressOf())) || !iterator) {
    return std::nullopt;
  }
  BOOL has_header = FALSE;
  if (FAILED(iterator->get_HasCurrentHeader(&has_header))) return std::nullopt;
  while (has_header) {
    com::TaskString name, value;
    if (FAILED(iterator->GetCurrentHeader(name.out(), value.out()))) return std::nullopt;
    auto name_text = utf8(name.get());
    auto value_text = utf8(value.get());
    if (!name_text || !value_text) return std::nullopt;
    out.headers.emplace_back(std::move(*name_text), std::move(*value_text));
    if (FAILED(iterator->MoveNext(&has_header))) return std::nullopt;
  }

  ComPtr<IStream> content;
  if (FAILED(request->get_Content(content.GetAddressOf()))) return std::nullopt;
  auto body = read_stream(content.Get());
  if (!body) return std::nullopt;
  out.body = std::move(*body);
  return out;
}

HRESULT answer(ICoreWebView2Environment* environment,
               ICoreWebView2WebResourceRequestedEventArgs* args, const HttpResponse& response) {
  std::string headers;
  for (const auto& [name, value] : response.headers) {
    if (!headers.empty()) headers += "\r\n";
    headers += name + ": " + value;
  }
  ComPtr<IStream> body;
  if (!response.body.empty()) body = com::make<StaticBytesStream>(response.body);
  const std::wstring reason = win32::widen(reason_phrase(response.status));
  const std::wstring header_lines = win32::widen(headers);
  ComPtr<ICoreWebView2WebResourceResponse> reply;
  HRESULT result = environment->CreateWebResourceResponse(
      body.Get(), response.status, reason.c_str(), header_lines.c_str(), reply.GetAddressOf());
  if (FAILED(result)) return result;
  return args->put_Response(reply.Get());
}

HRESULT on_resource_requested(WebView& view, ICoreWebView2WebResourceRequestedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  ComPtr<ICoreWebView2WebResourceRequest> request;
  std::optional<HttpRequest> converted;
  if (SUCCEEDED(args->get_Request(request.GetAddressOf())) && request) {
    converted = read_request(request.Get());
  }
  if (!converted) return answer(view.environment.Get(), args, HttpResponse{400, {}, {}});
  HRESULT result = S_OK;
  serve_frontend_request(view.id, std::move(*converted), [&](HttpResponse response) {
    result = answer(view.environment.Get(), args, response);
  });
  return result;
}

// Saved where the engine proposes, with no prompt.
HRESULT on_download_starting(ICoreWebView2DownloadStartingEventArgs* args) {
  if (!args) return E_INVALIDARG;
  com::TaskString path;
  HRESULT result = args->get_ResultFilePath(path.out());
  if (SUCCEEDED(result)) result = args->put_ResultFilePath(path.get());
  if (SUCCEEDED(result)) result = args->put_Handled(TRUE);
  return result;
}

void fit_to_window(const WebView& view) {
  RECT client{};
  GetClientRect(view.window, &client);
  SetWindowPos(view.container, nullptr, 0, 0, client.right - client.left,
               client.bottom - client.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (view.controller) view.controller->put_Bounds(client);
}

void focus(const WebView& view) {
  if (view.controller) view.controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
}

// Keeps the web view in step with the window, beside the window's own
// procedure.
LRESULT CALLBACK follow_window(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                               UINT_PTR id, DWORD_PTR data) {
  auto& view = *reinterpret_cast<WebView*>(data);
  switch (message) {
    case WM_SIZE:
      if (wparam != SIZE_MINIMIZED) fit_to_window(view);
      break;
    case WM_MOVE:
    case WM_MOVING:
      if (view.controller) view.controller->NotifyParentWindowPositionChanged();
      break;
    case WM_SETFOCUS:
    case WM_ENTERSIZEMOVE:
      focus(view);
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, follow_window, id);
      view.subclassed = false;
      break;
    default:
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

Result<HWND> make_container(HWND window) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW klass{};
  klass.cbSize = sizeof klass;
  klass.lpfnWndProc = DefWindowProcW;
  klass.hInstance = instance;
  klass.lpszClassName = CONTAINER_CLASS;
  if (!RegisterClassExW(&klass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return win32::os_error(GetLastError());
  }
  RECT client{};
  GetClientRect(window, &client);
  HWND container = CreateWindowExW(0, CONTAINER_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                   0, 0, client.right - client.left, client.bottom - client.top,
                                   window, nullptr, instance, nullptr);
  if (!container) return win32::os_error(GetLastError());
  return container;
}

// The engine completes its start-up steps later, through window messages;
// until `done`, this thread's messages are dispatched here.
Status wait_for(const bool& done) {
  MSG message;
  while (!done) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) return win32::os_error(GetLastError());
    if (got == 0) {
      // Not ours to swallow: the main loop ends on it too.
      PostQuitMessage(static_cast<int>(message.wParam));
      return Error("the message loop was ended before the web view was ready");
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return {};
}

template <typename Interface>
struct Completion {
  bool done = false;
  HRESULT result = E_FAIL;
  ComPtr<Interface> value;
};

Result<ComPtr<ICoreWebView2Environment>> create_environment(
    const webview2::CreateEnvironment& create) {
  auto options = com::make<EnvironmentOptions>(user_interface_language());
  auto completion = std::make_shared<Completion<ICoreWebView2Environment>>();
  auto handler = com::handler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
      [completion](HRESULT result, ICoreWebView2Environment* environment) -> HRESULT {
        completion->done = true;
        completion->result = result;
        completion->value = environment;
        return S_OK;
      });
  // No browser folder: the installed runtime. No user-data folder: the
  // runtime's default location.
  HRESULT result = create(nullptr, nullptr, options.Get(), handler.Get());
  if (FAILED(result)) return hresult_error(result);
  if (auto waited = wait_for(completion->done); !waited) return std::move(waited).error();
  if (FAILED(completion->result)) return hresult_error(completion->result);
  if (!completion->value) return Error("the WebView2 loader gave no environment");
  return completion->value;
}

Result<ComPtr<ICoreWebView2Controller>> create_controller(ICoreWebView2Environment* environment,
                                                          HWND container) {
  auto completion = std::make_shared<Completion<ICoreWebView2Controller>>();
  auto handler = com::handler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
      [completion](HRESULT result, ICoreWebView2Controller* controller) -> HRESULT {
        completion->done = true;
        completion->result = result;
        completion->value = controller;
        return S_OK;
      });
  // The plain creation: not in private mode.
  if (auto started = check(environment->CreateCoreWebView2Controller(container, handler.Get()),
                           "cannot create the WebView2 controller");
      !started) {
    return std::move(started).error();
  }
  if (auto waited = wait_for(completion->done); !waited) return std::move(waited).error();
  if (FAILED(completion->result)) {
    return hresult_error(completion->result).wrap("cannot create the WebView2 controller");
  }
  if (!completion->value) return Error("the WebView2 runtime gave no controller");
  return completion->value;
}

// The settings the user sees, each set explicitly rather than trusted to the
// runtime's defaults.
Status apply_settings(ICoreWebView2* core) {
  ComPtr<ICoreWebView2Settings> settings;
  if (auto got = check(core->get_Settings(settings.GetAddressOf()), "cannot read the settings");
      !got) {
    return got;
  }
  if (!settings) return Error("the WebView2 runtime gave no settings");
  auto v3 = require<ICoreWebView2Settings3>(settings.Get(), "ICoreWebView2Settings3");
  if (!v3) return std::move(v3).error();
  auto v4 = require<ICoreWebView2Settings4>(settings.Get(), "ICoreWebView2Settings4");
  if (!v4) return std::move(v4).error();
  auto v5 = require<ICoreWebView2Settings5>(settings.Get(), "ICoreWebView2Settings5");
  if (!v5) return std::move(v5).error();
  auto v6 = require<ICoreWebView2Settings6>(settings.Get(), "ICoreWebView2Settings6");
  if (!v6) return std::move(v6).error();

  const std::pair<HRESULT, const char*> steps[] = {
      {settings->put_IsScriptEnabled(TRUE), "cannot enable scripts"},
      // No way to inspect the hosting page: no inspect entry, no F12.
      {settings->put_AreDevToolsEnabled(FALSE), "cannot disable the developer tools"},
      {settings->put_IsZoomControlEnabled(FALSE), "cannot disable zooming"},
      {settings->put_IsStatusBarEnabled(FALSE), "cannot disable the status bar"},
      {settings->put_AreDefaultContextMenusEnabled(TRUE), "cannot enable the context menus"},
      {(*v3)->put_AreBrowserAcceleratorKeysEnabled(TRUE), "cannot enable the accelerator keys"},
      {(*v4)->put_IsGeneralAutofillEnabled(TRUE), "cannot enable autofill"},
      {(*v5)->put_IsPinchZoomEnabled(FALSE), "cannot disable pinch zoom"},
      {(*v6)->put_IsSwipeNavigationEnabled(FALSE), "cannot disable swipe navigation"},
  };
  for (const auto& [result, what] : steps) {
    if (auto done = check(result, what); !done) return done;
  }
  return {};
}

Status install_handlers(WebView& view) {
  // Every request under the frontend origin, from documents and workers
  // alike, is answered from memory; the rest goes to the network.
  if (auto added = check(view.core->AddWebResourceRequestedFilterWithRequestSourceKinds(
                             FRONTEND_FILTER, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL,
                             COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL),
                         "cannot register the frontend's resource filter");
      !added) {
    return added;
  }
  WebView* target = &view;
  EventRegistrationToken token{};
  auto on_request = com::handler<ICoreWebView2WebResourceRequestedEventHandler>(
      [target](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
        return on_resource_requested(*target, args);
      });
  if (auto added = check(view.core->add_WebResourceRequested(on_request.Get(), &token),
                         "cannot register the frontend's request handler");
      !added) {
    return added;
  }
  view.resource_token = token;

  auto on_download = com::handler<ICoreWebView2DownloadStartingEventHandler>(
      [](ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs* args) {
        return on_download_starting(args);
      });
  if (auto added = check(view.core->add_DownloadStarting(on_download.Get(), &token),
                         "cannot register the download handler");
      !added) {
    return added;
  }
  view.download_token = token;

  // Page-to-host messages: none yet. The frontend's host facilities
  // (file:// sources, links in the browser, reconnect) are to arrive here:
  // add_WebMessageReceived hands the page's string to the portable host
  // module, and PostWebMessageAsString carries its answer back.
  return {};
}

}  // namespace

WebView::~WebView() {
  if (subclassed) RemoveWindowSubclass(window, follow_window, SUBCLASS_ID);
  if (core && resource_token) core->remove_WebResourceRequested(*resource_token);
  if (core && download_token) core->remove_DownloadStarting(*download_token);
  if (controller) controller->Close();
  if (container) DestroyWindow(container);
}

namespace webview2 {

Result<WebViewPtr> create_webview(HWND window, const std::string& frontend_url,
                                  const CreateEnvironment& create) {
  WebViewPtr view(new WebView);
  view->window = window;
  view->frontend_url = http_frontend_url_for(frontend_url);

  auto container = make_container(window);
  if (!container) return std::move(container).error().wrap("cannot create the web view's window");
  view->container = *container;
  view->id = std::to_string(reinterpret_cast<std::uintptr_t>(view->container));

  auto environment = create_environment(create);
  if (!environment) return std::move(environment).error();
  view->environment = std::move(environment).value();

  auto controller = create_controller(view->environment.Get(), view->container);
  if (!controller) return std::move(controller).error();
  view->controller = std::move(controller).value();

  ComPtr<ICoreWebView2> core;
  if (auto got = check(view->controller->get_CoreWebView2(core.GetAddressOf()),
                       "cannot reach the web view");
      !got || !core) {
    return got ? Error("the WebView2 controller has no web view") : std::move(got).error();
  }
  auto core22 = require<ICoreWebView2_22>(core.Get(), "ICoreWebView2_22");
  if (!core22) return std::move(core22).error();
  view->core = std::move(core22).value();

  if (auto applied = apply_settings(view->core.Get()); !applied) return std::move(applied).error();
  if (auto installed = install_handlers(*view); !installed) return std::move(installed).error();

  if (!SetWindowSubclass(window, follow_window, SUBCLASS_ID,
                         reinterpret_cast<DWORD_PTR>(view.get()))) {
    return Error("cannot follow the window's size and focus");
  }
  view->subclassed = true;
  fit_to_window(*view);
  if (auto shown = check(view->controller->put_IsVisible(TRUE), "cannot show the web view");
      !shown) {
    return std::move(shown).error();
  }
  focus(*view);

  const std::wstring url = win32::widen(view->frontend_url);
  if (auto navigated = check(view->core->Navigate(url.c_str()),
                             "cannot navigate to the frontend URL");
      !navigated) {
    return std::move(navigated).error();
  }
  return view;
}

}  // namespace webview2

Result<WebViewPtr> create_webview(NativeWindow* window, const std::string& frontend_url) {
  return webview2::create_webview(reinterpret_cast<HWND>(window), frontend_url,
                                  CreateCoreWebView2EnvironmentWithOptions);
}

}  // namespace vorbek
