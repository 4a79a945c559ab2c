// The user's interface language in the form web engines expect ("de-AT").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vorbek {

// "de_AT.UTF-8@euro" -> "de-AT", "pt" -> "pt", "C.UTF-8" -> "en-US"; nothing
// for text that is no locale name.
std::optional<std::string> language_tag_for_locale(std::string_view locale);

}  // namespace vorbek
