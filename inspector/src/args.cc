#include "args.h"

#include "utf8.h"

namespace vorbek {

Result<Args> parse_args(const std::vector<std::string>& args) {
  // Checked first, for every argument: nothing runs on text we cannot trust.
  for (size_t i = 0; i < args.size(); ++i) {
    if (!is_valid_utf8(args[i])) {
      return Error("argument " + std::to_string(i + 1) + " is not valid UTF-8");
    }
  }

  Args parsed;
  for (const auto& arg : args) {
    if (arg == "--print-url") parsed.print_url = true;
  }
  for (const auto& arg : args) {
    if (arg.size() >= 2 && arg.starts_with("--")) continue;
    parsed.inspector_address = arg;
    return parsed;
  }
  return Error(std::string(USAGE));
}

}  // namespace vorbek
