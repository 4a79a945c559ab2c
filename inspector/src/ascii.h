// ASCII-only case folding, for protocol text where locale rules must not apply.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorbek {

constexpr char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

constexpr bool starts_with_ignoring_ascii_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         equals_ignoring_ascii_case(text.substr(0, prefix.size()), prefix);
}

inline std::string ascii_lowercase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

}  // namespace vorbek
