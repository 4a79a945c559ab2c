#include "frontend_assets.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace vorbek {

namespace {

// Plain byte order: unsigned bytes over the shorter length, then length.
// Negative when `path` sorts before `key`.
int compare_path(std::string_view path, std::string_view key) {
  const size_t common = std::min(path.size(), key.size());
  if (common != 0) {
    if (int c = std::memcmp(path.data(), key.data(), common); c != 0) return c;
  }
  return (path.size() > key.size()) - (path.size() < key.size());
}

}  // namespace

const FrontendAsset* find_frontend_asset(std::string_view key) {
  if (FRONTEND_ASSETS.empty()) return nullptr;
  std::string wanted(key);
  std::replace(wanted.begin(), wanted.end(), '\\', '/');

  // Every lookup makes the same number of probes, hit or miss: no early exit
  // on equality, and the next base is picked arithmetically, not by a branch.
  const FrontendAsset* base = FRONTEND_ASSETS.data();
  size_t size = FRONTEND_ASSETS.size();
  while (size > 1) {
    const size_t half = size / 2;
    const bool not_greater = compare_path(base[half].path, wanted) <= 0;
    base += static_cast<size_t>(not_greater) * half;
    size -= half;
  }
  return compare_path(base->path, wanted) == 0 ? base : nullptr;
}

std::string_view page_preload_link(std::string_view page) {
  for (const PagePreload& preload : FRONTEND_PAGE_PRELOADS) {
    if (preload.page == page) return preload.link;
  }
  return {};
}

std::string_view page_inline_script_hashes(std::string_view page) {
  for (const PageScriptHashes& row : FRONTEND_PAGE_SCRIPT_HASHES) {
    if (row.page == page) return row.hashes;
  }
  return {};
}

}  // namespace vorbek
