#include "frontend_host.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "url_rewrite.h"

namespace vorbek {
namespace {

using ::testing::HasSubstr;
using nlohmann::json;

constexpr const char* ADDRESS = "127.0.0.1:9229";
constexpr const char* TARGET = "127.0.0.1:9229/old";
constexpr const char* FRONTEND_URL =
    "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/old&experiments=true&v8only=true";
// The same page in the engine's form, as WebKit shows it.
constexpr const char* PAGE =
    "devtools://localhost/js_app.html?ws=127.0.0.1:9229/old&experiments=true&v8only=true";
constexpr const char* NEW_PAGE =
    "devtools://localhost/js_app.html?ws=127.0.0.1:9229/new&experiments=true&v8only=true";

// Records what the host asks of the backend; posted work waits in a queue
// until the test runs it, as the event loop would.
class FakeBackend : public HostBackend {
 public:
  std::string engine_address(std::string_view frontend_url) const override {
    return engine_url_for(frontend_url);
  }
  void load(const std::string& address) override { loads.push_back(address); }
  void show_html(const std::string& html, const std::string& address) override {
    pages.push_back({html, address});
  }
  void copy_text(const std::string& text) override { clipboard = text; }
  void confine_requests(const std::string& origin, const std::string& ws_target) override {
    confined.push_back(origin + " " + ws_target);
  }
  Status open_in_browser(const std::string& uri) override {
    opened.push_back(uri);
    if (browser_fails) return Error("no browser");
    return {};
  }
  bool post_to_main(std::function<void()> task) override {
    if (posting_fails) {
      posting_failed = true;
      return false;
    }
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
    arrived_.notify_all();
    return true;
  }

  // Runs the next posted task once it arrives; false after 10 s without one.
  bool run_posted() {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      if (!arrived_.wait_for(lock, std::chrono::seconds(10), [&] { return !posted_.empty(); })) {
        return false;
      }
      task = std::move(posted_.front());
      posted_.pop_front();
    }
    task();
    return true;
  }

  struct Page {
    std::string html;
    std::string address;
  };
  std::vector<std::string> loads;
  std::vector<Page> pages;
  std::optional<std::string> clipboard;
  std::vector<std::string> opened;
  std::vector<std::string> confined;
  bool browser_fails = false;
  std::atomic<bool> posting_fails{false}, posting_failed{false};

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> posted_;
};

// A discovery the test answers by hand, counting how often it is asked.
class ScriptedDiscovery {
 public:
  DiscoverTarget function() {
    return [this](const std::string& address) -> Result<InspectorTarget> {
      std::future<Result<std::string>> answer;
      {
        std::lock_guard lock(mutex_);
        addresses_.push_back(address);
        if (closed_) return Error("the test is over");
        answer = answers_.emplace_back().get_future();
        called_.notify_all();
      }
      auto target = answer.get();
      if (!target) return std::move(target).error();
      return InspectorTarget{std::move(target).value(), on_this_machine};
    };
  }
  // Where the inspector answers from, for the discoveries still to come.
  std::atomic<bool> on_this_machine{true};
  // Answers what is still open, and every later call at once, so that no
  // discovery outlives the test.
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (; answered_ < answers_.size(); ++answered_) answers_[answered_].set_value(Error("the test is over"));
  }
  // Answers the next call, once it has come.
  void answer(Result<std::string> result) {
    std::unique_lock lock(mutex_);
    ASSERT_TRUE(called_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return answers_.size() > answered_; }));
    answers_[answered_++].set_value(std::move(result));
  }
  std::vector<std::string> addresses() {
    std::lock_guard lock(mutex_);
    return addresses_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable called_;
  std::deque<std::promise<Result<std::string>>> answers_;
  std::vector<std::string> addresses_;
  std::size_t answered_ = 0;
  bool closed_ = false;
};

class FrontendHostTest : public ::testing::Test {
 protected:
  FrontendHostTest() : host_(backend_, ADDRESS, {TARGET, true}, {FRONTEND_URL, true}, discovery_.function()) {}
  void TearDown() override { discovery_.close(); }

