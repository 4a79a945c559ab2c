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

}  // namespace vorbek
