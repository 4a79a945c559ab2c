// The byte-level side of the "/json" exchange, free of any I/O.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "error.h"

namespace vorbek {

inline constexpr std::size_t MAX_REPLY_BYTES = 64 * 1024 * 1024;

std::string build_targets_request(std::string_view inspector_address);

// Length of the whole reply once the headers carry a valid Content-Length
// and that many body bytes are in `received`; nothing before that.
std::optional<std::size_t> complete_reply_length(std::string_view received);

// UTF-8 check, header split and status test; the body on success.
Result<std::string> body_from_reply(std::string_view reply);

}  // namespace vorbek
