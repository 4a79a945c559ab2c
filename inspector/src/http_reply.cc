#include "http_reply.h"

#include "ascii.h"
#include "utf8.h"

namespace vorbek {
namespace {

constexpr std::string_view HEADER_END = "\r\n\r\n";

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The Content-Length of a header block, when every such header is valid
// and they agree.
std::optional<std::size_t> content_length(std::string_view headers) {
  std::optional<std::size_t> length;
  size_t line_start = headers.find('\n');  // skip the status line
  while (line_start != std::string_view::npos) {
    ++line_start;
    size_t line_end = headers.find('\n', line_start);
    std::string_view line = headers.substr(line_start, line_end == std::string_view::npos
                                                           ? std::string_view::npos
                                                           : line_end - line_start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    line_start = line_end;

    const size_t colon = line.find(':');
    if (colon == std::string_view::npos ||
        !equals_ignoring_ascii_case(line.substr(0, colon), "content-length")) {
      continue;
    }
    std::string_view value = trim_blanks(line.substr(colon + 1));
    if (value.empty()) return std::nullopt;
    std::size_t n = 0;
    for (char c : value) {
      if (c < '0' || c > '9') return std::nullopt;
      n = n * 10 + static_cast<std::size_t>(c - '0');
      if (n > MAX_REPLY_BYTES) return std::nullopt;  // never completes in bounds anyway
    }
    if (length && *length != n) return std::nullopt;
    length = n;
  }
  return length;
}

}  // namespace

std::string build_targets_request(std::string_view inspector_address) {
  std::string request = "GET /json HTTP/1.0\r\nHost: ";
  request += inspector_address;
  request += "\r\nAccept: application/json\r\nConnection: close\r\n\r\n";
  return request;
}

std::optional<std::size_t> complete_reply_length(std::string_view received) {
  return ReplyScanner().complete_length(received);
}

std::optional<std::size_t> ReplyScanner::complete_length(std::string_view received) {
  if (!headers_read_) {
    // The terminator may straddle the previous end.
    const size_t from = searched_ < HEADER_END.size() ? 0 : searched_ - (HEADER_END.size() - 1);
    const size_t header_end = received.find(HEADER_END, from);
    if (header_end == std::string_view::npos) {
      searched_ = received.size();
      return std::nullopt;
    }
    headers_read_ = true;
    if (auto length = content_length(received.substr(0, header_end))) {
      total_ = header_end + HEADER_END.size() + *length;
    }
  }
  if (!total_ || received.size() < *total_) return std::nullopt;
  return total_;
}

Result<std::string> body_from_reply(std::string_view reply) {
  if (reply.size() > MAX_REPLY_BYTES) {
    return Error("inspector reply exceeds " + std::to_string(MAX_REPLY_BYTES) + " bytes");
  }
  if (!is_valid_utf8(reply)) return Error("stream did not contain valid UTF-8");

  const size_t header_end = reply.find(HEADER_END);
  if (header_end == std::string_view::npos) {
    return Error("malformed HTTP response from inspector");
  }
  std::string_view status_line = reply.substr(0, header_end);
  if (size_t lf = status_line.find('\n'); lf != std::string_view::npos) {
    status_line = status_line.substr(0, lf);
    if (status_line.ends_with('\r')) status_line.remove_suffix(1);
  }
  if (status_line.find("200") == std::string_view::npos) {
    return Error("inspector returned non-200: " + std::string(status_line));
  }
  return std::string(reply.substr(header_end + HEADER_END.size()));
}

}  // namespace vorbek
