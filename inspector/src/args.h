// The command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "error.h"

namespace vorbek {

inline constexpr std::string_view USAGE =
    "usage: vorbek_inspector [--print-url] <inspector-http-addr e.g. 127.0.0.1:9229>";

struct Args {
  bool print_url = false;
  std::string inspector_address;
};

// `args` are the arguments after the program name, as UTF-8 bytes.
Result<Args> parse_args(const std::vector<std::string>& args);

}  // namespace vorbek
