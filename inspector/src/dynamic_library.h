// A shared library opened at run time, and its functions looked up by name.
#pragma once

#include <memory>

#include "error.h"

namespace vorbek {

struct LibraryClose {
  void operator()(void* library) const;
};
using LibraryHandle = std::unique_ptr<void, LibraryClose>;

// Never unloaded: the library's threads and objects may outlive any close.
// A failure names the library (dlerror's text, or the system's after the
// name on Windows, where only the program's folder and the system's are
// searched).
Result<LibraryHandle> open_library(const char* soname);

// Looks NAME up in the library and in everything it depends on.
Result<void*> find_symbol(void* library, const char* name);

template <typename Function>
Status resolve(void* library, const char* name, Function& entry) {
  auto symbol = find_symbol(library, name);
  if (!symbol) return std::move(symbol).error();
  entry = reinterpret_cast<Function>(*symbol);
  return {};
}

// For the X-macro lists of the function tables: inside a function that has
// `void* library` and a table `api`, looks one entry up, and returns the
// failure if it is missing.
#define VORBEK_RESOLVE_ENTRY(name) \
  if (auto found = ::vorbek::resolve(library, #name, api.name); !found) return found;

}  // namespace vorbek
