// What the embedded frontend's pages may load. The target (its "/json", its
// protocol messages, its scripts) is not trusted: the pages load only from
// their own origin, and talk only to the inspector's WebSocket. Each web
// view applies this twice: as the pages' content security policy, and as a
// check of its own on every request, in case the engine's policy is bypassed.
#pragma once

#include <string>
#include <string_view>

namespace vorbek {

// "ws://HOST:PORT" of a WebSocket target ("HOST:PORT/PATH"), or empty when
// its authority is not a plain host and port: such text must never reach a
// policy or a pattern.
std::string websocket_origin(std::string_view ws_target);

// The policy for the embedded frontend's page at `path` (a table path),
// whose inline scripts are allowed by their hashes.
std::string frontend_content_security_policy(std::string_view path, std::string_view ws_target);

// Whether a page of the embedded frontend may request `uri`: its own
// origin (`frontend_origin`, e.g. "devtools://localhost"), data:, blob: and
// about: addresses, and the target's WebSocket.
bool frontend_may_request(std::string_view uri, std::string_view frontend_origin,
                          std::string_view ws_target);

}  // namespace vorbek