  HostReply request(const json& message, std::string_view page = PAGE) {
    HostReply answer;
    int calls = 0;
    host_.handle_request(page, message.dump(), [&](HostReply a) {
      answer = std::move(a);
      ++calls;
    });
    EXPECT_EQ(calls, 1);
    return answer;
  }
  bool navigate(const std::string& uri, NavigationKind kind, bool new_window = false) {
    return host_.allow_navigation({uri, kind, new_window});
  }
  // Waits for the discovery to be asked `count` times in all.
  void expect_discoveries(std::size_t count) {
    for (int i = 0; i < 500 && discovery_.addresses().size() < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(discovery_.addresses().size(), count);
  }

  FakeBackend backend_;
  ScriptedDiscovery discovery_;
  FrontendHost host_;  // last: joins its discovery before the fakes go
};

TEST_F(FrontendHostTest, RefusesMalformedRequestsAndForeignPages) {
  struct Case {
    std::string message;
    std::string page;
    std::string error;
  } cases[] = {
      {"not json", PAGE, "the request is not a JSON object"},
      {"[\"loadFile\"]", PAGE, "the request is not a JSON object"},
      {"{}", PAGE, "the request has no string \"request\""},
      {R"({"request":7})", PAGE, "the request has no string \"request\""},
      {R"({"request":"format"})", PAGE, "unknown request: format"},
      {R"({"request":"loadFile"})", PAGE, "the request has no string \"url\""},
      {R"({"request":"loadFile","url":3})", PAGE, "the request has no string \"url\""},
      {R"({"request":"copyText"})", PAGE, "the request has no string \"text\""},
      // A frontend from elsewhere, even one of the embedded frontend's
      // look-alikes, gets nothing from the host.
      {R"({"request":"copyText","text":"x"})", "http://127.0.0.1:8000/js_app.html", "not the embedded frontend"},
      {R"({"request":"loadFile","url":"file:///etc/hostname"})", "http://devtools.localhost/js_app.html", "not the embedded frontend"},
      {R"({"request":"reconnect"})", "", "not the embedded frontend"},
  };
  for (const auto& c : cases) {
    HostReply answer;
    host_.handle_request(c.page, c.message, [&](HostReply a) { answer = std::move(a); });
    EXPECT_FALSE(answer.ok) << c.message;
    EXPECT_EQ(answer.text, c.error) << c.message;
  }
  EXPECT_FALSE(backend_.clipboard);
  EXPECT_TRUE(discovery_.addresses().empty());
}

TEST_F(FrontendHostTest, LoadsAFileAsJsonText) {
  std::string dir = (std::filesystem::temp_directory_path() / "frontend_host.XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  std::string path = dir + "/tick.js.map";
  std::string content = "{\"sources\":[\"t\\u00e9.ts\"]}\n";
  content += '\0';
  content += "\xC3\xA9\xff";
  std::ofstream(path, std::ios::binary) << content;

  HostReply answer = request({{"request", "loadFile"}, {"url", "file://" + path}});
  ASSERT_TRUE(answer.ok) << answer.text;
  // The NUL survives as an escape; a byte that is not UTF-8 becomes U+FFFD.
  std::string expected = content.substr(0, content.size() - 1) + "\xEF\xBF\xBD";
  EXPECT_EQ(json::parse(answer.text).at("text").get<std::string>(), expected);

  HostReply missing = request({{"request", "loadFile"}, {"url", "file://" + dir + "/missing.ts"}});
  EXPECT_FALSE(missing.ok);
  EXPECT_THAT(missing.text, HasSubstr("cannot read " + dir + "/missing.ts: "));
  EXPECT_THAT(missing.text, HasSubstr("(os error 2)"));

  // The page's "\u0000" arrives as a raw NUL; the file before it is not read.
  HostReply cut = request({{"request", "loadFile"}, {"url", "file://" + path + '\0' + ".ts"}});
  EXPECT_FALSE(cut.ok);
  EXPECT_THAT(cut.text, HasSubstr("the path contains a NUL"));
  std::filesystem::remove_all(dir);
}

TEST_F(FrontendHostTest, CopiesTextAndOpensWebLinks) {
  EXPECT_EQ(request({{"request", "copyText"}, {"text", "line 1\nline 2 \xE2\x80\x94"}}).text, "{}");
  EXPECT_EQ(backend_.clipboard, "line 1\nline 2 \xE2\x80\x94");

  EXPECT_TRUE(request({{"request", "openLink"}, {"url", "https://nodejs.org/api/"}}).ok);
  for (const char* refused : {"file:///etc/passwd", "javascript:alert(1)", "devtools://localhost/x"}) {
    HostReply answer = request({{"request", "openLink"}, {"url", refused}});
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.text, std::string("not a web address: ") + refused);
  }
  backend_.browser_fails = true;
  HostReply failed = request({{"request", "openLink"}, {"url", "https://example.org/"}});
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.text, "cannot open https://example.org/ in a browser: no browser");
  EXPECT_THAT(backend_.opened, ::testing::ElementsAre("https://nodejs.org/api/", "https://example.org/"));
}

TEST_F(FrontendHostTest, AnswersPostedMessagesByTheirNumber) {
  std::vector<std::string> posted;
  auto post = [&](std::string text) { posted.push_back(std::move(text)); };
  host_.handle_posted_message(PAGE, R"({"id":7,"request":"copyText","text":"x"})", post);
  host_.handle_posted_message(PAGE, R"({"id":8,"request":"nothing"})", post);
  // Without a number nothing can be answered, and nothing is done.
  host_.handle_posted_message(PAGE, R"({"request":"copyText","text":"y"})", post);
  host_.handle_posted_message(PAGE, R"({"id":"9","request":"copyText","text":"y"})", post);
  host_.handle_posted_message(PAGE, "{", post);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(json::parse(posted[0]), json::parse(R"({"id":7,"reply":{}})"));
  EXPECT_EQ(json::parse(posted[1]), json::parse(R"({"id":8,"error":"unknown request: nothing"})"));
  EXPECT_EQ(backend_.clipboard, "x");
}

TEST_F(FrontendHostTest, DecidesNavigationsAsBefore) {
  struct Case {
    const char* uri;
    NavigationKind kind;
    bool new_window;
    bool allowed;
    bool opens_browser;
  } cases[] = {
      {"devtools://localhost/other.html", NavigationKind::Other, false, true, false},
      {"blob:devtools://localhost/5f0c", NavigationKind::LinkClicked, false, true, false},
      {"about:blank", NavigationKind::Other, false, true, false},
      {"https://nodejs.org/", NavigationKind::LinkClicked, false, false, true},
      // A page that moves itself to the web is stopped, not sent to the browser.
      {"https://nodejs.org/", NavigationKind::Other, false, false, false},
      {"https://nodejs.org/", NavigationKind::Other, true, false, true},
      {"file:///etc/passwd", NavigationKind::LinkClicked, false, false, false},
      {"file:///etc/passwd", NavigationKind::Other, true, false, false},
      {"devtools://localhost/other.html", NavigationKind::Other, true, false, false},
  };
  for (const auto& c : cases) {
    backend_.opened.clear();
    EXPECT_EQ(navigate(c.uri, c.kind, c.new_window), c.allowed) << c.uri;
    EXPECT_EQ(backend_.opened.size(), c.opens_browser ? 1u : 0u) << c.uri;
  }
  EXPECT_TRUE(discovery_.addresses().empty());
}

TEST_F(FrontendHostTest, AReloadReconnectsToTheCurrentTarget) {
  host_.start();
  EXPECT_FALSE(navigate(PAGE, NavigationKind::Reload));
  EXPECT_TRUE(host_.reconnecting());
  expect_discoveries(1);
  EXPECT_EQ(discovery_.addresses()[0], ADDRESS);

  discovery_.answer(std::string("127.0.0.1:9229/new"));
  ASSERT_TRUE(backend_.run_posted());
  EXPECT_FALSE(host_.reconnecting());
  // In the engine's form, from the start on.
  EXPECT_THAT(backend_.loads, ::testing::ElementsAre(PAGE, NEW_PAGE));
  EXPECT_EQ(host_.frontend_address(), NEW_PAGE);
  // The host's own load of the new page goes through.
  EXPECT_TRUE(navigate(NEW_PAGE, NavigationKind::Other));
  // The old page's address from history is the frontend again, for whatever
  // target is current then.
  EXPECT_FALSE(navigate(PAGE, NavigationKind::BackForward));
  expect_discoveries(2);
  discovery_.answer(std::string("127.0.0.1:9229/new"));
  ASSERT_TRUE(backend_.run_posted());
}

// A remote engine's file:// paths name its own machine's files: read here,
// they would be whatever the user keeps at that path.
TEST_F(FrontendHostTest, FilesOnlyFromAnInspectorOnThisMachine) {
  const std::string url = "file:///proc/self/status";
  EXPECT_TRUE(request({{"request", "loadFile"}, {"url", url}}).ok);

  host_.start();
  discovery_.on_this_machine = false;
  EXPECT_FALSE(navigate(PAGE, NavigationKind::Reload));
  discovery_.answer(std::string("127.0.0.1:9229/new"));
  ASSERT_TRUE(backend_.run_posted());
  HostReply refused = request({{"request", "loadFile"}, {"url", url}}, NEW_PAGE);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.text,
            "cannot read file:///proc/self/status: the inspector at 127.0.0.1:9229 is not on this "
            "machine");
}

