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

std::string download_saving_line(std::string_view path) {
  return "vorbek_inspector: saving " + std::string(path) + "\n";
}

std::string download_saved_line(std::string_view path) {
  return "vorbek_inspector: saved " + std::string(path) + "\n";
}

std::string download_failed_line(std::string_view path, std::string_view reason) {
  return "vorbek_inspector: not saved " + std::string(path) + ": " + std::string(reason) + "\n";
}

}  // namespace vorbek
