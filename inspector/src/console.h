// Standard streams and the environment; one implementation per platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error.h"

namespace vorbek {

// The arguments after the program name, as UTF-8 bytes (not checked here).
std::vector<std::string> command_line_arguments(int argc, char** argv);
// Writes all of `text`; a closed pipe is an error, never a signal.
Status write_stdout(std::string_view text);
// Best effort.
void write_stderr(std::string_view text);
// The variable's raw bytes, or nothing when unset.
std::optional<std::string> read_environment(const char* name);

}  // namespace vorbek