// The policy and the engine's own check follow the target, which a
// reconnect may change; a frontend the user named gets neither.
TEST_F(FrontendHostTest, PagesAreConfinedToTheCurrentTarget) {
  host_.start();
  EXPECT_THAT(host_.content_security_policy(PAGE), HasSubstr("ws://127.0.0.1:9229;"));
  EXPECT_TRUE(host_.may_request("ws://127.0.0.1:9229/old"));
  EXPECT_FALSE(host_.may_request("http://127.0.0.1:9229/json"));
  EXPECT_FALSE(navigate(PAGE, NavigationKind::Reload));
  discovery_.answer(std::string("127.0.0.2:9330/new"));
  ASSERT_TRUE(backend_.run_posted());
  EXPECT_THAT(backend_.confined, ::testing::ElementsAre("devtools://localhost 127.0.0.1:9229/old",
                                                        "devtools://localhost 127.0.0.2:9330/new"));
  EXPECT_THAT(host_.content_security_policy("http://devtools.localhost/js_app.html?ws=x"),
              HasSubstr("connect-src 'self' data: ws://127.0.0.2:9330;"));
  EXPECT_FALSE(host_.may_request("ws://127.0.0.1:9229/old"));
  EXPECT_TRUE(host_.may_request("ws://127.0.0.2:9330/new"));

  FakeBackend backend;
  FrontendHost theirs(backend, ADDRESS, {TARGET, true}, {PAGE, false});
  theirs.start();
  EXPECT_EQ(theirs.content_security_policy(PAGE), "");
  EXPECT_TRUE(theirs.may_request("https://example.com/"));
  EXPECT_TRUE(backend.confined.empty());
}

