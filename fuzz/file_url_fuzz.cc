// The file:// URL -> local path decoding behind the bridge's loadFile.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "ascii.h"
#include "fuzz_check.h"
#include "local_resource.h"

namespace {

constexpr std::string_view PREFIX = "file://";

// The URL a path decodes from: every byte the decoder would treat as
// syntax, and every byte outside printable ASCII, percent-encoded.
std::string file_url_for(std::string_view path) {
  constexpr char HEX[] = "0123456789ABCDEF";
  std::string url(PREFIX);
  // A drive path (C:/dir) sits after the empty host's slash.
  if (path.empty() || path[0] != '/') url += '/';
  for (char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '%' || c == '?' || c == '#' || byte <= 0x20 || byte >= 0x7f) {
      url += '%';
      url += HEX[byte >> 4];
      url += HEX[byte & 15];
    } else {
      url += c;
    }
  }
  return url;
}

void check_url(std::string_view url) {
  auto path = vorbek::local_path_for_url(url);
  const bool file_url = vorbek::starts_with_ignoring_ascii_case(url, PREFIX);
  if (!file_url) {
    FUZZ_CHECK(!path);
    return;
  }
  const std::string_view rest = url.substr(PREFIX.size());
  const std::string_view before_query = rest.substr(0, rest.find_first_of("?#"));
  // Any host, localhost included, names a file that is not ours to read.
  if (before_query.empty() || before_query[0] != '/') FUZZ_CHECK(!path);
  // An escaped NUL or slash in the path is refused, whatever surrounds it.
  for (std::string_view escape : {"%00", "%2F", "%2f"}) {
    if (before_query.find(escape) != std::string_view::npos) FUZZ_CHECK(!path);
  }
  if (!path) return;

  FUZZ_CHECK(!path->empty());
  FUZZ_CHECK(path->find('\0') == std::string::npos);
  FUZZ_CHECK(std::filesystem::path(*path).is_absolute());
  // The query and fragment never reach the path.
  auto without_query =
      vorbek::local_path_for_url(url.substr(0, PREFIX.size() + before_query.size()));
  FUZZ_CHECK(without_query && *without_query == *path);
  // Encoding the path again gives a URL that decodes to the same path.
  auto again = vorbek::local_path_for_url(file_url_for(*path));
  FUZZ_CHECK(again && *again == *path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  check_url(input);
  // Most inputs would stop at the prefix; these reach the decoding.
  check_url("file:///" + std::string(input));
  return 0;
}
