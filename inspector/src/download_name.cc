#include "download_name.h"

namespace vorbek {

std::string numbered_file_name(std::string_view name, int number) {
  if (number == 0) return std::string(name);
  std::string suffix = " (" + std::to_string(number) + ")";
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(name) + suffix;
  std::string numbered(name.substr(0, dot));
  numbered += suffix;
  numbered += name.substr(dot);
  return numbered;
}

std::string free_numbered_path(std::string_view path,
                               const std::function<bool(const std::string&)>& taken) {
  const size_t slash = path.find_last_of("/\\");
  const size_t name_at = slash == std::string_view::npos ? 0 : slash + 1;
  constexpr int MAX_NUMBER = 9999;
  for (int number = 0; number <= MAX_NUMBER; ++number) {
    std::string candidate(path.substr(0, name_at));
    candidate += numbered_file_name(path.substr(name_at), number);
    if (!taken(candidate)) return candidate;
  }
  return {};
}

namespace {

// "/home/me//" and "/home/me" name the same directory; "/" stays "/".
std::string_view without_trailing_slashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

}  // namespace

std::string download_directory_for(std::string_view configured, std::string_view home) {
  std::string_view directory = without_trailing_slashes(configured);
  std::string_view home_directory = without_trailing_slashes(home);
  if (!directory.empty() && directory != home_directory) return std::string(directory);
  std::string fallback(home_directory);
  if (fallback.empty() || fallback.back() != '/') fallback += '/';
  return fallback + "Downloads";
}

namespace {

// A file's name comes from the page, and a script's name from the target:
// control characters (C0, DEL and C1, which terminals act on) are shown as
// escapes, so that a line can neither move the cursor nor start another.
std::string printable(std::string_view text) {
  static const char HEX[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (byte < 0x20 || byte == 0x7f) {
      out += std::string("\\x") + HEX[byte >> 4] + HEX[byte & 15];
    } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
      out += std::string("\\u00") + HEX[next >> 4] + HEX[next & 15];
      ++i;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace

std::string download_saving_line(std::string_view path) {
  return "vorbek_inspector: saving " + printable(path) + "\n";
}

std::string download_saved_line(std::string_view path) {
  return "vorbek_inspector: saved " + printable(path) + "\n";
}

std::string download_failed_line(std::string_view path, std::string_view reason) {
  return "vorbek_inspector: not saved " + printable(path) + ": " + printable(reason) + "\n";
}

}  // namespace vorbek