TEST_F(FrontendHostTest, OneReconnectAtATimeAndNoneQueued) {
  EXPECT_EQ(request({{"request", "reconnect"}}).text, "{}");
  HostReply second = request({{"request", "reconnect"}});
  EXPECT_FALSE(second.ok);
  EXPECT_EQ(second.text, "a reconnect is already running");
  EXPECT_FALSE(navigate(PAGE, NavigationKind::Reload));
  EXPECT_FALSE(navigate(PAGE, NavigationKind::LinkClicked));
  expect_discoveries(1);

  discovery_.answer(std::string("127.0.0.1:9229/new"));
  ASSERT_TRUE(backend_.run_posted());
  EXPECT_THAT(backend_.loads, ::testing::ElementsAre(NEW_PAGE));
  // Nothing was left over to run.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(discovery_.addresses().size(), 1u);

  // The next user action asks again.
  EXPECT_TRUE(request({{"request", "reconnect"}}).ok);
  expect_discoveries(2);
  discovery_.answer(std::string("127.0.0.1:9229/newer"));
  ASSERT_TRUE(backend_.run_posted());
  EXPECT_EQ(backend_.loads.back(),
            "devtools://localhost/js_app.html?ws=127.0.0.1:9229/newer&experiments=true&v8only=true");
}

