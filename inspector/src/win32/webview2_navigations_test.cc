#include "win32/webview2_navigations.h"

#include <gtest/gtest.h>

namespace vorbek::webview2 {
namespace {

constexpr const char* FRONTEND = "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/a";

TEST(NavigationTrackerTest, OwnNavigationIsKnownByItsAddressAndThenByItsIdThroughRedirects) {
  NavigationTracker tracker;
  EXPECT_FALSE(tracker.starting(1, FRONTEND, true));  // nothing asked for yet
  const std::string spaced = std::string(FRONTEND) + " b";
  tracker.navigating(spaced);
  // The engine names it normalised; it is ours all the same.
  EXPECT_EQ(tracker.starting(2, std::string(FRONTEND) + "%20b", true), spaced);
  EXPECT_EQ(tracker.starting(2, "https://elsewhere.example/", false), spaced);  // redirected
  // Another navigation to the same address is no longer ours: a reload, say.
  EXPECT_FALSE(tracker.starting(3, std::string(FRONTEND) + "%20b", false));
  tracker.completed(2);
  EXPECT_FALSE(tracker.starting(2, FRONTEND, false));

  // A navigation the runtime refused at once never starts.
  tracker.navigating(FRONTEND);
  tracker.navigate_failed();
  EXPECT_FALSE(tracker.starting(4, FRONTEND, true));
}

TEST(NavigationTrackerTest, EachNavigateKeepsItsOwnIdentityAndThePagesNeverCount) {
  const std::string first = "http://127.0.0.1:8080/x";
  const std::string second = "http://127.0.0.1:8080/y";
  NavigationTracker tracker;
  // Both asked for before either starts: each start is matched to its own.
  tracker.navigating(first);
  tracker.navigating(second);
  EXPECT_EQ(tracker.starting(1, first, true), first);
  EXPECT_EQ(tracker.starting(2, second, true), second);
  EXPECT_FALSE(tracker.completed(1));  // not remembered: the host's call
  EXPECT_FALSE(tracker.starting(1, first, false));

  // One that never starts: the page's own navigations are still the page's,
  // a reload of our address included; once a later one of ours has started,
  // the lost one is forgotten.
  tracker.navigating(first);
  EXPECT_FALSE(tracker.starting(3, "http://127.0.0.1:8080/z", true));
  EXPECT_FALSE(tracker.starting(4, first, false));
  tracker.navigating(second);
  EXPECT_EQ(tracker.starting(5, second, true), second);
  EXPECT_FALSE(tracker.starting(6, first, true));
}

TEST(NavigationTrackerTest, AddressesAreWrittenAsTheEngineNormalisesThem) {
  EXPECT_EQ(engine_form("HTTP://Example.COM:80?a=\"b c\"#Frag ment"),
            "http://example.com/?a=%22b%20c%22#Frag%20ment");
  EXPECT_EQ(engine_form("https://[::1]:443/p"), "https://[::1]/p");
  EXPECT_EQ(engine_form("http://127.0.0.1:8089/x?ws=\xC3\xA9"),
            "http://127.0.0.1:8089/x?ws=%C3%A9");
  // The runtime's own example: a non-ASCII host in punycode.
  EXPECT_EQ(engine_form("https://\xE2\x9D\xA4.example/"), "https://xn--qei.example/");
  EXPECT_EQ(origin_filter("HTTPS://\xE2\x9D\xA4.Example:443/page?q#top"),
            L"https://xn--qei.example/*");
  EXPECT_EQ(origin_filter("http://127.0.0.1:8089"), L"http://127.0.0.1:8089/*");
}

TEST(NavigationTrackerTest, HostPageIsMatchedAsTheEngineNamesItAndEndsWithItsNavigation) {
  const std::string address = "http://127.0.0.1:1/x?ws=a b";
  const std::string engine_address = "http://127.0.0.1:1/x?ws=a%20b";
  NavigationTracker tracker;
  tracker.set_host_page({address, std::nullopt, std::make_shared<const std::string>("<p>down</p>"),
                         std::wstring(L"http://127.0.0.1:1/*"), std::nullopt});
  tracker.navigating(address + "#top", true);
  EXPECT_TRUE(tracker.starting(7, engine_address + "#top", true));
  EXPECT_TRUE(tracker.is_host_page_navigation(7));
  EXPECT_FALSE(tracker.is_host_page_navigation(8));
  EXPECT_TRUE(tracker.is_host_page_address(engine_address + "#top"));
  EXPECT_FALSE(tracker.is_host_page_address(engine_address + "&more"));

  // Taken once, with the filter the caller must remove.
  auto page = tracker.take_host_page();
  ASSERT_TRUE(page);
  EXPECT_EQ(page->filter, std::wstring(L"http://127.0.0.1:1/*"));
  EXPECT_FALSE(tracker.take_host_page());
  EXPECT_FALSE(tracker.is_host_page_address(engine_address));
  EXPECT_FALSE(tracker.is_host_page_navigation(7));
}

TEST(NavigationTrackerTest, RememberedNavigationsEndAtTheirCompletionAndTheOldestGo) {
  NavigationTracker tracker;
  for (std::uint64_t id = 1; id <= NavigationTracker::MAX_REMEMBERED + 1; ++id) {
    tracker.remember(id, {"http://devtools.localhost/" + std::to_string(id), id % 2 == 0});
  }
  EXPECT_FALSE(tracker.completed(1));  // never completed, and forgotten
  auto last = tracker.completed(NavigationTracker::MAX_REMEMBERED);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->uri, "http://devtools.localhost/64");
  EXPECT_TRUE(last->refused);
  EXPECT_FALSE(tracker.completed(NavigationTracker::MAX_REMEMBERED));
  EXPECT_FALSE(tracker.completed(99));
}

}  // namespace
}  // namespace vorbek::webview2
