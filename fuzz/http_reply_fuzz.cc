// The received reply turned into a body or an error, and the point at which
// a Content-Length makes a reply complete, in one piece or as it arrives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "http_reply.h"
#include "utf8.h"

namespace {

constexpr std::string_view HEADER_END = "\r\n\r\n";

void check_body(std::string_view reply) {
  auto body = vorbek::body_from_reply(reply);
  const size_t header_end = reply.find(HEADER_END);
  if (body) {
    FUZZ_CHECK(vorbek::is_valid_utf8(reply));
    FUZZ_CHECK(header_end != std::string_view::npos);
    FUZZ_CHECK(*body == reply.substr(header_end + HEADER_END.size()));
    // The status test looks only at the first line of the header block.
    const std::string_view first_line = reply.substr(0, std::min(header_end, reply.find('\n')));
    FUZZ_CHECK(first_line.find("200") != std::string_view::npos);
    return;
  }
  const auto& messages = body.error().messages();
  FUZZ_CHECK(messages.size() == 1);
  const std::string& message = messages[0];
  if (!vorbek::is_valid_utf8(reply)) {
    FUZZ_CHECK(message == "stream did not contain valid UTF-8");
  } else if (header_end == std::string_view::npos) {
    FUZZ_CHECK(message == "malformed HTTP response from inspector");
  } else {
    constexpr std::string_view prefix = "inspector returned non-200: ";
    FUZZ_CHECK(message.starts_with(prefix));
    const std::string_view status_line = std::string_view(message).substr(prefix.size());
    FUZZ_CHECK(status_line.find("200") == std::string_view::npos);
    FUZZ_CHECK(status_line.find('\n') == std::string_view::npos);
    FUZZ_CHECK(reply.starts_with(status_line));
  }
}

void check_completion(std::string_view reply) {
  const auto length = vorbek::complete_reply_length(reply);
  if (!length) return;
  const size_t header_end = reply.find(HEADER_END);
  FUZZ_CHECK(header_end != std::string_view::npos);
  FUZZ_CHECK(*length >= header_end + HEADER_END.size());
  FUZZ_CHECK(*length <= reply.size());
  FUZZ_CHECK(*length - header_end - HEADER_END.size() <= vorbek::MAX_REPLY_BYTES);
  // The receive loop asks after every receive: the answer must not depend on
  // where the stream was cut, so it is complete exactly at `length`.
  FUZZ_CHECK(vorbek::complete_reply_length(reply.substr(0, *length)) == length);
  FUZZ_CHECK(!vorbek::complete_reply_length(reply.substr(0, *length - 1)));
  FUZZ_CHECK(vorbek::complete_reply_length(std::string(reply) + "\r\n\r\nX") == length);
}

// The receive loop's scanner, fed the reply in pieces of varying size, must
// answer for every prefix what the one-shot function answers for the whole:
// nothing before the complete length, that length from then on.
void check_scanner(std::string_view reply) {
  const auto whole = vorbek::complete_reply_length(reply);
  vorbek::ReplyScanner scanner;
  for (size_t size = 0;;) {
    const auto answer = scanner.complete_length(reply.substr(0, size));
    if (whole && size >= *whole) {
      FUZZ_CHECK(answer == whole);
    } else {
      FUZZ_CHECK(!answer);
    }
    if (size == reply.size()) break;
    size = std::min(reply.size(), size + 1 + static_cast<unsigned char>(reply[size]) % 32);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  check_body(reply);
  check_completion(reply);
  check_scanner(reply);
  return 0;
}
