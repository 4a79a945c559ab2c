#include "error.h"

#include <cstdio>

namespace vorbek {

Error Error::os(int code, std::string_view text) {
  return Error(std::string(text) + " (os error " + std::to_string(code) + ")");
}

Error Error::wrap(std::string context) && {
  messages_.insert(messages_.begin(), std::move(context));
  return std::move(*this);
}

namespace {

// Appends `message`, continuing each later line after `indent` spaces.
void append_indented(std::string& out, const std::string& message, size_t indent) {
  for (char c : message) {
    out += c;
    if (c == '\n') out.append(indent, ' ');
  }
}

}  // namespace

std::string format_failure_report(const Error& error) {
  const auto& messages = error.messages();
  std::string out = "Error: " + messages.front();
  if (messages.size() > 1) {
    out += "\n\nCaused by:";
    if (messages.size() == 2) {
      out += "\n    ";
      append_indented(out, messages[1], 4);
    } else {
      for (size_t i = 1; i < messages.size(); ++i) {
        char index[32];
        std::snprintf(index, sizeof index, "\n%5zu: ", i - 1);
        out += index;
        append_indented(out, messages[i], 7);
      }
    }
  }
  out += '\n';
  return out;
}

}  // namespace vorbek
