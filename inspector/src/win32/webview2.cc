// The web view on the Microsoft Edge WebView2 runtime: the environment
// through the loader, the controller in a child of the window, the settings
// the user sees, the frontend served under http://devtools.*, downloads
// without a prompt, and the transport between the page, the engine and
// FrontendHost (web messages, the navigation and new-window decisions, the
// page's process failing, a load failing). Every callback of the engine
// arrives as a window message on the main thread.
#include "win32/webview2_sdk.h"  // windows.h first: commctrl.h builds on it

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ascii.h"
#include "frontend_host.h"
#include "page_scripts.h"
#include "scheme_handler.h"
#include "url_rewrite.h"
#include "utf8.h"
#include "webview.h"
#include "win32/webview2_host.h"
#include "win32/text.h"

namespace vorbek {

using com::ComPtr;

// A page of the host's own (crash, failed load), served once as the
// answer to the document request for its address, so that the page has
// that address and a reload asks for it again.
struct HostPage {
  std::string address;  // without its fragment, as the engine requests it
  std::shared_ptr<const std::string> html;
  // Our filter for an address outside the frontend origin, while it waits.
  std::optional<std::wstring> filter;
  std::optional<UINT64> navigation;  // its navigation, once started
};

struct StartedNavigation {
  std::string uri;
  bool refused = false;  // by the host, which refused it or took it over
};

struct WebView {
  WebView() = default;
  WebView(const WebView&) = delete;
  WebView& operator=(const WebView&) = delete;
  ~WebView();

  HWND window = nullptr;     // the inspector window, subclassed while `subclassed`
  HWND container = nullptr;  // our child of `window`, the controller's parent
  bool subclassed = false;
  std::string id;            // what serve_frontend_request is told
  ComPtr<ICoreWebView2Environment> environment;
  ComPtr<ICoreWebView2Controller> controller;
  ComPtr<ICoreWebView2_22> core;
  std::unique_ptr<HostBackend> host_backend;
  std::unique_ptr<FrontendHost> host;  // uses host_backend

  // The engine counts a navigation started through its API as the user's;
  // the host's own is told apart by its address, until it starts.
  std::optional<std::string> own_navigation;
  HRESULT navigate_result = S_OK;  // of the host's last navigation
  std::optional<HostPage> host_page;
  // Top-level navigations under way, with their addresses: the completion
  // names none.
  std::map<UINT64, StartedNavigation> navigations;

