// Asking the inspector's "/json" for the first WebSocket target.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "error.h"

namespace vorbek {

inline constexpr std::chrono::milliseconds DISCOVERY_DEADLINE{5000};
inline constexpr std::chrono::milliseconds RETRY_PAUSE{150};
inline constexpr std::chrono::milliseconds READ_TIMEOUT{3000};

// Tests shorten these; the program always uses the defaults.
struct DiscoveryTiming {
  std::chrono::milliseconds deadline = DISCOVERY_DEADLINE;
  std::chrono::milliseconds retry_pause = RETRY_PAUSE;
  std::chrono::milliseconds read_timeout = READ_TIMEOUT;
};

Result<std::string> discover_ws_target(const std::string& inspector_address,
                                       const DiscoveryTiming& timing = {});

// One attempt of the HTTP exchange; the reply body on success.
Result<std::string> fetch_targets_body(const std::string& inspector_address,
                                       std::chrono::milliseconds read_timeout = READ_TIMEOUT);

// Element 0's webSocketDebuggerUrl, without its "ws://" or "wss://".
Result<std::string> select_ws_target(std::string_view body);

}  // namespace vorbek
