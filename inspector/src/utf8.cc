#include "utf8.h"

#include <cstdint>

namespace vorbek {

bool is_valid_utf8(std::string_view bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    const auto b0 = static_cast<std::uint8_t>(bytes[i]);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    std::uint8_t low = 0x80, high = 0xBF;  // bounds of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      length = 3;
      if (b0 == 0xE0) low = 0xA0;  // overlong
      if (b0 == 0xED) high = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      length = 4;
      if (b0 == 0xF0) low = 0x90;  // overlong
      if (b0 == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
      return false;
    }
    if (n - i < length) return false;
    const auto b1 = static_cast<std::uint8_t>(bytes[i + 1]);
    if (b1 < low || b1 > high) return false;
    for (size_t k = 2; k < length; ++k) {
      const auto b = static_cast<std::uint8_t>(bytes[i + k]);
      if (b < 0x80 || b > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace vorbek
