#pragma once

#include <string_view>

namespace vorbek {

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool is_valid_utf8(std::string_view bytes);

}  // namespace vorbek
