// The WebView2 web view against the stand-in runtime where the runtime's
// events may come in more than one order: our navigations and the page's,
// the host pages' filters, the browser process ending, a close during
// start-up.
#include "win32/webview2_stand_in.h"

#include <gtest/gtest.h>

namespace vorbek {
namespace {

// The host's frontend at another server, whose failed loads show the
// failed-load page under their own address.
constexpr char SERVED[] = "http://127.0.0.1:8080/x?ws=127.0.0.1:9229/0f2c";

// Fails the navigation started by hand as `id` to `uri` as the engine would,
// which makes the host show its failed-load page there.
void fail_started(FakeWebView& web_view, const std::wstring& uri) {
  auto started = com::make<FakeStartingArgs>();
  started->uri = uri;
  started->id = ++web_view.last_id;
  web_view.on_starting->Invoke(&web_view, started.Get());
  ASSERT_FALSE(started->cancel);
  web_view.complete(started->id, FALSE, COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT);
}

TEST_F(StandInRuntime, EachNavigationOfOursKeepsItsIdentityAndThePagesNeverCount) {
  open_shown(SERVED, false);
  FakeWebView& web_view = loader_.web_view();
  // Two of ours before either starts: the failed-load pages of two
  // addresses, the second replacing the first. Each start is taken for its
  // own, so the first goes to the server and the second shows the page.
  const std::wstring first = L"http://127.0.0.1:8080/a";
  const std::wstring second = L"http://127.0.0.1:8080/b";
  fail_started(web_view, first);
  fail_started(web_view, second);
  ASSERT_TRUE(pump_until([&] { return web_view.navigations.size() == 3; }));
  MainThread::pump();
  EXPECT_EQ(web_view.document_uri, second);
  EXPECT_NE(web_view.document.find("The page could not be loaded"), std::string::npos)
      << web_view.document;
  EXPECT_NE(web_view.document.find(win32::narrow(second)), std::string::npos);

  // One of ours that the engine never starts (the crash page), then the
  // page moving itself elsewhere: that is the page's, and stopped.
  web_view.lost_navigations = 1;
  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED, 1);
  MainThread::pump();
  EXPECT_TRUE(web_view.navigate(L"https://example.com/", COREWEBVIEW2_NAVIGATION_KIND_NEW_DOCUMENT,
                                FALSE)
                  ->cancel);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(StandInRuntime, AHostPagesFilterIsTheAddressAsTheEngineNormalisesIt) {
  // Upper case, the default port and a non-ASCII host, which the engine
  // matches filters against in punycode.
  const std::string named = "HTTP://B\xC3\xBC" "cher.Example:80/x?ws=127.0.0.1:9229/0f2c";
  const std::wstring engine = L"http://xn--bcher-kva.example/x?ws=127.0.0.1:9229/0f2c";
  ASSERT_EQ(canonical(win32::widen(named)), engine);
  FakeWebView& web_view = loader_.web_view();
  web_view.unreachable[engine] = COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT;
  open_ok(named, false);
  ASSERT_TRUE(pump_until(
      [&] { return web_view.document.find("The page could not be loaded") != std::string::npos; }))
      << web_view.document;
  EXPECT_EQ(web_view.document_uri, engine);
  ASSERT_EQ(web_view.removed_filters.size(), 1u);
  EXPECT_EQ(web_view.removed_filters[0].uri, L"http://xn--bcher-kva.example/*");
}

TEST_F(StandInRuntime, TheEngineEndingIsOneRestartWhicheverOfItsEventsComesFirst) {
  for (const bool exited_first : {true, false}) {
    SCOPED_TRACE(exited_first ? "BrowserProcessExited first" : "ProcessFailed first");
    loader_ = StandInLoader{};
    open_shown();
    // One event alone makes the new web view, before the other arrives.
    ComPtr<FakeEnvironment> old = loader_.environment;
    loader_.environment = com::make<FakeEnvironment>();
    FakeWebView& closed = *old->controller->web_view.Get();
    if (exited_first) {
      old->browser_exited(COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_FAILED);
    } else {
      closed.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED,
                            COREWEBVIEW2_PROCESS_FAILED_REASON_UNEXPECTED, 1);
    }
    FakeWebView& web_view = loader_.web_view();
    ASSERT_TRUE(pump_until(
        [&] { return web_view.document.find("The debugger page crashed") != std::string::npos; }));
    EXPECT_EQ(loader_.calls, 2);
    EXPECT_FALSE(old->on_browser_exited);
    EXPECT_FALSE(closed.any_handler());
    view_.reset();
    MainThread::pump();

    // Both before the loop runs, in this order: still one new web view.
    loader_ = StandInLoader{};
    open_shown();
    loader_.end_browser_process(exited_first);
    FakeWebView& again = loader_.web_view();
    ASSERT_TRUE(pump_until(
        [&] { return again.document.find("The debugger page crashed") != std::string::npos; }));
    MainThread::pump();
    EXPECT_EQ(loader_.calls, 2);
    // Our own close of an engine is a normal exit, and no restart.
    loader_.environment->browser_exited(COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_NORMAL);
    MainThread::pump();
    EXPECT_EQ(loader_.calls, 2);
    view_.reset();
    MainThread::pump();
  }
}

TEST_F(StandInRuntime, TheEngineEndingAgainUnderTheCrashPageStillGetsANewWebView) {
  open_shown();
  loader_.end_browser_process();
  ASSERT_TRUE(pump_until([&] {
    return loader_.web_view().document.find("The debugger page crashed") != std::string::npos;
  }));
  // Again, with the crash page up and the user not yet acting.
  loader_.end_browser_process();
  FakeWebView& web_view = loader_.web_view();
  ASSERT_TRUE(pump_until(
      [&] { return web_view.document.find("The debugger page crashed") != std::string::npos; }));
  EXPECT_EQ(loader_.calls, 3);
  // Its Reload reconnects, and the frontend loads in the newest web view.
  EXPECT_TRUE(web_view.navigate(FRONTEND_PAGE, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  ASSERT_TRUE(pump_until([&] {
    return web_view.document_uri ==
           L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/b7d1&experiments=true"
           L"&v8only=true";
  }));
  const FrontendAsset* page = find_frontend_asset("js_app.html");
  EXPECT_EQ(web_view.document, std::string(page->content.begin(), page->content.end()));

  // An engine that keeps ending with nobody acting is made again only so
  // often; then the window says why it is empty.
  for (int i = 0; i < 5; ++i) {
    loader_.end_browser_process();
    pump_until([&] { return loader_.calls >= 4 + i; });
    MainThread::pump();
  }
  EXPECT_EQ(loader_.calls, 7);  // the first end after the Reload, and three more
  ASSERT_EQ(children().size(), 2u);  // the container and its text
  wchar_t text[512]{};
  GetWindowTextW(GetWindow(children().at(0), GW_CHILD), text, 512);
  EXPECT_NE(std::wstring(text).find(L"the web view is not made again"), std::wstring::npos)
      << win32::narrow(text);
}

TEST_F(StandInRuntime, APageOfTheHostsThatCannotBeShownIsSaidInTheWindow) {
  open_shown();
  FakeWebView& web_view = loader_.web_view();
  web_view.navigate_result = E_FAIL;
  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED, 1);
  MainThread::pump();
  ASSERT_EQ(children().size(), 2u);  // the container and its text
  wchar_t text[512]{};
  GetWindowTextW(GetWindow(children().at(0), GW_CHILD), text, 512);
  EXPECT_NE(std::wstring(text).find(L"cannot show the page at http://devtools.localhost/"),
            std::wstring::npos)
      << win32::narrow(text);
}

LRESULT CALLBACK closable_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // As the program's window: a close is reported, never a destroy.
  if (message == WM_CLOSE) {
    SetPropW(window, L"closed", reinterpret_cast<HANDLE>(1));
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST_F(StandInRuntime, AWindowClosedWhileTheEngineStartsEndsTheWaitAndLeavesNothing) {
  WNDCLASSEXW klass{};
  klass.cbSize = sizeof klass;
  klass.lpfnWndProc = closable_procedure;
  klass.hInstance = GetModuleHandleW(nullptr);
  klass.lpszClassName = L"vorbek_test_closable";
  RegisterClassExW(&klass);
  for (const bool in_controller : {false, true}) {
    SCOPED_TRACE(in_controller ? "closed while the controller is made"
                               : "closed while the environment is made");
    loader_ = StandInLoader{};
    HWND window = CreateWindowExW(0, klass.lpszClassName, L"closable", WS_OVERLAPPEDWINDOW, 0, 0,
                                  400, 300, nullptr, nullptr, klass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    auto close = [window] { PostMessageW(window, WM_CLOSE, 0, 0); };
    if (in_controller) {
      loader_.environment->while_creating_controller = close;
    } else {
      loader_.while_creating = close;
    }
    auto view = webview2::create_webview(window, INSPECTOR, TARGET, FrontendUrl{FRONTEND_URL, true},
                                         dependencies());
    ASSERT_FALSE(view);
    EXPECT_NE(format_failure_report(view.error()).find("closed before the web view was ready"),
              std::string::npos)
        << format_failure_report(view.error());
    // The window's own procedure saw the close.
    EXPECT_TRUE(GetPropW(window, L"closed"));
    // The runtime's late completion finds nobody waiting; a controller it
    // brings is closed again.
    MainThread::pump();
    EXPECT_EQ(loader_.controller().closed, in_controller);
    EXPECT_TRUE(loader_.web_view().navigations.empty());
    EXPECT_EQ(GetWindow(window, GW_CHILD), nullptr);
    RemovePropW(window, L"closed");
    DestroyWindow(window);
  }
}

}  // namespace
}  // namespace vorbek
