// Local files the embedded frontend asks its host for: a script's source map
// and the sources it names are file:// addresses, which the frontend's page
// may not read itself. Only file:// URLs without a host, only regular files,
// and nothing larger than a source map plausibly gets.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "error.h"

namespace vorbek {

// Big bundles' maps run to tens of megabytes; more than this is not a map.
inline constexpr std::size_t MAX_LOCAL_RESOURCE_SIZE = std::size_t{64} << 20;

// The path a file:// URL names, percent-decoded, without query or fragment;
// where paths begin with a drive, file:///C:/dir is C:/dir.
Result<std::string> local_path_for_url(std::string_view url);

// The bytes of the regular file `url` names, or why it cannot be read.
Result<std::string> read_local_resource(std::string_view url,
                                        std::size_t max_size = MAX_LOCAL_RESOURCE_SIZE);

// The chain on one line, as the frontend shows a failed load.
std::string describe_for_frontend(const Error& error);

}  // namespace vorbek
