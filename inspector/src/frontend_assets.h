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

// A top-level page and the Link header value that preloads its static
// module graph; generated at build time.
struct PagePreload {
  std::string_view page;
  std::string_view link;
};
extern const std::span<const PagePreload> FRONTEND_PAGE_PRELOADS;

// A top-level page and the content security policy sources ("'sha256-...'")
// that allow its inline scripts; generated at build time.
struct PageScriptHashes {
  std::string_view page;
  std::string_view hashes;
};
extern const std::span<const PageScriptHashes> FRONTEND_PAGE_SCRIPT_HASHES;

// The hash sources of the inline scripts of `page` (a table path), or empty.
std::string_view page_inline_script_hashes(std::string_view page);

// The preload Link value for `page` (a table path), or empty.
std::string_view page_preload_link(std::string_view page);

// The entry whose path equals `key` once backslashes become "/", or nullptr.
const FrontendAsset* find_frontend_asset(std::string_view key);

}  // namespace vorbek
