#include "dynamic_library.h"

#include <windows.h>

#include <string>

#include "win32/text.h"

namespace vorbek {

// Kept loaded: what it started may outlive the handle.
void LibraryClose::operator()(void*) const {}

Result<LibraryHandle> open_library(const char* soname) {
  // The program's folder and the system's; never the current directory.
  HMODULE module = LoadLibraryExW(win32::widen(soname).c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                                      LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) {
    return Error(std::string(soname) + ": " + win32::os_error(GetLastError()).outermost());
  }
  return LibraryHandle(module);
}

Result<void*> find_symbol(void* library, const char* name) {
  FARPROC symbol = GetProcAddress(static_cast<HMODULE>(library), name);
  if (!symbol) {
    return Error(std::string(name) + ": " + win32::os_error(GetLastError()).outermost());
  }
  return reinterpret_cast<void*>(symbol);
}

}  // namespace vorbek
