#include "locale_tag.h"

#include <algorithm>
#include <iterator>

namespace vorbek {
namespace {

bool is_ascii_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::optional<std::string> language_tag_for_locale(std::string_view locale) {
  // language[_territory][.codeset][@modifier]; the codeset and modifier
  // have no place in a language tag.
  locale = locale.substr(0, locale.find_first_of(".@"));
  // The C locale's messages are the untranslated English ones. Engines
  // would pass "C" through to the page, where Intl rejects it.
  if (locale == "C" || locale == "POSIX") return "en-US";
  std::string_view language = locale.substr(0, locale.find('_'));
  bool has_territory = language.size() < locale.size();
  std::string_view territory = has_territory ? locale.substr(language.size() + 1) : "";

  if (language.size() < 2 || language.size() > 3 ||
      !std::all_of(language.begin(), language.end(), is_ascii_alpha)) {
    return std::nullopt;
  }
  std::string tag;
  std::transform(language.begin(), language.end(), std::back_inserter(tag), lower);
  if (!has_territory) return tag;

  bool region = (territory.size() == 2 &&
                 std::all_of(territory.begin(), territory.end(), is_ascii_alpha)) ||
                (territory.size() == 3 &&
                 std::all_of(territory.begin(), territory.end(), is_ascii_digit));
  if (!region) return std::nullopt;
  tag += '-';
  std::transform(territory.begin(), territory.end(), std::back_inserter(tag), upper);
  return tag;
}

}  // namespace vorbek
