// The web view on the Microsoft Edge WebView2 runtime: the event wiring
// between the runtime and the program. The frontend is served under the
// frontend origin, downloads are saved without a prompt, and the page, the
// engine and FrontendHost talk through web messages, the navigation and
// new-window decisions, the page's process failing and a load failing.
// Every callback of the engine arrives as a window message on the main
// thread.
#include "win32/webview2_sdk.h"  // windows.h first: commctrl.h builds on it

#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "ascii.h"
#include "console.h"
#include "download_name.h"
#include "frontend_host.h"
#include "scheme_handler.h"
#include "url_rewrite.h"
#include "webview.h"
#include "win32/desktop.h"
#include "win32/text.h"
#include "win32/webview2_errors.h"
#include "win32/webview2_host.h"
#include "win32/webview2_http.h"
#include "win32/webview2_navigations.h"
#include "win32/webview2_startup.h"

namespace vorbek {

using com::ComPtr;
using webview2::check;
using webview2::hresult_error;
using webview2::utf8;

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
  ComPtr<ICoreWebView2Environment5> environment5;  // none on older runtimes
  ComPtr<ICoreWebView2Controller> controller;
  ComPtr<ICoreWebView2_4> core;
  ComPtr<ICoreWebView2_22> core22;  // none on older runtimes
  webview2::CreateEnvironment create_environment;  // again after the engine ends
  webview2::Say say;
  std::unique_ptr<HostBackend> host_backend;
  std::unique_ptr<FrontendHost> host;  // uses host_backend

  // Inside NavigationStarting or NewWindowRequested, which hold up the
  // page's navigations until they return.
  bool in_navigation_event = false;
  webview2::NavigationTracker navigations;
  HRESULT navigate_result = S_OK;  // of the host's last navigation

  // The window was asked to close: start-up stops waiting for the runtime.
  bool closing = false;
  // Counts the engines made; a restart asked for by one engine's events is
  // done once, whichever of its two events comes first.
  unsigned engine_number = 0;
  bool restart_posted = false;
  // Engines that ended, one after another, with no user action between.
  int quick_restarts = 0;
  HWND failure_text = nullptr;  // what the window shows when no web view can

  std::optional<EventRegistrationToken> resource_token;
  std::optional<EventRegistrationToken> download_token;
  std::optional<EventRegistrationToken> message_token;
  std::optional<EventRegistrationToken> starting_token;
  std::optional<EventRegistrationToken> completed_token;
  std::optional<EventRegistrationToken> new_window_token;
  std::optional<EventRegistrationToken> process_token;
  std::optional<EventRegistrationToken> permission_token;
  std::optional<EventRegistrationToken> browser_exit_token;
};

void WebViewDelete::operator()(WebView* view) const { delete view; }

