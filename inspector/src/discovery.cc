#include "discovery.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <vector>

#include "clock.h"
#include "http_reply.h"
#include "net.h"
#include "socket_address.h"

namespace vorbek {
namespace {

constexpr std::size_t RECEIVE_CHUNK = 64 * 1024;

std::string targets_failure(const std::string& address) {
  return "failed to read inspector targets from http://" + address + "/json";
}

Result<TcpStream> connect_to_inspector(const std::string& address, bool& loopback) {
  auto plan = parse_inspector_address(address);
  if (!plan) return std::move(plan).error().wrap("connect to inspector at " + address);

  std::vector<SocketAddress> candidates;
  if (auto* numeric = std::get_if<SocketAddress>(&plan.value())) {
    candidates.push_back(*numeric);
  } else {
    const auto& named = std::get<HostAndPort>(plan.value());
    auto resolved = resolve_host(named.host, named.port);
    if (!resolved) return std::move(resolved).error().wrap("connect to inspector at " + address);
    candidates = std::move(resolved).value();
  }

  std::optional<Error> last_error;
  for (const auto& candidate : candidates) {
    auto stream = TcpStream::connect(candidate);
    if (stream) {
      loopback = is_loopback(candidate);
      return stream;
    }
    last_error = std::move(stream).error();
  }
  Error error = last_error ? std::move(*last_error) : Error("could not resolve to any addresses");
  return std::move(error).wrap("connect to inspector at " + address);
}

// Until the peer ends the stream, or as soon as a Content-Length is met:
// real inspectors keep the connection open whatever the request asks. One
// byte past the size bound also ends it, for body_from_reply to refuse.
Result<std::string> receive_reply(TcpStream& stream) {
  std::string reply;
  // Pages are only touched as bytes arrive; growing by copies would hold
  // two large buffers at once near the bound.
  reply.reserve(MAX_REPLY_BYTES + 1);
  ReplyScanner scanner;
  for (;;) {
    if (auto complete = scanner.complete_length(reply)) {
      reply.resize(*complete);
      return reply;
    }
    if (reply.size() > MAX_REPLY_BYTES) return reply;
    const std::size_t used = reply.size();
    const std::size_t want = std::min(RECEIVE_CHUNK, MAX_REPLY_BYTES + 1 - used);
    reply.resize(used + want);
    auto received = stream.receive(reply.data() + used, want);
    if (!received) return std::move(received).error();
    reply.resize(used + *received);
    if (*received == 0) return reply;
  }
}

}  // namespace

Result<std::string> fetch_targets_body(const std::string& inspector_address,
                                       std::chrono::milliseconds read_timeout, bool* loopback) {
  bool reached_loopback = false;
  auto stream = connect_to_inspector(inspector_address, reached_loopback);
  if (loopback) *loopback = reached_loopback;
  if (!stream) return std::move(stream).error();
  if (auto set = stream->set_receive_timeout(read_timeout); !set) return std::move(set).error();
  if (auto sent = stream->send_all(build_targets_request(inspector_address)); !sent) {
    return std::move(sent).error();
  }
  auto reply = receive_reply(*stream);
  if (!reply) return std::move(reply).error();
  return body_from_reply(*reply);
}

Result<std::string> select_ws_target(std::string_view body) {
  // The whole body is parsed, but of the top-level array only element 0 is
  // kept: however long the list, the document stays the size of one target.
  std::size_t top_level_values = 0;
  auto keep_element_zero = [&top_level_values](int depth, nlohmann::json::parse_event_t event,
                                               nlohmann::json&) {
    using Event = nlohmann::json::parse_event_t;
    if (depth != 1) return true;
    if (event == Event::value || event == Event::object_start || event == Event::array_start) {
      return top_level_values++ == 0;
    }
    return true;
  };
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(body, keep_element_zero);
  } catch (const nlohmann::json::exception& e) {
    // Not only parse_error: a number beyond double's range ("1e999") throws
    // out_of_range, which would otherwise end the process.
    return Error(e.what()).wrap("inspector /json was not valid JSON");
  }

  const nlohmann::json* url = nullptr;
  if (document.is_array() && !document.empty() && document[0].is_object()) {
    auto member = document[0].find("webSocketDebuggerUrl");
    if (member != document[0].end() && member->is_string()) url = &*member;
  }
  if (!url) return Error("no webSocketDebuggerUrl in inspector /json: " + std::string(body));

  std::string_view target = url->get_ref<const std::string&>();
  if (target.starts_with("ws://")) {
    target.remove_prefix(5);
  } else if (target.starts_with("wss://")) {
    target.remove_prefix(6);
  }
  return std::string(target);
}

Result<InspectorTarget> discover_inspector_target(const std::string& inspector_address,
                                                  const DiscoveryTiming& timing) {
  const auto deadline = monotonic_now() + timing.deadline;
  for (;;) {
    bool loopback = false;
    auto body = fetch_targets_body(inspector_address, timing.read_timeout, &loopback);
    if (body) {
      auto target = select_ws_target(*body);
      if (!target) return std::move(target).error().wrap(targets_failure(inspector_address));
      return InspectorTarget{std::move(target).value(), loopback};
    }
    if (monotonic_now() >= deadline) {
      return std::move(body).error().wrap(targets_failure(inspector_address));
    }
    sleep_for(timing.retry_pause);
  }
}

Result<std::string> discover_ws_target(const std::string& inspector_address,
                                       const DiscoveryTiming& timing) {
  auto target = discover_inspector_target(inspector_address, timing);
  if (!target) return std::move(target).error();
  return std::move(target->ws_target);
}

}  // namespace vorbek
