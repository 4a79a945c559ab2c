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

}  // namespace vorbek
