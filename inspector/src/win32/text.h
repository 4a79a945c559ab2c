// Text at the Win32 boundary: UTF-16 in the system, UTF-8 in the program.
// For the files in win32/ only.
#pragma once

#include <string>
#include <string_view>

#include "error.h"

namespace vorbek::win32 {

// UTF-16 to UTF-8. A lone surrogate becomes its own three-byte form, which
// is not valid UTF-8, so the program's UTF-8 checks refuse it downstream.
std::string narrow(std::wstring_view text);
// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::wstring widen(std::string_view text);

// "{system text} (os error {code})", the system text without its line end.
Error os_error(unsigned long code);

}  // namespace vorbek::win32