namespace {

constexpr UINT_PTR SUBCLASS_ID = 1;

// Runtimes before ICoreWebView2_22 have only the older filter, which covers
// the main frame and its same-origin frames: all of this frontend.
HRESULT add_filter(const WebView& view, const std::wstring& uri,
                   COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
                   COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS sources) {
  if (view.core22) {
    return view.core22->AddWebResourceRequestedFilterWithRequestSourceKinds(uri.c_str(), context,
                                                                            sources);
  }
  return view.core->AddWebResourceRequestedFilter(uri.c_str(), context);
}

void remove_filter(const WebView& view, const std::wstring& uri,
                   COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
                   COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS sources) {
  if (view.core22) {
    view.core22->RemoveWebResourceRequestedFilterWithRequestSourceKinds(uri.c_str(), context,
                                                                        sources);
  } else if (view.core) {
    view.core->RemoveWebResourceRequestedFilter(uri.c_str(), context);
  }
}

void drop_host_page(WebView& view) {
  auto page = view.navigations.take_host_page();
  if (page && page->filter) {
    remove_filter(view, *page->filter, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT,
                  COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_DOCUMENT);
  }
}

bool is_host_page_request(const WebView& view, ICoreWebView2WebResourceRequestedEventArgs* args,
                          std::string_view uri) {
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT context{};
  return view.navigations.is_host_page_address(uri) &&
         SUCCEEDED(args->get_ResourceContext(&context)) &&
         context == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT;
}

// The failure a refused request gets: the page sees an error, and nothing
// goes to the network.
HRESULT refuse(const WebView& view, ICoreWebView2WebResourceRequestedEventArgs* args) {
  return webview2::respond(view.environment.Get(), args, HttpResponse{403, {}, {}});
}

HRESULT on_resource_requested(WebView& view, ICoreWebView2WebResourceRequestedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  ComPtr<ICoreWebView2WebResourceRequest> request;
  std::optional<std::string> uri;
  if (SUCCEEDED(args->get_Request(request.GetAddressOf())) && request) {
    com::TaskString text;
    if (SUCCEEDED(request->get_Uri(text.out()))) uri = utf8(text.get());
  }
  if (!uri) return webview2::respond(view.environment.Get(), args, HttpResponse{400, {}, {}});
  if (is_host_page_request(view, args, *uri)) {
    // Once: a reload asks the address itself again.
    std::shared_ptr<const std::string> html = view.navigations.host_page()->html;
    drop_host_page(view);
    const std::span<const std::uint8_t> body(reinterpret_cast<const std::uint8_t*>(html->data()),
                                             html->size());
    return webview2::respond(view.environment.Get(), args,
                             HttpResponse{200,
                                          {{"content-type", "text/html; charset=utf-8"},
                                           {"cache-control", "no-store"}},
                                          body},
                             html);
  }
  if (!starts_with_ignoring_ascii_case(*uri, FRONTEND_ORIGIN_PREFIX)) {
    // Behind the pages' policy, in case it is ever bypassed; the rest of a
    // frontend the user named goes to the network.
    return view.host->may_request(*uri) ? S_OK : refuse(view, args);
  }
  // Read only here: a request's body that goes to the network stays unread.
  auto converted = webview2::read_request(request.Get());
  if (!converted) return webview2::respond(view.environment.Get(), args, HttpResponse{400, {}, {}});
  // Set in this layer, as on every engine: the handler answers from the
  // table alone.
  const std::string policy = view.host->content_security_policy(converted->uri);
  bool answered = false;
  HRESULT result = S_OK;
  serve_frontend_request(view.id, std::move(*converted), [&](HttpResponse response) {
    answered = true;
    if (!policy.empty()) response.headers.emplace_back("content-security-policy", policy);
    result = webview2::respond(view.environment.Get(), args, response);
  });
  if (answered && SUCCEEDED(result)) return S_OK;
  // Never on to the network: pages of this origin have the host's bridge.
  return webview2::respond(view.environment.Get(), args, HttpResponse{500, {}, {}});
}

// Saved where the engine proposes, with no prompt, unless a file is there:
// the runtime would overwrite it, so the next free numbered name is taken
// instead, and with none free the download is cancelled. The runtime's own
// download list is hidden, so the user is told where the file went.
HRESULT on_download_starting(const WebView& view, ICoreWebView2DownloadStartingEventArgs* args) {
  if (!args) return E_INVALIDARG;
  com::TaskString proposed;
  HRESULT result = args->get_ResultFilePath(proposed.out());
  if (FAILED(result)) return result;
  const std::string path = free_numbered_path(
      win32::narrow(proposed.get() ? proposed.get() : L""), [](const std::string& candidate) {
        return GetFileAttributesW(win32::widen(candidate).c_str()) != INVALID_FILE_ATTRIBUTES;
      });
  if (path.empty()) return args->put_Cancel(TRUE);
  result = args->put_ResultFilePath(win32::widen(path).c_str());
  if (SUCCEEDED(result)) result = args->put_Handled(TRUE);
  if (FAILED(result)) return result;
  ComPtr<ICoreWebView2DownloadOperation> operation;
  if (SUCCEEDED(args->get_DownloadOperation(operation.GetAddressOf())) && operation) {
    auto handler = com::handler<ICoreWebView2StateChangedEventHandler>(
        [say = view.say, path](ICoreWebView2DownloadOperation* sender, IUnknown*) -> HRESULT {
          COREWEBVIEW2_DOWNLOAD_STATE state{};
          if (!sender || FAILED(sender->get_State(&state))) return S_OK;
          if (state == COREWEBVIEW2_DOWNLOAD_STATE_COMPLETED) say(download_saved_line(path));
          COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON reason{};
          // A download may be resumed after an interruption; each is said.
          if (state == COREWEBVIEW2_DOWNLOAD_STATE_INTERRUPTED &&
              SUCCEEDED(sender->get_InterruptReason(&reason))) {
            say(download_failed_line(path, webview2::download_interrupt_text(reason)));
          }
          return S_OK;
        });
    EventRegistrationToken token{};
    if (SUCCEEDED(operation->add_StateChanged(handler.Get(), &token))) return S_OK;
  }
  // No word of its end will come.
  view.say(download_saving_line(path));
  return S_OK;
}

void show_failure(WebView& view, Error error);

// The host's backend on WebView2; what is Win32's alone is in desktop.cc.
class WebView2HostBackend final : public HostBackend {
 public:
  WebView2HostBackend(WebView& view, webview2::OpenInBrowser open)
      : view_(view), open_(std::move(open)) {}

