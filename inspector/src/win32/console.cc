#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>

#include "console.h"
#include "win32/text.h"

namespace vorbek {
namespace {

// A console takes UTF-16 through WriteConsoleW, whatever its code page; a
// pipe or a file gets the UTF-8 bytes, since WriteConsoleW fails there.
DWORD write_all(DWORD which, std::string_view text) {
  HANDLE handle = GetStdHandle(which);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  if (handle == nullptr) return ERROR_INVALID_HANDLE;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    std::wstring wide = win32::widen(text);
    std::wstring_view rest = wide;
    while (!rest.empty()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(rest.size(), 16384));
      if (!WriteConsoleW(handle, rest.data(), chunk, &written, nullptr)) return GetLastError();
      if (written == 0) return ERROR_WRITE_FAULT;
      rest.remove_prefix(written);
    }
    return 0;
  }
  while (!text.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size(), 1 << 20));
    if (!WriteFile(handle, text.data(), chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    text.remove_prefix(written);
  }
  return 0;
}

struct LocalFreeArgv {
  void operator()(wchar_t** p) const { LocalFree(p); }
};

}  // namespace

std::vector<std::string> command_line_arguments(int, char**) {
  // argv is in the ANSI code page here; the wide command line is the truth.
  int count = 0;
  std::unique_ptr<wchar_t*, LocalFreeArgv> argv(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::string> args;
  for (int i = 1; argv && i < count; ++i) args.push_back(win32::narrow(argv.get()[i]));
  return args;
}

Status write_stdout(std::string_view text) {
  if (DWORD code = write_all(STD_OUTPUT_HANDLE, text); code != 0) return win32::os_error(code);
  return {};
}

void write_stderr(std::string_view text) { (void)write_all(STD_ERROR_HANDLE, text); }

std::optional<std::string> read_environment(const char* name) {
  const std::wstring wide_name = win32::widen(name);
  std::wstring value(256, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetEnvironmentVariableW(wide_name.c_str(), value.data(),
                                            static_cast<DWORD>(value.size()));
    if (n == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (n < value.size()) {
      value.resize(n);
      return win32::narrow(value);
    }
    value.resize(n);  // n counts the terminator when the buffer was too small
  }
}

}  // namespace vorbek
