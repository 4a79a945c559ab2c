// Picking element 0's webSocketDebuggerUrl out of an arbitrary body.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "discovery.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  auto target = vorbek::select_ws_target(body);
  const bool valid_json = nlohmann::json::accept(body);

  if (!target) {
    const auto& messages = target.error().messages();
    if (valid_json) {
      // The whole body is quoted as received, and nothing is chained below it.
      FUZZ_CHECK(messages.size() == 1);
      FUZZ_CHECK(messages[0] == "no webSocketDebuggerUrl in inspector /json: " + std::string(body));
      // And the whole document, parsed without skipping, has no target either.
      const auto document = nlohmann::json::parse(body);
      FUZZ_CHECK(!document.is_array() || document.empty() || !document[0].is_object() ||
                 !document[0].contains("webSocketDebuggerUrl") ||
                 !document[0]["webSocketDebuggerUrl"].is_string());
    } else {
      FUZZ_CHECK(messages.size() == 2);
      FUZZ_CHECK(messages[0] == "inspector /json was not valid JSON");
      FUZZ_CHECK(!messages[1].empty());
    }
    return 0;
  }

  FUZZ_CHECK(valid_json);
  const auto document = nlohmann::json::parse(body);
  FUZZ_CHECK(document.is_array() && !document.empty() && document[0].is_object());
  const auto& url = document[0].at("webSocketDebuggerUrl").get_ref<const std::string&>();
  // One leading "ws://", else one leading "wss://", is removed; nothing else changes.
  if (url.starts_with("ws://")) {
    FUZZ_CHECK("ws://" + *target == url);
  } else if (url.starts_with("wss://")) {
    FUZZ_CHECK("wss://" + *target == url);
  } else {
    FUZZ_CHECK(*target == url);
  }
  // So a target still beginning with "ws://" had the scheme written twice.
  FUZZ_CHECK(!target->starts_with("ws://") || url.starts_with("ws://ws://") ||
             url.starts_with("wss://ws://"));
  return 0;
}
