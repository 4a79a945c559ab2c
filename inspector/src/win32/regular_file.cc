#include "regular_file.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "win32/text.h"

namespace vorbek {
namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

}  // namespace

Result<std::string> read_regular_file(const std::string& path, std::size_t max_size) {
  // Opened first and checked after: a directory does not open this way, and
  // a pipe, console or device is refused by its type.
  std::unique_ptr<void, HandleCloser> file(
      CreateFileW(win32::widen(path).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return win32::os_error(GetLastError());
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file.get()) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Error("not a regular file");
  }
  auto too_large = [&] { return Error("larger than " + std::to_string(max_size) + " bytes"); };
  const unsigned long long size =
      (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > max_size) return too_large();

  std::string content(static_cast<std::size_t>(size), '\0');
  std::size_t used = 0;
  for (;;) {
    if (used == content.size()) {
      if (content.size() > max_size) return too_large();
      content.resize(std::min(max_size + 1, content.size() + 65536));
    }
    DWORD read = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(content.size() - used, 1 << 30));
    if (!ReadFile(file.get(), content.data() + used, want, &read, nullptr)) {
      return win32::os_error(GetLastError()).wrap("read failed");
    }
    if (read == 0) break;
    used += read;
  }
  if (used > max_size) return too_large();
  content.resize(used);
  return content;
}

}  // namespace vorbek
