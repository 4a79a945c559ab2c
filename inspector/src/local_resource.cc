#include "local_resource.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "ascii.h"

namespace vorbek {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = ascii_lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

Error file_error(const std::error_code& code) { return Error::os(code.value(), code.message()); }

// Where paths begin with a drive (Windows), file:///C:/dir names C:/dir,
// and two leading separators name another machine's share.
bool paths_have_drives() { return std::filesystem::path("C:/").has_root_name(); }

bool is_separator(char c) { return c == '/' || c == '\\'; }

bool is_drive_path(std::string_view path) {
  return path.size() >= 2 && ascii_lower(path[0]) >= 'a' && ascii_lower(path[0]) <= 'z' &&
         path[1] == ':' && (path.size() == 2 || is_separator(path[2]));
}

// The file system's own form of a UTF-8 path, on every platform.
std::filesystem::path file_system_path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
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
    // A NUL would end the path early when the system reads it.
    if (high == 0 && low == 0) return Error("the path contains a NUL");
    path += static_cast<char>(high * 16 + low);
    i += 2;
  }
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
  const std::filesystem::path file = file_system_path(*path);

  // Checked before opening: a FIFO or a device would block or never end.
  std::error_code code;
  const auto status = std::filesystem::status(file, code);
  if (code) return fail(file_error(code));
  if (!std::filesystem::is_regular_file(status)) return fail(Error("not a regular file"));
  const auto size = std::filesystem::file_size(file, code);
  if (code) return fail(file_error(code));
  if (size > max_size) {
    return fail(Error("larger than " + std::to_string(max_size) + " bytes"));
  }

  std::ifstream in(file, std::ios::binary);
  if (!in) return fail(file_error(std::error_code(errno, std::generic_category())));
  // The file may grow between the check and the read; the limit still holds.
  std::string content(static_cast<std::size_t>(size), '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad()) return fail(Error("read failed"));
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
