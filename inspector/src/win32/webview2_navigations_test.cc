#include "win32/webview2_navigations.h"

#include <gtest/gtest.h>

namespace vorbek::webview2 {
namespace {

constexpr const char* FRONTEND = "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/a";

TEST(NavigationTrackerTest, OwnNavigationIsTheFirstToStartAndKeepsItsIdThroughRedirects) {
  NavigationTracker tracker;
  EXPECT_FALSE(tracker.starting(1, FRONTEND));  // nothing asked for yet
  tracker.navigating(FRONTEND);
  // The engine names it canonicalised; it is ours all the same.
  EXPECT_EQ(tracker.starting(2, "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/a%20"),
            FRONTEND);
  EXPECT_EQ(tracker.starting(2, "https://elsewhere.example/"), FRONTEND);  // redirected
  // Another navigation to the same address is no longer ours: a reload, say.
  EXPECT_FALSE(tracker.starting(3, FRONTEND));
  tracker.completed(2);
  EXPECT_FALSE(tracker.starting(2, FRONTEND));

  // A navigation the runtime refused at once never starts.
  tracker.navigating(FRONTEND);
  tracker.navigate_failed();
  EXPECT_FALSE(tracker.starting(4, FRONTEND));
}

TEST(NavigationTrackerTest, HostPageIsMatchedAsTheEngineNamesItAndEndsWithItsNavigation) {
  const std::string address = "http://127.0.0.1:1/x?ws=a b";
  const std::string engine_address = "http://127.0.0.1:1/x?ws=a%20b";
  NavigationTracker tracker;
  tracker.set_host_page({address, std::nullopt, std::make_shared<const std::string>("<p>down</p>"),
                         std::wstring(L"http://127.0.0.1:1/*"), std::nullopt});
  tracker.navigating(address + "#top");
  EXPECT_TRUE(tracker.starting(7, engine_address + "#top"));
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
