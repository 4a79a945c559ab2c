#include "dynamic_library.h"

#include <dlfcn.h>

#include <string>

namespace vorbek {

void LibraryClose::operator()(void* library) const { dlclose(library); }

namespace {

std::string last_dl_error(const char* fallback) {
  const char* text = dlerror();
  return text ? text : fallback;
}

}  // namespace

Result<LibraryHandle> open_library(const char* soname) {
  LibraryHandle library(dlopen(soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
  if (!library) return Error(last_dl_error(soname));
  return library;
}

Result<void*> find_symbol(void* library, const char* name) {
  dlerror();
  void* symbol = dlsym(library, name);
  if (!symbol) return Error(last_dl_error(name));
  return symbol;
}

}  // namespace vorbek
