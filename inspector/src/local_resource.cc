#include "local_resource.h"

#include <filesystem>

#include "ascii.h"
#include "regular_file.h"

namespace vorbek {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = ascii_lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Where paths begin with a drive (Windows), file:///C:/dir names C:/dir,
// and two leading separators name another machine's share.
bool paths_have_drives() { return std::filesystem::path("C:/").has_root_name(); }

bool is_separator(char c) { return c == '/' || c == '\\'; }

bool is_drive_path(std::string_view path) {
  return path.size() >= 2 && ascii_lower(path[0]) >= 'a' && ascii_lower(path[0]) <= 'z' &&
         path[1] == ':' && (path.size() == 2 || is_separator(path[2]));
}

}  // namespace

Result<std::string> local_path_for_url(std::string_view url) {
  constexpr std::string_view PREFIX = "file://";
  if (!starts_with_ignoring_ascii_case(url, PREFIX)) return Error("not a file:// URL");
  std::string_view rest = url.substr(PREFIX.size());
  rest = rest.substr(0, rest.find_first_of("?#"));
  // A host would be another machine's file, which is not ours to fetch.
  std::size_t slash = rest.find('/');
  if (slash != 0) return Error("the URL names a host, not a local file");

  std::string path;
  path.reserve(rest.size());
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] != '%') {
      path += rest[i];
      continue;
    }
    int high = i + 2 < rest.size() ? hex_value(rest[i + 1]) : -1;
    int low = high >= 0 ? hex_value(rest[i + 2]) : -1;
    if (low < 0) return Error("malformed percent escape");
    const char decoded = static_cast<char>(high * 16 + low);
    // An escaped separator is no part of a name; as node's fileURLToPath
    // does, it is refused, so a check on the URL's segments sees the path's.
    if (decoded == '/' || (decoded == '\\' && paths_have_drives())) {
      return Error("the path contains an escaped separator");
    }
    path += decoded;
    i += 2;
  }
  // Escaped or raw (a JSON request can carry "\u0000"), a NUL would end the
  // path early when the system opens it: file:///etc/passwd%00.map.
  if (path.find('\0') != std::string::npos) return Error("the path contains a NUL");
  if (paths_have_drives()) {
    if (is_drive_path(std::string_view(path).substr(1))) path.erase(0, 1);
    if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
      return Error("the URL names a host, not a local file");
    }
  }
  return path;
}

Result<std::string> read_local_resource(std::string_view url, std::size_t max_size) {
  auto path = local_path_for_url(url);
  if (!path) return std::move(path).error().wrap("cannot read " + std::string(url));
  auto fail = [&](Error error) { return std::move(error).wrap("cannot read " + *path); };
  auto content = read_regular_file(*path, max_size);
  if (!content) return fail(std::move(content).error());
  return content;
}

std::string describe_for_frontend(const Error& error) {
  std::string text;
  for (const auto& message : error.messages()) {
    if (!text.empty()) text += ": ";
    text += message;
  }
  return text;
}

}  // namespace vorbek