TEST_F(FrontendHostTest, AFailedReconnectShowsTheReportAndTriesAgainOnRequest) {
  EXPECT_TRUE(request({{"request", "reconnect"}}).ok);
  expect_discoveries(1);
  Error error = Error::os(111, "Connection refused")
                    .wrap("connect to inspector at 127.0.0.1:9229")
                    .wrap("failed to read inspector targets from http://127.0.0.1:9229/json");
  discovery_.answer(error);
  ASSERT_TRUE(backend_.run_posted());
  EXPECT_FALSE(host_.reconnecting());
  EXPECT_TRUE(backend_.loads.empty());
  ASSERT_EQ(backend_.pages.size(), 1u);
  EXPECT_EQ(backend_.pages[0].address, PAGE);
  EXPECT_THAT(backend_.pages[0].html,
              HasSubstr("Error: failed to read inspector targets from http://127.0.0.1:9229/json\n\n"
                        "Caused by:\n    0: connect to inspector at 127.0.0.1:9229\n"
                        "    1: Connection refused (os error 111)\n"));
  // The page's own load passes; its link is a reconnect.
  EXPECT_TRUE(navigate(PAGE, NavigationKind::Other));
  EXPECT_FALSE(navigate(PAGE, NavigationKind::LinkClicked));
  expect_discoveries(2);
  discovery_.answer(std::string("127.0.0.1:9229/new"));
  ASSERT_TRUE(backend_.run_posted());
  EXPECT_THAT(backend_.loads, ::testing::ElementsAre(NEW_PAGE));
}

