// Names for saved downloads that never replace a file already there.
#pragma once

#include <string>
#include <string_view>

namespace vorbek {

// "trace.json", 2 -> "trace (2).json"; a name without an extension, or a
// dot file, gets the number at its end. 0 gives the name unchanged.
std::string numbered_file_name(std::string_view name, int number);

}  // namespace vorbek
