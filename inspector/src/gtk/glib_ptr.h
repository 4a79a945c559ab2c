// Owning handles for GLib values, so that every early return releases them.
// The toolkit must be loaded before the first one is released.
#pragma once

#include <memory>

#include "gtk/gtk_api.h"

namespace vorbek {

struct GObjectUnref {
  void operator()(gpointer object) const { gtk_api().g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(gpointer memory) const { gtk_api().g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFree>;

struct GErrorFree {
  void operator()(GError* error) const { gtk_api().g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GBytesUnref {
  void operator()(GBytes* bytes) const { gtk_api().g_bytes_unref(bytes); }
};
using GBytesPtr = std::unique_ptr<GBytes, GBytesUnref>;

}  // namespace vorbek