  std::string engine_address(std::string_view frontend_url) const override {
    return http_frontend_url_for(frontend_url);
  }
  void load(const std::string& address) override {
    if (between_engines()) return;
    drop_host_page(view_);
    navigate(address);
  }
  // Served as the document at `address` (on_resource_requested), not as a
  // string: a page from NavigateToString has no address of its own to
  // reload, and the frontend's bridge would not run on it.
  void show_html(const std::string& html, const std::string& address) override {
    if (between_engines()) return;
    drop_host_page(view_);
    webview2::HostPage page{std::string(webview2::without_fragment(address)), std::nullopt,
                            std::make_shared<const std::string>(html), std::nullopt,
                            std::nullopt};
    // The frontend origin is filtered already; any other address gets a
    // filter of its own until the page is served.
    if (!starts_with_ignoring_ascii_case(page.address, FRONTEND_ORIGIN_PREFIX)) {
      std::wstring filter = webview2::origin_filter(page.address);
      if (SUCCEEDED(add_filter(view_, filter, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT,
                               COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_DOCUMENT))) {
        page.filter = std::move(filter);
      }
    }
    view_.navigations.set_host_page(std::move(page));
    navigate(address, true);
  }
  void copy_text(const std::string& text) override {
    win32::copy_to_clipboard(view_.container, text);
  }
  Status open_in_browser(const std::string& uri) override {
    if (!view_.in_navigation_event) return open_(uri);
    // The shell may take seconds (a browser to start); the page's
    // navigations wait for the event, so the shell is called from the loop.
    // Only stderr could show the failure in these paths anyway.
    const bool posted = post_to_main([open = open_, uri] {
      if (auto opened = open(uri); !opened) {
        write_stderr(format_failure_report(
            std::move(opened).error().wrap("cannot open " + uri + " in a browser")));
      }
    });
    if (!posted) return Error("cannot hand the address to the window's loop");
    return {};
  }
  // No confine_requests: the request handler asks the host every time.
  bool post_to_main(std::function<void()> task) override {
    return win32::post_task(view_.container, std::move(task));
  }

 private:
  // restart_engine runs queued tasks while it waits for the new engine (a
  // discovery's result, a failed load's page); what they would show is
  // dropped, since the crash page follows and its Reload asks again. With
  // no new engine there is nothing to show anything in.
  bool between_engines() const { return !view_.core; }

  void navigate(const std::string& address, bool host_page = false) {
    view_.navigations.navigating(address, host_page);
    view_.navigate_result = view_.core->Navigate(win32::widen(address).c_str());
    if (SUCCEEDED(view_.navigate_result)) return;
    view_.navigations.navigate_failed();
    Error error = hresult_error(view_.navigate_result);
    // The host's own page failing would only be asked for again; with no
    // page to show it in, the window says it.
    if (host_page) {
      show_failure(view_, std::move(error).wrap("cannot show the page at " + address));
      return;
    }
    // Said later, from the loop: the host is in the middle of a call.
    const bool posted = post_to_main([&view = view_, address, reason = error.outermost()] {
      view.host->load_failed({address, reason, false});
    });
    if (!posted) show_failure(view_, std::move(error).wrap("cannot load " + address));
  }

