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

// The first target, and where the inspector that named it was reached.
struct InspectorTarget {
  std::string ws_target;
  // Reached over a loopback address: the engine runs on this machine, so
  // the file:// paths its scripts name are this machine's files.
  bool on_this_machine = false;
};

Result<InspectorTarget> discover_inspector_target(const std::string& inspector_address,
                                                  const DiscoveryTiming& timing = {});

// discover_inspector_target's WebSocket target alone.
Result<std::string> discover_ws_target(const std::string& inspector_address,
                                       const DiscoveryTiming& timing = {});

// One attempt of the HTTP exchange; the reply body on success. `loopback`,
// when given, tells whether the inspector was reached over a loopback address.
Result<std::string> fetch_targets_body(const std::string& inspector_address,
                                       std::chrono::milliseconds read_timeout = READ_TIMEOUT,
                                       bool* loopback = nullptr);

// Element 0's webSocketDebuggerUrl, without its "ws://" or "wss://".
Result<std::string> select_ws_target(std::string_view body);

}  // namespace vorbek
