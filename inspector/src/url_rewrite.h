// The frontend origin http://devtools.HOST is served as devtools://HOST here,
// because the engine cannot intercept http:// requests.
#pragma once

#include <string>
#include <string_view>

namespace vorbek {

// What the engine is asked to load for a frontend URL.
std::string engine_url_for(std::string_view frontend_url);

// The http://devtools.HOST form of a devtools://HOST request, as the
// scheme handler sees it on every platform.
std::string frontend_url_for_request(std::string_view engine_uri);

}  // namespace vorbek
