// Reading a file the target named, without a race: the file is opened
// without blocking and then checked, so a FIFO, a device or a link swapped
// in between a check and the open can never be what is read.
#pragma once

#include <cstddef>
#include <string>

#include "error.h"

namespace vorbek {

// The bytes of the regular file at `path` (UTF-8), or why not: not a
// regular file, larger than `max_size`, or the system's error.
// One implementation per platform.
Result<std::string> read_regular_file(const std::string& path, std::size_t max_size);

}  // namespace vorbek
