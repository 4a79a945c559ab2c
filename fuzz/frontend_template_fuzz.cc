// The override template: every "{ws}", left to right without overlap,
// becomes the target; nothing else changes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "frontend_url.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first NUL separates the template from the target.
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string_view pattern = input.substr(0, nul);
  const std::string_view target = nul == std::string_view::npos ? "" : input.substr(nul + 1);

  const std::string url = vorbek::expand_frontend_template(pattern, target);

  // A target of "{ws}" itself gives the template back: inserted text is
  // never searched again.
  FUZZ_CHECK(vorbek::expand_frontend_template(pattern, "{ws}") == pattern);

  size_t placeholders = 0;
  for (size_t at = pattern.find("{ws}"); at != std::string_view::npos;
       at = pattern.find("{ws}", at + 4)) {
    ++placeholders;
  }
  FUZZ_CHECK(url.size() == pattern.size() - 4 * placeholders + target.size() * placeholders);
  if (placeholders == 0) FUZZ_CHECK(url == pattern);

  // Reading the URL against the template: the text between placeholders is
  // kept, and the target stands in each placeholder's place.
  size_t in_url = 0;
  size_t in_pattern = 0;
  for (size_t at; (at = pattern.find("{ws}", in_pattern)) != std::string_view::npos;) {
    FUZZ_CHECK(url.compare(in_url, at - in_pattern, pattern.substr(in_pattern, at - in_pattern)) == 0);
    in_url += at - in_pattern;
    FUZZ_CHECK(url.compare(in_url, target.size(), target) == 0);
    in_url += target.size();
    in_pattern = at + 4;
  }
  FUZZ_CHECK(url.substr(in_url) == pattern.substr(in_pattern));
  return 0;
}
