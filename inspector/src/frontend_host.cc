#include "frontend_host.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>

#include "ascii.h"
#include "console.h"
#include "discovery.h"
#include "frontend_policy.h"
#include "host_pages.h"
#include "link_policy.h"
#include "local_resource.h"

namespace vorbek {
namespace {

using nlohmann::json;

std::string_view without_query(std::string_view uri) {
  return uri.substr(0, uri.find_first_of("?#"));
}

// "scheme://authority" of an absolute URI.
std::string_view origin_of(std::string_view uri) {
  std::size_t separator = uri.find("://");
  if (separator == std::string_view::npos) return {};
  return uri.substr(0, uri.find_first_of("/?#", separator + 3));
}

bool is_user_navigation(NavigationKind kind) { return kind != NavigationKind::Other; }

// Text that is not UTF-8 (a file's bytes) is sent with U+FFFD in its place.
std::string to_text(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

Result<std::string> string_member(const json& request, const char* name) {
  auto member = request.find(name);
  if (member == request.end() || !member->is_string()) {
    return Error(std::string("the request has no string \"") + name + "\"");
  }
  return member->get<std::string>();
}

}  // namespace

FrontendHost::FrontendHost(HostBackend& backend, std::string inspector_address,
                           const InspectorTarget& target, const FrontendUrl& frontend,
                           DiscoverTarget discover)
    : backend_(backend),
      inspector_address_(std::move(inspector_address)),
      embedded_(frontend.embedded),
      discover_(discover ? std::move(discover)
                         : [](const std::string& address) {
                             return discover_inspector_target(address);
                           }),
      frontend_prefix_(backend.engine_address(FRONTEND_ORIGIN_PREFIX)),
      frontend_address_(backend.engine_address(frontend.text)),
      ws_target_(target.ws_target),
      on_this_machine_(target.on_this_machine) {}

FrontendHost::~FrontendHost() {
  if (discovery_.joinable()) discovery_.join();
}

void FrontendHost::start() { load(frontend_address_); }

void FrontendHost::handle_request(std::string_view page_uri, std::string_view request,
                                  const SendReply& reply) {
  auto text = reply_for(page_uri, request);
  if (!text) {
    reply({false, describe_for_frontend(text.error())});
    return;
  }
  reply({true, std::move(text).value()});
}

void FrontendHost::handle_posted_message(std::string_view page_uri, std::string_view message,
                                         const PostReply& post) {
  json envelope = json::parse(message, nullptr, false);
  // Without a number to reply to, the page could not tell the reply apart.
  if (!envelope.is_object() || !envelope.contains("id") || !envelope["id"].is_number()) return;
  const std::string id = to_text(envelope["id"]);
  handle_request(page_uri, message, [&](HostReply host_reply) {
    // The reply is JSON already, and may be a large file's text: it goes in
    // as it is, not parsed again.
    if (host_reply.ok) {
      post("{\"id\":" + id + ",\"reply\":" + host_reply.text + "}");
    } else {
      post(to_text(json{{"id", envelope["id"]}, {"error", std::move(host_reply.text)}}));
    }
  });
}

Result<std::string> FrontendHost::reply_for(std::string_view page_uri, std::string_view text) {
  // Only the embedded frontend's pages: a frontend from elsewhere has no
  // business reading the user's files or driving the window through us.
  if (!is_frontend_page(page_uri)) return Error("not the embedded frontend");
  json request = json::parse(text, nullptr, false);
  if (!request.is_object()) return Error("the request is not a JSON object");
  auto name = string_member(request, "request");
  if (!name) return std::move(name).error();

  if (*name == "loadFile") {
    auto url = string_member(request, "url");
    if (!url) return std::move(url).error();
    // A remote engine's paths name files on its own machine; here they
    // would name whatever the user has at that path.
    if (!on_this_machine_) {
      return Error("the inspector at " + inspector_address_ + " is not on this machine")
          .wrap("cannot read " + *url);
    }
    auto content = read_local_resource(*url);
    if (!content) return std::move(content).error();
    return to_text(json{{"text", std::move(content).value()}});
  }
  if (*name == "copyText") {
    auto text_to_copy = string_member(request, "text");
    if (!text_to_copy) return std::move(text_to_copy).error();
    backend_.copy_text(*text_to_copy);
    return std::string("{}");
  }
  if (*name == "openLink") {
    auto url = string_member(request, "url");
    if (!url) return std::move(url).error();
    if (link_target(frontend_address_, *url) != LinkTarget::Browser) {
      return Error("not a web address: " + *url);
    }
    if (auto opened = backend_.open_in_browser(*url); !opened) {
      return std::move(opened).error().wrap("cannot open " + *url + " in a browser");
    }
    return std::string("{}");
  }
  if (*name == "reconnect") {
    if (reconnecting()) return Error("a reconnect is already running");
    reconnect();
    return std::string("{}");
  }
  return Error("unknown request: " + *name);
}

std::string FrontendHost::content_security_policy(std::string_view request_uri) const {
  if (!embedded_) return {};
  std::string_view path = without_query(request_uri);
  path.remove_prefix(std::min(path.size(), origin_of(path).size()));
  path.remove_prefix(std::min(path.find_first_not_of('/'), path.size()));
  return frontend_content_security_policy(path.empty() ? "js_app.html" : path, ws_target_);
}

bool FrontendHost::may_request(std::string_view uri) const {
  return !embedded_ || frontend_may_request(uri, origin_of(frontend_address_), ws_target_);
}

bool FrontendHost::is_frontend_page(std::string_view uri) const {
  return starts_with_ignoring_ascii_case(uri, frontend_prefix_);
}

// The embedded frontend's entry page, whatever its target: the user asks
// for the frontend again, which only a reconnect can give.
bool FrontendHost::is_frontend_entry(std::string_view uri) const {
  return embedded_ &&
         equals_ignoring_ascii_case(without_query(uri), without_query(frontend_address_));
}

// A reconnect whose result never reached the main thread: the window says
// so at the host's next chance, in place of what was asked.
bool FrontendHost::show_lost_discovery() {
  if (!discovery_lost_.exchange(false)) return false;
  reconnecting_ = false;
  if (discovery_.joinable()) discovery_.join();
  show_page(reconnect_failure_page(
                format_failure_report(Error("the window's loop did not take it")
                                          .wrap("the inspector's answer was lost")),
                frontend_address_),
            frontend_address_);
  return true;
}

bool FrontendHost::allow_navigation(const Navigation& navigation) {
  if (!navigation.own && show_lost_discovery()) return false;
  const std::string& uri = navigation.uri;
  if (navigation.new_window) {
    // The page gets no window of ours; a web address opens in the browser.
    if (link_target(frontend_address_, uri) == LinkTarget::Browser) open_in_browser(uri);
    return false;
  }
  if (navigation.own) return true;
  if (!is_user_navigation(navigation.kind)) {
    if (uri == own_address_) return true;
  } else {
    crash_page_allowed_ = true;
    own_page_address_.clear();
    // A reload, or the link on one of the host's pages: the old target is
    // gone or going, so the frontend is built again for the current one.
    if (is_frontend_entry(uri)) {
      reconnect();
      return false;
    }
  }
  LinkTarget target = link_target(frontend_address_, uri);
  if (target == LinkTarget::Window) return true;
  // Only a link the user clicked opens the browser; a page that moves
  // itself elsewhere is just stopped.
  if (target == LinkTarget::Browser && navigation.kind == NavigationKind::LinkClicked) {
    open_in_browser(uri);
  }
  return false;
}

void FrontendHost::page_process_ended(std::string_view reason) {
  if (!crash_page_allowed_) return;
  show_crash_page(reason);
}

void FrontendHost::show_crash_page(std::string_view reason) {
  crash_page_allowed_ = false;
  show_page(crash_page(reason, frontend_address_), frontend_address_);
}

void FrontendHost::load_failed(const LoadFailure& failure) {
  if (failure.on_purpose) return;
  // The host's own page failing would only bring itself back.
  if (!own_page_address_.empty() && failure.uri == own_page_address_) return;
  show_page(load_error_page(failure.uri, failure.reason), failure.uri);
}

void FrontendHost::reconnect() {
  crash_page_allowed_ = true;
  if (!embedded_) {
    load(frontend_address_);
    return;
  }
  // Not queued: the one running answers for this request too.
  if (reconnecting()) return;
  reconnecting_ = true;
  discovery_lost_ = false;
  if (discovery_.joinable()) discovery_.join();
  discovery_ = std::thread([this, address = inspector_address_, discover = discover_] {
    auto target = std::make_shared<Result<InspectorTarget>>(discover(address));
    // A full queue drains; a loop that is gone never takes it.
    for (int attempt = 0; attempt < 20; ++attempt) {
      if (backend_.post_to_main([this, target] { discovery_finished(std::move(*target)); })) {
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    discovery_lost_ = true;
  });
}

void FrontendHost::discovery_finished(Result<InspectorTarget> target) {
  reconnecting_ = false;
  discovery_.join();  // it ends right after handing the result over
  if (!target) {
    show_page(reconnect_failure_page(format_failure_report(target.error()), frontend_address_),
              frontend_address_);
    return;
  }
  ws_target_ = target->ws_target;
  on_this_machine_ = target->on_this_machine;
  frontend_address_ = backend_.engine_address(embedded_frontend_url(ws_target_));
  load(frontend_address_);
}

void FrontendHost::load(const std::string& address) {
  // The engine would refuse it, WebKit without a word; no later try can
  // succeed, so the page offers none.
  if (uses_blocked_port(address)) {
    show_page(load_error_page(address, BLOCKED_PORT_REASON, false), address);
    return;
  }
  own_address_ = address;
  own_page_address_.clear();
  if (embedded_) backend_.confine_requests(std::string(origin_of(frontend_address_)), ws_target_);
  backend_.load(address);
}

void FrontendHost::show_page(const std::string& html, const std::string& address) {
  own_address_ = address;
  own_page_address_ = address;
  backend_.show_html(html, address);
}

// Nothing in the window could show this failure, so it goes to stderr.
void FrontendHost::open_in_browser(const std::string& uri) {
  if (auto opened = backend_.open_in_browser(uri); !opened) {
    write_stderr(format_failure_report(
        std::move(opened).error().wrap("cannot open " + uri + " in a browser")));
  }
}

}  // namespace vorbek
