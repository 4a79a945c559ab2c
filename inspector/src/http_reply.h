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

// complete_reply_length for a reply that grows between calls, without
// searching the bytes already searched: a peer that never ends its header
// block would otherwise cost a scan of the whole buffer per receive.
class ReplyScanner {
 public:
  // `received` is everything so far; it only ever grows between calls.
  std::optional<std::size_t> complete_length(std::string_view received);

 private:
  std::size_t searched_ = 0;
  bool headers_read_ = false;
  std::optional<std::size_t> total_;
};

// Size bound, UTF-8 check, header split and status test; the body on success.
Result<std::string> body_from_reply(std::string_view reply);

}  // namespace vorbek
