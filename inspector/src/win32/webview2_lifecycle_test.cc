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

}  // namespace
}  // namespace vorbek
