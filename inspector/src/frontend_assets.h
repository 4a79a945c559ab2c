// The debugger frontend, built into the program's read-only data.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vorbek {

struct FrontendAsset {
  std::string_view path;  // relative, "/"-separated, never NUL-terminated
  std::optional<std::uint64_t> modified_time;  // seconds since the Unix epoch
  std::optional<std::uint64_t> created_time;
  std::array<std::uint8_t, 32> sha256_digest;
  std::span<const std::uint8_t> content;
};

// Sorted by path in plain byte order; generated at build time.
extern const std::span<const FrontendAsset> FRONTEND_ASSETS;

// The entry whose path equals `key` once backslashes become "/", or nullptr.
const FrontendAsset* find_frontend_asset(std::string_view key);

}  // namespace vorbek