TEST_F(FrontendHostTest, AReconnectWhoseResultIsLostDoesNotBlockTheNext) {
  backend_.posting_fails = true;
  EXPECT_TRUE(request({{"request", "reconnect"}}).ok);
  expect_discoveries(1);
  discovery_.answer(std::string("127.0.0.1:9229/new"));
  for (int i = 0; i < 500 && !backend_.posting_failed; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(backend_.posting_failed);
  for (int i = 0; i < 500 && host_.reconnecting(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(host_.reconnecting());

  // The page's next navigation finds the loss shown in its place, once.
  backend_.posting_fails = false;
  EXPECT_FALSE(navigate(PAGE, NavigationKind::Other));
  ASSERT_EQ(backend_.pages.size(), 1u);
  EXPECT_NE(backend_.pages[0].html.find("the inspector&#39;s answer was lost"), std::string::npos)
      << backend_.pages[0].html;
  EXPECT_TRUE(navigate(PAGE, NavigationKind::Other));
  EXPECT_EQ(backend_.pages.size(), 1u);

  // The user's next Reload asks again, and this time the result arrives.
  EXPECT_FALSE(navigate(PAGE, NavigationKind::Reload));
  expect_discoveries(2);
  discovery_.answer(std::string("127.0.0.1:9229/new"));
  ASSERT_TRUE(backend_.run_posted());
  EXPECT_THAT(backend_.loads, ::testing::ElementsAre(NEW_PAGE));
}

TEST_F(FrontendHostTest, TheHostsOwnNavigationPassesWhateverItsAddress) {
  // As the engine reports it: canonicalised, or redirected elsewhere.
  Navigation own{"https://example.com/js_app.html?ws=a%20b", NavigationKind::LinkClicked, false,
                 true};
  EXPECT_TRUE(host_.allow_navigation(own));
  EXPECT_TRUE(backend_.opened.empty());
  EXPECT_TRUE(discovery_.addresses().empty());
}

TEST(FrontendHostOverride, AFrontendTheUserNamedIsLoadedAgainAsItIs) {
  FakeBackend backend;
  int discoveries = 0;
  const std::string frontend = "devtools://localhost/js_app.html?ws=127.0.0.1:9229/old";
  FrontendHost host(backend, ADDRESS, {}, {frontend, false}, [&](const std::string&) {
    ++discoveries;
    return Result<InspectorTarget>(InspectorTarget{"x", true});
  });
  host.start();
  // The engine reloads it itself.
  EXPECT_TRUE(host.allow_navigation({frontend, NavigationKind::Reload, false}));
  HostReply answer;
  host.handle_request(frontend, R"({"request":"reconnect"})", [&](HostReply a) { answer = a; });
  EXPECT_TRUE(answer.ok);
  EXPECT_FALSE(host.reconnecting());
  EXPECT_THAT(backend.loads, ::testing::ElementsAre(frontend, frontend));

  host.page_process_ended("the web process crashed");
  ASSERT_EQ(backend.pages.size(), 1u);
  EXPECT_TRUE(host.allow_navigation({frontend, NavigationKind::LinkClicked, false}));
  EXPECT_EQ(discoveries, 0);
}

TEST_F(FrontendHostTest, ACrashShowsOnePageUntilTheUserActs) {
  host_.start();
  host_.page_process_ended("the web process <crashed>");
  ASSERT_EQ(backend_.pages.size(), 1u);
  EXPECT_EQ(backend_.pages[0].address, PAGE);
  EXPECT_THAT(backend_.pages[0].html, HasSubstr("the web process &lt;crashed&gt;"));
  EXPECT_THAT(backend_.pages[0].html, HasSubstr("href=\"devtools://localhost/js_app.html?ws=127.0.0.1:9229/old&amp;"));

  // The crash page's process dies too: nothing more is loaded.
  host_.page_process_ended("the web process crashed");
  EXPECT_EQ(backend_.pages.size(), 1u);
  EXPECT_EQ(backend_.loads.size(), 1u);

  // Reload on the crash page reconnects; a crash after that is shown again.
  EXPECT_FALSE(navigate(PAGE, NavigationKind::LinkClicked));
  discovery_.answer(std::string("127.0.0.1:9229/new"));
  ASSERT_TRUE(backend_.run_posted());
  EXPECT_EQ(backend_.loads.back(), NEW_PAGE);
  host_.page_process_ended("the web process crashed");
  ASSERT_EQ(backend_.pages.size(), 2u);
  EXPECT_EQ(backend_.pages[1].address, NEW_PAGE);
}

TEST(FrontendHostFailedLoad, ABlockedPortIsExplainedWithoutAsking) {
  FakeBackend backend;
  const std::string uri = "http://127.0.0.1:1/x?ws=a";
  FrontendHost host(backend, ADDRESS, {}, {uri, false});
  host.start();
  EXPECT_TRUE(backend.loads.empty());
  ASSERT_EQ(backend.pages.size(), 1u);
  EXPECT_EQ(backend.pages[0].address, uri);
  EXPECT_THAT(backend.pages[0].html, HasSubstr("Not allowed to use restricted network port"));
  EXPECT_THAT(backend.pages[0].html, ::testing::Not(HasSubstr("Try again")));
  // A reload shows the same page again, never a blank window.
  EXPECT_TRUE(host.allow_navigation({uri, NavigationKind::Other, false}));
  HostReply answer;
  host.handle_request("devtools://localhost/", R"({"request":"reconnect"})", [&](HostReply a) { answer = a; });
  EXPECT_EQ(backend.pages.size(), 2u);
}

TEST(FrontendHostFailedLoad, IsExplainedUnlessItWasCancelledOnPurpose) {
  FakeBackend backend;
  const std::string uri = "http://127.0.0.1:2/x?ws=a&b=<c>";
  FrontendHost host(backend, ADDRESS, {}, {uri, false});
  host.start();
  host.load_failed({uri, "Load request cancelled", true});
  EXPECT_TRUE(backend.pages.empty());

  host.load_failed({uri, "Could not connect to 127.0.0.1: Connection refused", false});
  ASSERT_EQ(backend.pages.size(), 1u);
  EXPECT_EQ(backend.pages[0].address, uri);
  EXPECT_THAT(backend.pages[0].html, HasSubstr("http://127.0.0.1:2/x?ws=a&amp;b=&lt;c&gt;"));
  EXPECT_THAT(backend.pages[0].html, HasSubstr("Could not connect to 127.0.0.1: Connection refused"));
  EXPECT_TRUE(host.allow_navigation({uri, NavigationKind::Other, false}));

  // Its own address failing does not bring the page back and back.
  host.load_failed({uri, "again", false});
  EXPECT_EQ(backend.pages.size(), 1u);
  // Until the user tries again: the link loads the frontend once more.
  EXPECT_TRUE(host.allow_navigation({uri, NavigationKind::LinkClicked, false}));
  host.load_failed({uri, "again", false});
  EXPECT_EQ(backend.pages.size(), 2u);

  // A failure elsewhere is shown under its own address, which the host then
  // lets through although the window would not go there otherwise.
  host.load_failed({"http://127.0.0.1:3/elsewhere", "refused", false});
  EXPECT_TRUE(host.allow_navigation({"http://127.0.0.1:3/elsewhere", NavigationKind::Other, false}));
  EXPECT_TRUE(backend.opened.empty());
}

}  // namespace
}  // namespace vorbek
