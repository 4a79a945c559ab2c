// The static module graph of a frontend page, worked out at build time so
// the page can name every module it will import in one Link header: the
// engine then asks for the whole graph at once instead of one import level
// per round trip.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorbek {

// The specifiers of a module's static imports and re-exports ("import x
// from", "import'...'", "export * from", "export {...} from"), in order.
// Dynamic import() and import.meta are not static edges.
std::vector<std::string> static_import_specifiers(std::string_view module_source);

// The src of every <script type="module"> in an HTML page, in order.
std::vector<std::string> module_script_sources(std::string_view html);

// The text of every inline <script> (one without src) in an HTML page, in
// order, with line ends as the HTML parser leaves them (CR LF and CR become
// LF), so that its hash is the one the engine computes.
std::vector<std::string> inline_script_texts(std::string_view html);

// `specifier` ("./a.js", "../b/c.js") resolved against the "/"-separated
// path of the file it appears in; nothing for a bare or absolute specifier
// or one that climbs above the root.
std::optional<std::string> resolve_relative(std::string_view from_path, std::string_view specifier);

// Reads a file of the frontend by its relative path, or nothing.
using ReadAsset = std::function<std::optional<std::string>(const std::string& path)>;

// Every module the page at `page_path` imports statically, breadth first
// from its module scripts, each once; only files `read` can find count.
std::vector<std::string> page_module_graph(const std::string& page_path, const ReadAsset& read);

// The Link header value that preloads `modules` relative to a top-level
// page: "<./a.js>; rel=modulepreload, ..."; empty for no modules. Paths
// that would need escaping in a URL are left out.
std::string module_preload_link(const std::vector<std::string>& modules);

}  // namespace vorbek
