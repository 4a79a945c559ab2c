#include "module_preload.h"

#include <cctype>
#include <deque>
#include <set>

namespace vorbek {
namespace {

bool is_identifier_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The quoted text starting at `pos` (a ' or "), or nothing.
std::optional<std::string> quoted_at(std::string_view text, size_t pos) {
  if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\'')) return std::nullopt;
  const size_t end = text.find(text[pos], pos + 1);
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view inside = text.substr(pos + 1, end - pos - 1);
  if (inside.find('\n') != std::string_view::npos) return std::nullopt;
  return std::string(inside);
}

// Whether an import/export keyword ending at `keyword_end` is followed by a
// clause ending in "from" and then a string, or (import only) by a string.
std::optional<std::string> specifier_after(std::string_view text, size_t keyword_end,
                                           bool is_import) {
  size_t pos = keyword_end;
  while (pos < text.size() && is_space(text[pos])) ++pos;
  if (is_import) {
    if (auto bare = quoted_at(text, pos)) return bare;  // import "./side-effect.js"
  }
  // The clause: names, "*", "as", braces and commas, ending with "from".
  size_t clause_end = pos;
  while (clause_end < text.size() &&
         (is_identifier_char(text[clause_end]) || is_space(text[clause_end]) ||
          text[clause_end] == '*' || text[clause_end] == '{' || text[clause_end] == '}' ||
          text[clause_end] == ',')) {
    ++clause_end;
  }
  size_t last = clause_end;
  while (last > pos && is_space(text[last - 1])) --last;
  constexpr std::string_view FROM = "from";
  if (last - pos < FROM.size() || text.substr(last - FROM.size(), FROM.size()) != FROM) {
    return std::nullopt;
  }
  if (last - FROM.size() > pos && is_identifier_char(text[last - FROM.size() - 1])) {
    return std::nullopt;  // "...xfrom", not the keyword
  }
  return quoted_at(text, clause_end);
}

}  // namespace

std::vector<std::string> static_import_specifiers(std::string_view source) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < source.size()) {
    const size_t import_at = source.find("import", pos);
    const size_t export_at = source.find("export", pos);
    const size_t at = std::min(import_at, export_at);
    if (at == std::string_view::npos) break;
    const bool is_import = at == import_at;
    const size_t end = at + 6;
    pos = end;
    // A keyword, not part of a longer name or a property (x.import).
    if (at > 0 && (is_identifier_char(source[at - 1]) || source[at - 1] == '.')) continue;
    if (end < source.size() && is_identifier_char(source[end])) continue;
    if (auto specifier = specifier_after(source, end, is_import)) {
      out.push_back(std::move(*specifier));
    }
  }
  return out;
}

std::vector<std::string> module_script_sources(std::string_view html) {
  std::vector<std::string> out;
  size_t pos = 0;
  while ((pos = html.find("<script", pos)) != std::string_view::npos) {
    const size_t close = html.find('>', pos);
    if (close == std::string_view::npos) break;
    std::string_view tag = html.substr(pos, close - pos);
    pos = close;
    if (tag.find("type=\"module\"") == std::string_view::npos &&
        tag.find("type='module'") == std::string_view::npos) {
      continue;
    }
    const size_t src = tag.find("src=");
    if (src == std::string_view::npos) continue;
    if (auto value = quoted_at(tag, src + 4)) out.push_back(std::move(*value));
  }
  return out;
}

namespace {

std::size_t find_ignoring_case(std::string_view text, std::string_view wanted, std::size_t from) {
  for (std::size_t i = from; i + wanted.size() <= text.size(); ++i) {
    std::size_t j = 0;
    while (j < wanted.size() && std::tolower(static_cast<unsigned char>(text[i + j])) == wanted[j]) {
      ++j;
    }
    if (j == wanted.size()) return i;
  }
  return std::string_view::npos;
}

bool has_src_attribute(std::string_view tag) {
  for (std::size_t at = find_ignoring_case(tag, "src", 0); at != std::string_view::npos;
       at = find_ignoring_case(tag, "src", at + 1)) {
    const bool starts = at > 0 && std::isspace(static_cast<unsigned char>(tag[at - 1]));
    std::size_t after = at + 3;
    while (after < tag.size() && std::isspace(static_cast<unsigned char>(tag[after]))) ++after;
    if (starts && after < tag.size() && tag[after] == '=') return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> inline_script_texts(std::string_view html) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while ((pos = find_ignoring_case(html, "<script", pos)) != std::string_view::npos) {
    const std::size_t name_end = pos + 7;
    if (name_end < html.size() && html[name_end] != '>' &&
        !std::isspace(static_cast<unsigned char>(html[name_end]))) {
      pos = name_end;
      continue;
    }
    const std::size_t close = html.find('>', name_end);
    if (close == std::string_view::npos) break;
    const std::size_t end = find_ignoring_case(html, "</script", close + 1);
    if (end == std::string_view::npos) break;
    if (!has_src_attribute(html.substr(name_end, close - name_end))) {
      std::string text;
      std::string_view raw = html.substr(close + 1, end - close - 1);
      for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\r') {
          text += raw[i];
        } else {
          text += '\n';
          if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
        }
      }
      out.push_back(std::move(text));
    }
    pos = end;
  }
  return out;
}

std::optional<std::string> resolve_relative(std::string_view from_path,
                                            std::string_view specifier) {
  if (specifier.substr(0, 2) != "./" && specifier.substr(0, 3) != "../") return std::nullopt;
  if (specifier.find_first_of("?#") != std::string_view::npos) return std::nullopt;
  std::vector<std::string_view> parts;
  const size_t slash = from_path.rfind('/');
  std::string_view dir = slash == std::string_view::npos ? "" : from_path.substr(0, slash);
  std::string joined = std::string(dir) + (dir.empty() ? "" : "/") + std::string(specifier);
  std::string_view rest = joined;
  while (!rest.empty()) {
    const size_t next = rest.find('/');
    std::string_view part = rest.substr(0, next);
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
    } else {
      parts.push_back(part);
    }
  }
  std::string out;
  for (std::string_view part : parts) {
    if (!out.empty()) out += '/';
    out += part;
  }
  if (out.empty()) return std::nullopt;
  return out;
}

std::vector<std::string> page_module_graph(const std::string& page_path, const ReadAsset& read) {
  std::vector<std::string> order;
  auto page = read(page_path);
  if (!page) return order;
  std::set<std::string> seen;
  std::deque<std::string> queue;
  auto enqueue = [&](const std::string& from, const std::string& specifier) {
    if (auto path = resolve_relative(from, specifier); path && seen.insert(*path).second) {
      queue.push_back(std::move(*path));
    }
  };
  for (const std::string& src : module_script_sources(*page)) enqueue(page_path, src);
  while (!queue.empty()) {
    std::string path = std::move(queue.front());
    queue.pop_front();
    auto source = read(path);
    if (!source) continue;
    order.push_back(path);
    for (const std::string& specifier : static_import_specifiers(*source)) enqueue(path, specifier);
  }
  return order;
}

std::string module_preload_link(const std::vector<std::string>& modules) {
  std::string out;
  for (const std::string& path : modules) {
    bool plain = !path.empty();
    for (char c : path) {
      if (!(is_identifier_char(c) || c == '/' || c == '.' || c == '-')) plain = false;
    }
    if (!plain) continue;
    if (!out.empty()) out += ", ";
    out += "<./" + path + ">; rel=modulepreload";
  }
  return out;
}

}  // namespace vorbek