  WebView& view_;
  webview2::OpenInBrowser open_;
};

// The page's requests arrive as web messages, as text; each reply goes
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
  // Held, not borrowed: a reply may come after the engine was replaced.
  ComPtr<ICoreWebView2_4> core = view.core;
  view.host->handle_posted_message(*page, *text, [core](std::string reply) {
    core->PostWebMessageAsString(win32::widen(reply).c_str());
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

// Whether the navigation could be a Navigate of ours: a reload, a step back
// or forward and a redirect never are. Older runtimes do not say the kind.
bool is_new_document(ICoreWebView2NavigationStartingEventArgs* args) {
  BOOL redirected = FALSE;
  if (SUCCEEDED(args->get_IsRedirected(&redirected)) && redirected) return false;
  auto v3 = com::query<ICoreWebView2NavigationStartingEventArgs3>(args);
  COREWEBVIEW2_NAVIGATION_KIND kind = COREWEBVIEW2_NAVIGATION_KIND_NEW_DOCUMENT;
  if (v3) v3->get_NavigationKind(&kind);
  return kind == COREWEBVIEW2_NAVIGATION_KIND_NEW_DOCUMENT;
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
  const std::optional<std::string> own =
      view.navigations.starting(id, *uri, is_new_document(args));
  view.in_navigation_event = true;
  const bool allowed =
      view.host->allow_navigation({*uri, own ? NavigationKind::Other : navigation_kind(args),
                                   false, own.has_value()});
  view.in_navigation_event = false;
  // The host's own is named as the host named it.
  view.navigations.remember(id, {own.value_or(*uri), !allowed});
  return allowed ? S_OK : args->put_Cancel(TRUE);
}

HRESULT on_navigation_completed(WebView& view, ICoreWebView2NavigationCompletedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  UINT64 id = 0;
  BOOL success = FALSE;
  if (FAILED(args->get_NavigationId(&id)) || FAILED(args->get_IsSuccess(&success))) return S_OK;
  if (view.navigations.is_host_page_navigation(id)) drop_host_page(view);
  const auto navigation = view.navigations.completed(id);
  if (!navigation) return S_OK;  // none the host was asked about
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
      navigation->refused || status == COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED;
  view.host->load_failed({navigation->uri, webview2::web_error_text(status), on_purpose});
  return S_OK;
}

// window.open and links with a target: the host decides; the page never
// gets a window of ours. The runtime has no popup blocker of its own, so a
// window the user did not ask for (a timer's, a loading page's) opens
// nothing at all.
HRESULT on_new_window(WebView& view, ICoreWebView2NewWindowRequestedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  BOOL user = FALSE;
  com::TaskString uri_text;
  if (SUCCEEDED(args->get_IsUserInitiated(&user)) && user &&
      SUCCEEDED(args->get_Uri(uri_text.out()))) {
    if (auto uri = utf8(uri_text.get())) {
      view.in_navigation_event = true;
      view.host->allow_navigation({*uri, NavigationKind::Other, true});
      view.in_navigation_event = false;
    }
  }
  return args->put_Handled(TRUE);
}

// Decided here, never put to the user: the frontend's own pages may save
// several files in a row (a profile, then a snapshot); nothing else is
// needed by a debugger, so camera, microphone, location, notifications and
// the rest are denied.
HRESULT on_permission_requested(ICoreWebView2PermissionRequestedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  COREWEBVIEW2_PERMISSION_KIND kind{};
  com::TaskString uri_text;
  bool allowed = false;
  if (SUCCEEDED(args->get_PermissionKind(&kind)) && SUCCEEDED(args->get_Uri(uri_text.out()))) {
    const auto uri = utf8(uri_text.get());
    allowed = kind == COREWEBVIEW2_PERMISSION_KIND_MULTIPLE_AUTOMATIC_DOWNLOADS && uri &&
              starts_with_ignoring_ascii_case(*uri, FRONTEND_ORIGIN_PREFIX);
  }
  return args->put_State(allowed ? COREWEBVIEW2_PERMISSION_STATE_ALLOW
                                 : COREWEBVIEW2_PERMISSION_STATE_DENY);
}

void restart_engine(WebView& view, const std::string& reason);

// The browser process ended: the web view is closed for good, and a new one
// is made from the loop, not from inside the old one's event. The runtime
// raises ProcessFailed and BrowserProcessExited for it in no set order;
// the first asks, the other finds it asked.
void engine_ended(WebView& view, std::string reason) {
  if (view.restart_posted) return;
  view.restart_posted = true;
  const bool posted =
      win32::post_task(view.container, [&view, engine = view.engine_number, reason] {
        if (engine == view.engine_number) restart_engine(view, reason);
      });
  if (!posted) {
    view.restart_posted = false;
    show_failure(view, Error("cannot hand the restart to the window's loop")
                           .wrap("the web engine ended (" + reason + ")"));
  }
}

HRESULT on_browser_exited(WebView& view, ICoreWebView2BrowserProcessExitedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  // A normal exit is the old engine let go of, by us.
  COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND kind{};
  if (FAILED(args->get_BrowserProcessExitKind(&kind)) ||
      kind != COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_FAILED) {
    return S_OK;
  }
  engine_ended(view, "the web engine ended unexpectedly");
  return S_OK;
}

HRESULT on_process_failed(WebView& view, ICoreWebView2ProcessFailedEventArgs* args) {
  if (!args) return E_INVALIDARG;
  COREWEBVIEW2_PROCESS_FAILED_KIND kind{};
  if (FAILED(args->get_ProcessFailedKind(&kind))) return S_OK;
  if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED) {
    engine_ended(view, webview2::process_failure_text(args, kind));
    return S_OK;
  }
  // Only the page's own process ending. One that does not respond may be
  // busy (a long script, a large heap snapshot) and come back; the runtime
  // says so again every few seconds until it does. A frame's or a helper's
  // process leaves the page working.
  if (kind != COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED) return S_OK;
  view.host->page_process_ended(webview2::process_failure_text(args, kind));
  return S_OK;
}

void fit_to_window(const WebView& view) {
  RECT client{};
  GetClientRect(view.window, &client);
  SetWindowPos(view.container, nullptr, 0, 0, client.right - client.left,
               client.bottom - client.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (view.failure_text) {
    SetWindowPos(view.failure_text, nullptr, 0, 0, client.right - client.left,
                 client.bottom - client.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
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
    case WM_CLOSE:
      // Passed on: the window's own procedure ends the loop.
      view.closing = true;
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

Status install_handlers(WebView& view) {
  // Every request under the frontend origin, from documents and workers
  // alike, is answered from memory; the rest goes to the network.
  const std::wstring frontend_filter = win32::widen(std::string(FRONTEND_ORIGIN_PREFIX) + "*");
  if (auto added = check(add_filter(view, frontend_filter, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL,
                                    COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL),
                         "cannot register the frontend's resource filter");
      !added) {
    return added;
  }
  // The embedded frontend's backstop: every other request comes to the
  // handler too, which refuses what the host says the page may not load.
  // A frontend from elsewhere is spared the detour.
  const bool embedded =
      starts_with_ignoring_ascii_case(view.host->frontend_address(), FRONTEND_ORIGIN_PREFIX);
  if (embedded) {
    if (auto added = check(add_filter(view, L"*", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL,
                                      COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL),
                           "cannot register the frontend's request backstop");
        !added) {
      return added;
    }
  }
  WebView* target = &view;
  ICoreWebView2_4* core = view.core.Get();
  const Status steps[] = {
      listen(core, &ICoreWebView2::add_WebResourceRequested,
             [target](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
               return on_resource_requested(*target, args);
             },
             view.resource_token, "cannot register the frontend's request handler"),
      listen(core, &ICoreWebView2_4::add_DownloadStarting,
             [target](ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs* args) {
               return on_download_starting(*target, args);
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
      listen(core, &ICoreWebView2::add_PermissionRequested,
             [](ICoreWebView2*, ICoreWebView2PermissionRequestedEventArgs* args) {
               return on_permission_requested(args);
             },
             view.permission_token, "cannot register the permission handler"),
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
  if (embedded) return webview2::add_page_scripts(core);
  return {};
}

// The engine's part of the web view, made at the start and again after the
// runtime's browser process ended: environment, controller, settings and
// handlers, shown in the container.
Status start_engine(WebView& view) {
  ++view.engine_number;
  view.restart_posted = false;
  auto engine = webview2::create_engine(view.create_environment, view.container, &view.closing);
  if (!engine) return std::move(engine).error();
  view.environment = engine->environment;
  view.controller = engine->controller;
  view.environment5 = com::query<ICoreWebView2Environment5>(view.environment.Get());
  if (view.environment5) {
    WebView* target = &view;
    auto on_exit = [target](ICoreWebView2Environment*,
                            ICoreWebView2BrowserProcessExitedEventArgs* args) {
      return on_browser_exited(*target, args);
    };
    if (auto added = listen(view.environment5.Get(),
                            &ICoreWebView2Environment5::add_BrowserProcessExited, on_exit,
                            view.browser_exit_token, "cannot register the engine's exit handler");
        !added) {
      return added;
    }
  }

  // Bounds are the client area in physical pixels (the process is
  // per-monitor aware), and the runtime follows its monitor's scale itself,
  // so the page stays sharp on any monitor and when moved between them.
  // Older runtimes do both by default.
  if (auto scaled = com::query<ICoreWebView2Controller3>(view.controller.Get())) {
    scaled->put_BoundsMode(COREWEBVIEW2_BOUNDS_MODE_USE_RAW_PIXELS);
    scaled->put_ShouldDetectMonitorScaleChanges(TRUE);
  }

  ComPtr<ICoreWebView2> core;
  if (auto got = check(view.controller->get_CoreWebView2(core.GetAddressOf()),
                       "cannot reach the web view");
      !got || !core) {
    return got ? Error("the WebView2 controller has no web view") : std::move(got).error();
  }
  auto core4 = webview2::require<ICoreWebView2_4>(core.Get(), "ICoreWebView2_4");
  if (!core4) return std::move(core4).error();
  view.core = std::move(core4).value();
  view.core22 = com::query<ICoreWebView2_22>(core.Get());

  if (auto applied = webview2::apply_settings(view.core.Get()); !applied) return applied;
  if (auto installed = install_handlers(view); !installed) return installed;
  fit_to_window(view);
  if (auto shown = check(view.controller->put_IsVisible(TRUE), "cannot show the web view");
      !shown) {
    return shown;
  }
  focus(view);
  return {};
}

void stop_engine(WebView& view) {
  if (const auto& core = view.core) {
    if (view.resource_token) core->remove_WebResourceRequested(*view.resource_token);
    if (view.download_token) core->remove_DownloadStarting(*view.download_token);
    if (view.message_token) core->remove_WebMessageReceived(*view.message_token);
    if (view.starting_token) core->remove_NavigationStarting(*view.starting_token);
    if (view.completed_token) core->remove_NavigationCompleted(*view.completed_token);
    if (view.new_window_token) core->remove_NewWindowRequested(*view.new_window_token);
    if (view.process_token) core->remove_ProcessFailed(*view.process_token);
    if (view.permission_token) core->remove_PermissionRequested(*view.permission_token);
    drop_host_page(view);
  }
  if (view.environment5 && view.browser_exit_token) {
    view.environment5->remove_BrowserProcessExited(*view.browser_exit_token);
  }
  view.browser_exit_token = std::nullopt;
  view.resource_token = view.download_token = view.message_token = view.starting_token =
      view.completed_token = view.new_window_token = view.process_token = view.permission_token =
          std::nullopt;
  if (view.controller) view.controller->Close();
  view.core22.Reset();
  view.core.Reset();
  view.controller.Reset();
  view.environment5.Reset();
  view.environment.Reset();
  view.navigations = webview2::NavigationTracker{};
}

// What the window shows, and stderr says, when it has no web view to show
// a page in.
void show_failure(WebView& view, Error error) {
  const std::string report = format_failure_report(error);
  view.say(report);
  if (view.failure_text) DestroyWindow(view.failure_text);
  RECT client{};
  GetClientRect(view.container, &client);
  view.failure_text =
      CreateWindowExW(0, L"STATIC", win32::widen(report).c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT,
                      0, 0, client.right, client.bottom, view.container, nullptr,
                      GetModuleHandleW(nullptr), nullptr);
}

// Engines that end one after another with no user action between get a
// new web view so many times; then the window says so and stays empty.
constexpr int MAX_QUICK_RESTARTS = 3;

// The runtime wants a new web view once its browser process has ended; it
// shows the crash page, whose Reload reconnects. The old web view is closed
// for good, so a new one is made even with the crash page up already.
void restart_engine(WebView& view, const std::string& reason) {
  view.quick_restarts = view.host->crash_page_allowed() ? 0 : view.quick_restarts + 1;
  stop_engine(view);
  if (view.closing) return;
  if (view.quick_restarts > MAX_QUICK_RESTARTS) {
    show_failure(view, Error("the web engine ended again before the page could be used (" +
                             reason + ")")
                           .wrap("the web view is not made again"));
    return;
  }
  if (auto started = start_engine(view); !started) {
    if (!view.closing) {
      show_failure(view, std::move(started).error().wrap(
                             "cannot make the web view again after its engine ended"));
    }
    return;
  }
  if (view.failure_text) {
    DestroyWindow(view.failure_text);
    view.failure_text = nullptr;
  }
  view.host->show_crash_page(reason);
}

}  // namespace

WebView::~WebView() {
  // The host first: it waits for a discovery still running, and what that
  // posted is dropped with the container below.
  host.reset();
  if (subclassed) RemoveWindowSubclass(window, follow_window, SUBCLASS_ID);
  stop_engine(*this);
  if (container) {
    win32::drop_tasks(container);
    DestroyWindow(container);
  }
}

namespace webview2 {

Result<WebViewPtr> create_webview(HWND window, const std::string& inspector_address,
                                  const InspectorTarget& target, const FrontendUrl& frontend,
                                  const Dependencies& dependencies) {
  WebViewPtr view(new WebView);
  view->window = window;
  view->create_environment = dependencies.create_environment;
  view->say = dependencies.say ? dependencies.say
                               : [](std::string_view line) { write_stderr(line); };

  auto container = win32::make_container(window);
  if (!container) return std::move(container).error().wrap("cannot create the web view's window");
  view->container = *container;
  view->id = std::to_string(reinterpret_cast<std::uintptr_t>(view->container));

  view->host_backend = std::make_unique<WebView2HostBackend>(
      *view, dependencies.open_in_browser ? dependencies.open_in_browser : win32::open_with_shell);
  view->host = std::make_unique<FrontendHost>(*view->host_backend, inspector_address, target,
                                              frontend, dependencies.discover);
  // Followed from the start: a close while the runtime makes the engine
  // ends the wait for it.
  if (!SetWindowSubclass(window, follow_window, SUBCLASS_ID,
                         reinterpret_cast<DWORD_PTR>(view.get()))) {
    return Error("cannot follow the window's size and focus");
  }
  view->subclassed = true;
  if (auto started = start_engine(*view); !started) return std::move(started).error();

  view->host->start();
  if (auto navigated = check(view->navigate_result, "cannot navigate to the frontend URL");
      !navigated) {
    return std::move(navigated).error();
  }
  return view;
}

}  // namespace webview2

Result<WebViewPtr> create_webview(NativeWindow* window, const std::string& inspector_address,
                                  const InspectorTarget& target, const FrontendUrl& frontend) {
  auto loader = webview2::load_loader();
  if (!loader) return std::move(loader).error();
  return webview2::create_webview(reinterpret_cast<HWND>(window), inspector_address, target, frontend,
                                  {std::move(loader).value(), {}, {}, {}});
}

}  // namespace vorbek