  std::optional<EventRegistrationToken> resource_token;
  std::optional<EventRegistrationToken> download_token;
  std::optional<EventRegistrationToken> message_token;
  std::optional<EventRegistrationToken> starting_token;
  std::optional<EventRegistrationToken> completed_token;
  std::optional<EventRegistrationToken> new_window_token;
  std::optional<EventRegistrationToken> process_token;
};

void WebViewDelete::operator()(WebView* view) const { delete view; }

namespace {

constexpr wchar_t CONTAINER_CLASS[] = L"vorbek_webview_container";
constexpr UINT_PTR SUBCLASS_ID = 1;


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
// straight from the embedded table, never copied; a page of the host's own
// is kept alive by `owner`. Agile, with the free-threaded marshaler, because
// the engine reads it on a thread of its own; each stream has its own
// position.
class StaticBytesStream final
    : public com::Object<com::Answers<IStream, ISequentialStream, IAgileObject>, IStream,
                         IAgileObject> {
 public:
  explicit StaticBytesStream(std::span<const std::uint8_t> bytes,
                             std::shared_ptr<const void> owner = {})
      : bytes_(bytes), owner_(std::move(owner)) {
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
    auto copy = com::make<StaticBytesStream>(bytes_, owner_);
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
  std::shared_ptr<const void> owner_;
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
               ICoreWebView2WebResourceRequestedEventArgs* args, const HttpResponse& response,
               std::shared_ptr<const void> body_owner = {}) {
  std::string headers;
  for (const auto& [name, value] : response.headers) {
    if (!headers.empty()) headers += "\r\n";
    headers += name + ": " + value;
  }
  ComPtr<IStream> body;
  if (!response.body.empty()) {
    body = com::make<StaticBytesStream>(response.body, std::move(body_owner));
  }
  const std::wstring reason = win32::widen(reason_phrase(response.status));
  const std::wstring header_lines = win32::widen(headers);
  ComPtr<ICoreWebView2WebResourceResponse> reply;
  HRESULT result = environment->CreateWebResourceResponse(
      body.Get(), response.status, reason.c_str(), header_lines.c_str(), reply.GetAddressOf());
  if (FAILED(result)) return result;
  return args->put_Response(reply.Get());
}

std::string_view without_fragment(std::string_view uri) { return uri.substr(0, uri.find('#')); }

void drop_host_page(WebView& view) {
  if (!view.host_page) return;
  if (view.host_page->filter && view.core) {
    view.core->RemoveWebResourceRequestedFilterWithRequestSourceKinds(
        view.host_page->filter->c_str(), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT,
        COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_DOCUMENT);
  }
  view.host_page.reset();
}

bool is_host_page_request(const WebView& view, ICoreWebView2WebResourceRequestedEventArgs* args,
                          std::string_view uri) {
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT context{};
  return view.host_page && SUCCEEDED(args->get_ResourceContext(&context)) &&
         context == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT &&
         without_fragment(uri) == view.host_page->address;
}

HRESULT on_resource_requested(WebView& view, ICoreWebView2WebResourceRequestedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  ComPtr<ICoreWebView2WebResourceRequest> request;
  std::optional<HttpRequest> converted;
  if (SUCCEEDED(args->get_Request(request.GetAddressOf())) && request) {
    converted = read_request(request.Get());
  }
  if (!converted) return answer(view.environment.Get(), args, HttpResponse{400, {}, {}});
  if (is_host_page_request(view, args, converted->uri)) {
    // Once: a reload asks the address itself again.
    std::shared_ptr<const std::string> html = view.host_page->html;
    drop_host_page(view);
    const std::span<const std::uint8_t> body(reinterpret_cast<const std::uint8_t*>(html->data()),
                                             html->size());
    return answer(view.environment.Get(), args,
                  HttpResponse{200,
                               {{"content-type", "text/html; charset=utf-8"},
                                {"cache-control", "no-store"}},
                               body},
                  html);
  }
  // Only a host page's own filter lets anything else through.
  if (!starts_with_ignoring_ascii_case(converted->uri, FRONTEND_ORIGIN_PREFIX)) return S_OK;
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

// Tasks from other threads reach the main thread as this message to the
// container, which is a window of our own class.
constexpr UINT TASK_MESSAGE = WM_APP + 1;
using Task = std::function<void()>;

LRESULT CALLBACK container_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == TASK_MESSAGE) {
    std::unique_ptr<Task> task(reinterpret_cast<Task*>(lparam));
    if (task && *task) (*task)();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Tasks still queued when the web view goes; the host they were for is gone.
void drop_tasks(HWND container) {
  MSG message;
  while (PeekMessageW(&message, container, TASK_MESSAGE, TASK_MESSAGE, PM_REMOVE)) {
    std::unique_ptr<Task>(reinterpret_cast<Task*>(message.lParam));
  }
}

// The user's browser, as the shell opens a web address: synchronously, so a
// failure is ours to report, and without the shell's own error box.
Status open_with_shell(const std::string& uri) {
  const std::wstring target = win32::widen(uri);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = target.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return win32::os_error(GetLastError());
  return {};
}

struct GlobalFreeDelete {
  void operator()(void* memory) const { GlobalFree(memory); }
};

// The host's toolkit half on Win32 and WebView2.
class WebView2HostBackend final : public HostBackend {
 public:
  WebView2HostBackend(WebView& view, webview2::OpenInBrowser open)
      : view_(view), open_(std::move(open)) {}

  std::string engine_address(std::string_view frontend_url) const override {
    return http_frontend_url_for(frontend_url);
  }
  void load(const std::string& address) override {
    drop_host_page(view_);
    navigate(address);
  }
  // Served as the document at `address` (on_resource_requested), not as a
  // string: a page from NavigateToString has no address of its own to
  // reload, and the frontend's bridge would not run on it.
  void show_html(const std::string& html, const std::string& address) override {
    drop_host_page(view_);
    HostPage page{std::string(without_fragment(address)),
                  std::make_shared<const std::string>(html), std::nullopt, std::nullopt};
    // The frontend origin is filtered already; any other address gets a
    // filter of its own until the page is served.
    if (!starts_with_ignoring_ascii_case(page.address, FRONTEND_ORIGIN_PREFIX)) {
      std::wstring filter = win32::widen(page.address);
      if (SUCCEEDED(view_.core->AddWebResourceRequestedFilterWithRequestSourceKinds(
              filter.c_str(), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT,
              COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_DOCUMENT))) {
        page.filter = std::move(filter);
      }
    }
    view_.host_page = std::move(page);
    navigate(address);
  }
  void copy_text(const std::string& text) override {
    const std::wstring wide = win32::widen(text);
    const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    std::unique_ptr<void, GlobalFreeDelete> memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return;
    void* at = GlobalLock(memory.get());
    if (!at) return;
    memcpy(at, wide.c_str(), bytes);
    GlobalUnlock(memory.get());
    if (!OpenClipboard(view_.container)) return;
    // The clipboard owns the memory once it has taken it.
    if (EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory.get())) memory.release();
    CloseClipboard();
  }
  Status open_in_browser(const std::string& uri) override { return open_(uri); }
  // PostMessage is safe from any thread and wakes the message loop.
  void post_to_main(std::function<void()> task) override {
    auto owned = std::make_unique<Task>(std::move(task));
    if (PostMessageW(view_.container, TASK_MESSAGE, 0, reinterpret_cast<LPARAM>(owned.get()))) {
      owned.release();
    }
  }

 private:
  void navigate(const std::string& address) {
    view_.own_navigation = address;
    view_.navigate_result = view_.core->Navigate(win32::widen(address).c_str());
    if (SUCCEEDED(view_.navigate_result)) return;
    view_.own_navigation.reset();
    // Said later, from the loop: the host is in the middle of a call.
    post_to_main([&view = view_, address, result = view_.navigate_result] {
      view.host->load_failed({address, hresult_error(result).outermost(), false});
    });
  }

  WebView& view_;
  webview2::OpenInBrowser open_;
};

// The page's requests arrive as web messages, as text; each answer goes
// back as one.
HRESULT on_web_message(WebView& view, ICoreWebView2WebMessageReceivedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  com::TaskString source, message;
  if (FAILED(args->get_Source(source.out())) ||
      FAILED(args->TryGetWebMessageAsString(message.out()))) {
    return S_OK;  // not text: no request of the bridge's
  }
  auto page = utf8(source.get());
  auto text = utf8(message.get());
  if (!page || !text) return S_OK;
  ICoreWebView2* core = view.core.Get();
  view.host->handle_posted_message(*page, *text, [core](std::string answer) {
    core->PostWebMessageAsString(win32::widen(answer).c_str());
  });
  return S_OK;
}

NavigationKind navigation_kind(ICoreWebView2NavigationStartingEventArgs* args) {
  // Where a server sends a navigation is no choice of the user's.
  BOOL redirected = FALSE;
  if (SUCCEEDED(args->get_IsRedirected(&redirected)) && redirected) return NavigationKind::Other;
  // Older runtimes do not say; a reload is then a user navigation all the same.
  if (auto v3 = com::query<ICoreWebView2NavigationStartingEventArgs3>(args)) {
    COREWEBVIEW2_NAVIGATION_KIND kind{};
    if (SUCCEEDED(v3->get_NavigationKind(&kind))) {
      if (kind == COREWEBVIEW2_NAVIGATION_KIND_RELOAD) return NavigationKind::Reload;
      if (kind == COREWEBVIEW2_NAVIGATION_KIND_BACK_OR_FORWARD) return NavigationKind::BackForward;
    }
  }
  BOOL user = FALSE;
  if (SUCCEEDED(args->get_IsUserInitiated(&user)) && user) return NavigationKind::LinkClicked;
  return NavigationKind::Other;
}

// Navigations whose completion never came would pile up; the oldest go.
void remember(std::map<UINT64, StartedNavigation>& navigations, UINT64 id,
              StartedNavigation navigation) {
  constexpr std::size_t MAX_REMEMBERED = 64;
  navigations[id] = std::move(navigation);
  while (navigations.size() > MAX_REMEMBERED) navigations.erase(navigations.begin());
}

HRESULT on_navigation_starting(WebView& view, ICoreWebView2NavigationStartingEventArgs* args) {
  if (!args) return E_INVALIDARG;
  com::TaskString uri_text;
  UINT64 id = 0;
  std::optional<std::string> uri;
  if (SUCCEEDED(args->get_Uri(uri_text.out())) && SUCCEEDED(args->get_NavigationId(&id))) {
    uri = utf8(uri_text.get());
  }
  // What the host cannot judge does not happen.
  if (!uri) return args->put_Cancel(TRUE);
  NavigationKind kind = NavigationKind::Other;
  if (view.own_navigation && equals_ignoring_ascii_case(*uri, *view.own_navigation)) {
    view.own_navigation.reset();
    if (view.host_page && without_fragment(*uri) == view.host_page->address) {
      view.host_page->navigation = id;
    }
  } else {
    kind = navigation_kind(args);
  }
  const bool allowed = view.host->allow_navigation({*uri, kind, false});
  remember(view.navigations, id, {*uri, !allowed});
  return allowed ? S_OK : args->put_Cancel(TRUE);
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

HRESULT on_navigation_completed(WebView& view, ICoreWebView2NavigationCompletedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  UINT64 id = 0;
  BOOL success = FALSE;
  if (FAILED(args->get_NavigationId(&id)) || FAILED(args->get_IsSuccess(&success))) return S_OK;
  if (view.host_page && view.host_page->navigation == id) drop_host_page(view);
  auto found = view.navigations.find(id);
  if (found == view.navigations.end()) return S_OK;  // none the host was asked about
  const StartedNavigation navigation = std::move(found->second);
  view.navigations.erase(found);
  if (success) return S_OK;
  // The server answered: its own page shows, as in any browser.
  if (auto v2 = com::query<ICoreWebView2NavigationCompletedEventArgs2>(args)) {
    int http_status = 0;
    if (SUCCEEDED(v2->get_HttpStatusCode(&http_status)) && http_status != 0) return S_OK;
  }
  COREWEBVIEW2_WEB_ERROR_STATUS status = COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN;
  args->get_WebErrorStatus(&status);
  // Cancelled on purpose: a navigation the host refused or took over, or
  // one that the next navigation replaced.
  const bool on_purpose =
      navigation.refused || status == COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED;
  view.host->load_failed({navigation.uri, web_error_text(status), on_purpose});
  return S_OK;
}

// window.open and links with a target: the host decides; the page never
// gets a window of ours.
HRESULT on_new_window(WebView& view, ICoreWebView2NewWindowRequestedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  com::TaskString uri_text;
  if (SUCCEEDED(args->get_Uri(uri_text.out()))) {
    if (auto uri = utf8(uri_text.get())) {
      view.host->allow_navigation({*uri, NavigationKind::Other, true});
    }
  }
  return args->put_Handled(TRUE);
}

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

std::string process_failure_text(ICoreWebView2ProcessFailedEventArgs* args, bool unresponsive) {
  if (unresponsive) return "the web process stopped responding";
  auto v2 = com::query<ICoreWebView2ProcessFailedEventArgs2>(args);
  COREWEBVIEW2_PROCESS_FAILED_REASON reason{};
  if (!v2 || FAILED(v2->get_Reason(&reason))) return "the web process ended";
  std::string text = process_exit_text(reason);
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

HRESULT on_process_failed(WebView& view, ICoreWebView2ProcessFailedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  COREWEBVIEW2_PROCESS_FAILED_KIND kind{};
  if (FAILED(args->get_ProcessFailedKind(&kind))) return S_OK;
  // Only the page's own process: a frame's or a helper's leaves the page
  // working, and after the browser process there is no engine left to
  // show a page in.
  if (kind != COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED &&
      kind != COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE) {
    return S_OK;
  }
  view.host->page_process_ended(process_failure_text(
      args, kind == COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE));
  return S_OK;
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
  klass.lpfnWndProc = container_procedure;
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
      // The frontend's requests to its host travel as web messages.
      {settings->put_IsWebMessageEnabled(TRUE), "cannot enable the page's messages"},
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

// Registers `function` as the handler of one of the engine's events through
// `add`, and keeps the token for the web view's end.
template <typename Handler, typename Core, typename Owner, typename Function>
Status listen(Core* core, HRESULT (STDMETHODCALLTYPE Owner::*add)(Handler*, EventRegistrationToken*),
              Function function, std::optional<EventRegistrationToken>& slot, const char* what) {
  auto handler = com::handler<Handler>(std::move(function));
  EventRegistrationToken token{};
  if (auto added = check((core->*add)(handler.Get(), &token), what); !added) return added;
  slot = token;
  return {};
}

// The frontend's bridge to its host, in every document created from now
// on; it checks its own origin. Waited for, so it is in place for the
// first page.
Status add_host_script(ICoreWebView2* core) {
  struct Added {
    bool done = false;
    HRESULT result = E_FAIL;
  };
  auto added = std::make_shared<Added>();
  auto handler = com::handler<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>(
      [added](HRESULT result, LPCWSTR) -> HRESULT {
        added->done = true;
        added->result = result;
        return S_OK;
      });
  const std::wstring script = win32::widen(FRONTEND_HOST_SCRIPT);
  if (auto started = check(core->AddScriptToExecuteOnDocumentCreated(script.c_str(), handler.Get()),
                           "cannot add the frontend's host script");
      !started) {
    return started;
  }
  if (auto waited = wait_for(added->done); !waited) return waited;
  return check(added->result, "cannot add the frontend's host script");
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
  ICoreWebView2_22* core = view.core.Get();
  const Status steps[] = {
      listen(core, &ICoreWebView2::add_WebResourceRequested,
             [target](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
               return on_resource_requested(*target, args);
             },
             view.resource_token, "cannot register the frontend's request handler"),
      listen(core, &ICoreWebView2_4::add_DownloadStarting,
             [](ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs* args) {
               return on_download_starting(args);
             },
             view.download_token, "cannot register the download handler"),
      // The frontend's host: its requests, the navigations it decides, and
      // what the engine reports of the page's process and its loads.
      listen(core, &ICoreWebView2::add_WebMessageReceived,
             [target](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
               return on_web_message(*target, args);
             },
             view.message_token, "cannot register the page's message handler"),
      listen(core, &ICoreWebView2::add_NavigationStarting,
             [target](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
               return on_navigation_starting(*target, args);
             },
             view.starting_token, "cannot register the navigation handler"),
      listen(core, &ICoreWebView2::add_NewWindowRequested,
             [target](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
               return on_new_window(*target, args);
             },
             view.new_window_token, "cannot register the new-window handler"),
      listen(core, &ICoreWebView2::add_ProcessFailed,
             [target](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) {
               return on_process_failed(*target, args);
             },
             view.process_token, "cannot register the process-failure handler"),
      listen(core, &ICoreWebView2::add_NavigationCompleted,
             [target](ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs* args) {
               return on_navigation_completed(*target, args);
             },
             view.completed_token, "cannot register the page-load handler"),
  };
  for (const Status& step : steps) {
    if (!step) return step;
  }
  // Only a window opened on the frontend origin shows the embedded frontend;
  // a frontend from elsewhere runs as it was written.
  if (starts_with_ignoring_ascii_case(view.host->frontend_address(), FRONTEND_ORIGIN_PREFIX)) {
    return add_host_script(core);
  }
  return {};
}

}  // namespace

WebView::~WebView() {
  // The host first: it waits for a discovery still running, and what that
  // posted is dropped with the container below.
  host.reset();
  if (subclassed) RemoveWindowSubclass(window, follow_window, SUBCLASS_ID);
  if (core) {
    if (resource_token) core->remove_WebResourceRequested(*resource_token);
    if (download_token) core->remove_DownloadStarting(*download_token);
    if (message_token) core->remove_WebMessageReceived(*message_token);
    if (starting_token) core->remove_NavigationStarting(*starting_token);
    if (completed_token) core->remove_NavigationCompleted(*completed_token);
    if (new_window_token) core->remove_NewWindowRequested(*new_window_token);
    if (process_token) core->remove_ProcessFailed(*process_token);
    drop_host_page(*this);
  }
  if (controller) controller->Close();
  if (container) {
    drop_tasks(container);
    DestroyWindow(container);
  }
}

namespace webview2 {

Result<WebViewPtr> create_webview(HWND window, const std::string& inspector_address,
                                  const FrontendUrl& frontend, const Dependencies& outside) {
  WebViewPtr view(new WebView);
  view->window = window;

  auto container = make_container(window);
  if (!container) return std::move(container).error().wrap("cannot create the web view's window");
  view->container = *container;
  view->id = std::to_string(reinterpret_cast<std::uintptr_t>(view->container));

  auto environment = create_environment(outside.create_environment);
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

  view->host_backend = std::make_unique<WebView2HostBackend>(
      *view, outside.open_in_browser ? outside.open_in_browser : open_with_shell);
  view->host = std::make_unique<FrontendHost>(*view->host_backend, inspector_address, frontend,
                                              outside.discover);

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

  view->host->start();
  if (auto navigated = check(view->navigate_result, "cannot navigate to the frontend URL");
      !navigated) {
    return std::move(navigated).error();
  }
  return view;
}

}  // namespace webview2

Result<WebViewPtr> create_webview(NativeWindow* window, const std::string& inspector_address,
                                  const FrontendUrl& frontend) {
  return webview2::create_webview(reinterpret_cast<HWND>(window), inspector_address, frontend,
                                  {CreateCoreWebView2EnvironmentWithOptions, {}, {}});
}

}  // namespace vorbek
