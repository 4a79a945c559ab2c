// The host bridge on arbitrary messages from the page, as web messages
// carry them: {"id":N,"request":...}, answered with {"id":N,...}.
//
// Input: one byte of settings (the FLAG_ bits), then messages separated by
// 0x1E, handled in order by one host, so a reconnect can change the target
// that later requests see.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "frontend_host.h"
#include "frontend_url.h"
#include "fuzz_check.h"
#include "link_policy.h"
#include "url_rewrite.h"

namespace {

using nlohmann::json;

constexpr std::uint8_t FLAG_ON_THIS_MACHINE = 1;
constexpr std::uint8_t FLAG_BROWSER_FAILS = 2;
constexpr std::uint8_t FLAG_DISCOVERY_FAILS = 4;
constexpr std::uint8_t FLAG_DISCOVERED_ON_THIS_MACHINE = 8;
constexpr std::uint8_t FLAG_FOREIGN_PAGE = 16;

constexpr const char* ADDRESS = "127.0.0.1:9229";
constexpr const char* TARGET = "127.0.0.1:9229/old";
constexpr const char* NEW_TARGET = "127.0.0.1:9229/new";

// Records what the host does; never touches the system. Posted work waits
// until the harness runs it, as the event loop would.
class FakeBackend : public vorbek::HostBackend {
 public:
  std::string engine_address(std::string_view frontend_url) const override {
    return vorbek::engine_url_for(frontend_url);
  }
  void load(const std::string& address) override { loads.push_back(address); }
  void show_html(const std::string&, const std::string& address) override {
    pages.push_back(address);
  }
  void copy_text(const std::string& text) override { clipboard = text; }
  vorbek::Status open_in_browser(const std::string& uri) override {
    opened.push_back(uri);
    if (browser_fails) return vorbek::Error("no browser");
    return {};
  }
  bool post_to_main(std::function<void()> task) override {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
    arrived_.notify_all();
    return true;
  }
  // The discovery answers at once, so its result is posted soon.
  void run_posted() {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      arrived_.wait(lock, [&] { return !posted_.empty(); });
      task = std::move(posted_.front());
      posted_.pop_front();
    }
    task();
  }

  std::vector<std::string> loads, pages, opened;
  std::optional<std::string> clipboard;
  bool browser_fails = false;

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> posted_;
};

const json* member(const json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  auto found = object.find(name);
  return found == object.end() ? nullptr : &*found;
}

bool is_request(const json& message, std::string_view name) {
  const json* request = member(message, "request");
  return request && request->is_string() && request->get<std::string>() == name;
}

void check_message(vorbek::FrontendHost& host, FakeBackend& backend, std::string_view page,
                   bool frontend_page, bool& on_this_machine, std::uint8_t flags,
                   std::string_view message) {
  const std::size_t opened_before = backend.opened.size();
  const std::size_t loads_before = backend.loads.size();
  backend.clipboard.reset();
  std::vector<std::string> posts;
  host.handle_posted_message(page, message,
                             [&](std::string post) { posts.push_back(std::move(post)); });

  const json request = json::parse(message, nullptr, false);
  const json* id = member(request, "id");
  if (!id || !id->is_number()) {
    // Nothing the page could match a reply to, so nothing is done either.
    FUZZ_CHECK(posts.empty());
    FUZZ_CHECK(backend.opened.size() == opened_before && !backend.clipboard);
    FUZZ_CHECK(!host.reconnecting());
    return;
  }
  FUZZ_CHECK(posts.size() == 1);
  const json reply = json::parse(posts[0], nullptr, false);
  FUZZ_CHECK(reply.is_object() && reply.size() == 2);
  const json* reply_id = member(reply, "id");
  FUZZ_CHECK(reply_id && *reply_id == *id);
  const json* answer = member(reply, "reply");
  const json* error = member(reply, "error");
  FUZZ_CHECK((answer && answer->is_object()) != (error && error->is_string()));
  const bool ok = answer != nullptr;

  if (!frontend_page) FUZZ_CHECK(!ok);
  // A remote engine's paths are not this machine's files.
  if (is_request(request, "loadFile") && ok) {
    FUZZ_CHECK(on_this_machine);
    const json* text = member(*answer, "text");
    FUZZ_CHECK(text && text->is_string());
  }
  if (is_request(request, "copyText") && ok) {
    FUZZ_CHECK(backend.clipboard && *backend.clipboard == request["text"].get<std::string>());
  } else {
    FUZZ_CHECK(!backend.clipboard);
  }
  // Only openLink opens the browser, and only for web addresses.
  if (!is_request(request, "openLink") || !frontend_page) {
    FUZZ_CHECK(backend.opened.size() == opened_before);
  }
  for (std::size_t i = opened_before; i < backend.opened.size(); ++i) {
    FUZZ_CHECK(vorbek::link_target(host.frontend_address(), backend.opened[i]) ==
               vorbek::LinkTarget::Browser);
  }
  if (is_request(request, "openLink") && ok) FUZZ_CHECK(backend.opened.size() == opened_before + 1);
  if (backend.browser_fails && is_request(request, "openLink")) FUZZ_CHECK(!ok);

  if (!host.reconnecting()) return;
  FUZZ_CHECK(is_request(request, "reconnect") && ok);
  backend.run_posted();
  FUZZ_CHECK(!host.reconnecting());
  if (flags & FLAG_DISCOVERY_FAILS) {
    FUZZ_CHECK(backend.loads.size() == loads_before);
    return;
  }
  on_this_machine = (flags & FLAG_DISCOVERED_ON_THIS_MACHINE) != 0;
  FUZZ_CHECK(backend.loads.size() == loads_before + 1);
  FUZZ_CHECK(backend.loads.back() == host.frontend_address());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

  bool on_this_machine = (flags & FLAG_ON_THIS_MACHINE) != 0;
  auto discover = [flags](const std::string&) -> vorbek::Result<vorbek::InspectorTarget> {
    if (flags & FLAG_DISCOVERY_FAILS) return vorbek::Error("connection refused");
    return vorbek::InspectorTarget{NEW_TARGET, (flags & FLAG_DISCOVERED_ON_THIS_MACHINE) != 0};
  };
  FakeBackend backend;
  backend.browser_fails = (flags & FLAG_BROWSER_FAILS) != 0;
  const vorbek::FrontendUrl frontend{vorbek::embedded_frontend_url(TARGET), true};
  vorbek::FrontendHost host(backend, ADDRESS, {TARGET, on_this_machine}, frontend, discover);
  host.start();

  const bool frontend_page = (flags & FLAG_FOREIGN_PAGE) == 0;
  const std::string page = frontend_page ? host.frontend_address()
                                         : std::string("http://127.0.0.1:8000/js_app.html");
  for (std::size_t start = 0; start <= input.size();) {
    std::size_t end = input.find('\x1e', start);
    if (end == std::string_view::npos) end = input.size();
    check_message(host, backend, page, frontend_page, on_this_machine, flags,
                  input.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}
