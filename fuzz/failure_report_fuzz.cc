// The failure report on arbitrary chains of multi-line messages: it always
// starts with "Error: " and can be read back into the same chain.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "error.h"
#include "fuzz_check.h"

namespace {

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (size_t start = 0;;) {
    const size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, lf - start));
    start = lf + 1;
  }
}

// Reads a report back; `count` is the number of messages it was made from.
std::vector<std::string> read_back(std::string_view report, size_t count) {
  FUZZ_CHECK(report.starts_with("Error: "));
  FUZZ_CHECK(report.ends_with('\n'));
  report.remove_suffix(1);
  std::vector<std::string> messages;
  if (count == 1) {
    messages.emplace_back(report.substr(7));
    return messages;
  }
  // Cause lines are all indented, so the last unindented "Caused by:" line
  // is the one that ends the outermost message.
  const size_t caused_by = report.rfind("\n\nCaused by:\n");
  FUZZ_CHECK(caused_by != std::string_view::npos);
  messages.emplace_back(report.substr(7, caused_by - 7));
  const auto lines = split_lines(report.substr(caused_by + 13));
  if (count == 2) {
    std::string cause;
    for (size_t i = 0; i < lines.size(); ++i) {
      FUZZ_CHECK(lines[i].starts_with("    "));
      if (i > 0) cause += '\n';
      cause += lines[i].substr(4);
    }
    messages.push_back(cause);
    return messages;
  }
  for (std::string_view line : lines) {
    if (line.starts_with("       ")) {  // continues the entry above
      FUZZ_CHECK(messages.size() > 1);
      messages.back() += '\n';
      messages.back() += line.substr(7);
      continue;
    }
    char index[16];
    std::snprintf(index, sizeof index, "%5zu: ", messages.size() - 1);
    FUZZ_CHECK(line.starts_with(index));
    messages.emplace_back(line.substr(7));
  }
  return messages;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // NUL separates the messages, outermost first; a chain has at least one.
  std::vector<std::string> messages;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (;;) {
    const size_t nul = input.find('\0');
    messages.emplace_back(input.substr(0, nul));
    if (nul == std::string_view::npos) break;
    input.remove_prefix(nul + 1);
  }
  vorbek::Error error(messages.back());
  for (size_t i = messages.size() - 1; i-- > 0;) error = std::move(error).wrap(messages[i]);
  FUZZ_CHECK(error.messages() == messages);

  const std::string report = vorbek::format_failure_report(error);
  FUZZ_CHECK(read_back(report, messages.size()) == messages);
  return 0;
}
