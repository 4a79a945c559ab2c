// The frontend origin is http://devtools.HOST. WebKitGTK cannot intercept
// http:// requests, so it serves the origin as devtools://HOST; WebView2
// intercepts http://devtools.* itself and takes devtools://HOST the other way.
#pragma once

#include <string>
#include <string_view>

namespace vorbek {

// What the engine is asked to load for a frontend URL.
std::string engine_url_for(std::string_view frontend_url);

// The http://devtools.HOST form of a devtools://HOST request, as the
// scheme handler sees it on every platform.
std::string frontend_url_for_request(std::string_view engine_uri);

// What an engine that serves the frontend under http://devtools.HOST is
// asked to load: a URL whose scheme is exactly "devtools" gets the http
// form; anything else is loaded from its own origin.
std::string http_frontend_url_for(std::string_view frontend_url);

}  // namespace vorbek
