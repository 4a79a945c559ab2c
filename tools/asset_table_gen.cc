// asset_table_gen FRONTEND_DIR OUTPUT_DIR
//
// Turns a frontend directory into the embedded asset table. Writes three
// files into OUTPUT_DIR:
//   frontend_assets.bin        every file's bytes, one after another
//   frontend_assets_blob.S     links the .bin into .rodata with .incbin
//   frontend_assets_table.cc   FRONTEND_ASSETS: paths, times, digests and
//                              spans into the blob, constant-initialised;
//                              and FRONTEND_PAGE_PRELOADS, each top-level
//                              page's static module graph as a Link header;
//                              and FRONTEND_PAGE_SCRIPT_HASHES, the hashes of
//                              each top-level page's inline scripts, which its
//                              content security policy allows
// The bytes go through the assembler rather than a C array literal: a
// 12 MB initialiser takes the compiler minutes and gigabytes.

#include <openssl/evp.h>
#include <sys/stat.h>
#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "error.h"
#include "module_preload.h"
#include "utf8.h"

namespace vorbek {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view BLOB_NAME = "frontend_assets.bin";
constexpr std::string_view ASM_NAME = "frontend_assets_blob.S";
constexpr std::string_view TABLE_NAME = "frontend_assets_table.cc";

struct Entry {
  std::string path;  // relative, "/"-separated
  fs::path source;
  std::optional<std::uint64_t> modified_time;
  std::optional<std::uint64_t> created_time;
  std::array<std::uint8_t, 32> digest{};
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct DigestFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

Error os_error(int code) { return Error::os(code, std::strerror(code)); }

Error fs_error(const std::error_code& ec) { return os_error(ec.value()); }

// Printable form of a name that may not be UTF-8, for messages.
std::string escaped(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

// The file's own checks run before it joins the table, so a bad name
// fails the build instead of producing a table that breaks the lookup.
Status check_path(const std::string& path) {
  if (!is_valid_utf8(path)) {
    return Error("file name is not valid UTF-8: " + escaped(path));
  }
  if (path.find('\\') != std::string::npos) {
    return Error("file name contains a backslash, which lookups turn into \"/\": " + path);
  }
  return {};
}

// Directory symlinks are not followed, so a loop cannot trap the walk;
// file symlinks count as the file they name.
Status walk(const fs::path& dir, const std::string& prefix, std::vector<Entry>& out) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return fs_error(ec).wrap("cannot list " + dir.string());
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const fs::directory_entry& item = *it;
    std::string path = prefix + item.path().filename().native();
    std::error_code ignored;  // a dangling symlink is simply not a file
    if (item.is_directory(ignored) && !item.is_symlink(ignored)) {
      if (auto s = walk(item.path(), path + "/", out); !s) return s;
    } else if (item.is_regular_file(ignored)) {
      if (auto s = check_path(path); !s) return s;
      Entry& e = out.emplace_back();
      e.path = std::move(path);
      e.source = item.path();
    }
  }
  if (ec) return fs_error(ec).wrap("cannot list " + dir.string());
  return {};
}

std::optional<std::uint64_t> seconds(std::int64_t s) {
  if (s < 0) return std::nullopt;
  return static_cast<std::uint64_t>(s);
}

// Birth time comes from statx where the kernel and file system give it;
// otherwise it stays absent.
Status read_times(Entry& e) {
#ifdef STATX_BTIME
  struct statx stx;
  if (statx(AT_FDCWD, e.source.c_str(), 0, STATX_MTIME | STATX_BTIME, &stx) == 0) {
    if (stx.stx_mask & STATX_MTIME) e.modified_time = seconds(stx.stx_mtime.tv_sec);
    if (stx.stx_mask & STATX_BTIME) e.created_time = seconds(stx.stx_btime.tv_sec);
    return {};
  }
  if (errno != ENOSYS) return os_error(errno).wrap("cannot stat " + e.source.string());
#endif
  struct stat st;
  if (stat(e.source.c_str(), &st) != 0) {
    return os_error(errno).wrap("cannot stat " + e.source.string());
  }
  e.modified_time = seconds(st.st_mtime);
  return {};
}

// Copies the file onto the end of the blob and digests it on the way.
Status append_content(Entry& e, std::FILE* blob, std::uint64_t& offset) {
  File in(std::fopen(e.source.c_str(), "rb"));
  if (!in) return os_error(errno).wrap("cannot open " + e.source.string());
  std::unique_ptr<EVP_MD_CTX, DigestFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
    return Error("cannot set up SHA-256");
  }
  std::vector<unsigned char> buffer(1 << 20);
  e.offset = offset;
  e.size = 0;
  for (;;) {
    const size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (n > 0) {
      EVP_DigestUpdate(ctx.get(), buffer.data(), n);
      if (std::fwrite(buffer.data(), 1, n, blob) != n) {
        return os_error(errno).wrap("cannot write " + std::string(BLOB_NAME));
      }
      e.size += n;
    }
    if (n < buffer.size()) break;
  }
  if (std::ferror(in.get())) return os_error(errno).wrap("cannot read " + e.source.string());
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), e.digest.data(), &length) != 1 || length != 32) {
    return Error("cannot finish SHA-256 of " + e.source.string());
  }
  offset += e.size;
  return {};
}

// A C++ string literal of the bytes; octal escapes cannot run on into the
// next character the way hex escapes do.
std::string cxx_literal(std::string_view bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F && c != '?') {
      out += static_cast<char>(c);
    } else {
      char oct[8];
      std::snprintf(oct, sizeof oct, "\\%03o", c);
      out += oct;
    }
  }
  return out + "\"";
}

std::string optional_literal(const std::optional<std::uint64_t>& v) {
  return v ? std::to_string(*v) + "u" : "std::nullopt";
}

std::string asm_source(const fs::path& blob) {
  std::string quoted;
  for (char c : blob.string()) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  // The trailing zero keeps the array non-empty when every file is.
  // Preprocessed (.S), so one file serves ELF and the PE/COFF of a
  // Windows build, whose read-only data section is .rdata.
  return "/* Generated by asset_table_gen; do not edit. */\n"
         "#ifdef __ELF__\n"
         "  .section .rodata\n"
         "#else\n"
         "  .section .rdata,\"dr\"\n"
         "#endif\n"
         "  .balign 64\n"
         "  .globl vorbek_frontend_blob\n"
         "#ifdef __ELF__\n"
         "  .hidden vorbek_frontend_blob\n"
         "  .type vorbek_frontend_blob, @object\n"
         "#endif\n"
         "vorbek_frontend_blob:\n"
         "  .incbin \"" + quoted + "\"\n"
         "  .byte 0\n"
         "#ifdef __ELF__\n"
         "  .size vorbek_frontend_blob, . - vorbek_frontend_blob\n"
         "  .section .note.GNU-stack,\"\",@progbits\n"
         "#endif\n";
}

// One row of a per-page table: a top-level page and a header value for it.
struct PageValue {
  std::string page;
  std::string value;
};

std::optional<std::string> read_whole(const fs::path& source) {
  File in(std::fopen(source.c_str(), "rb"));
  if (!in) return std::nullopt;
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) text.append(buffer, n);
  if (std::ferror(in.get())) return std::nullopt;
  return text;
}

bool is_top_level_page(const Entry& e) {
  constexpr std::string_view HTML = ".html";
  return e.path.find('/') == std::string::npos && e.path.size() > HTML.size() &&
         e.path.compare(e.path.size() - HTML.size(), HTML.size(), HTML) == 0;
}

// Only top-level pages: the header's "./" paths are relative to the page.
std::vector<PageValue> page_preloads(const std::vector<Entry>& entries) {
  auto read = [&](const std::string& path) -> std::optional<std::string> {
    auto found = std::lower_bound(entries.begin(), entries.end(), path,
                                  [](const Entry& e, const std::string& p) { return e.path < p; });
    if (found == entries.end() || found->path != path) return std::nullopt;
    return read_whole(found->source);
  };
  std::vector<PageValue> out;
  for (const Entry& e : entries) {
    if (!is_top_level_page(e)) continue;
    std::string link = module_preload_link(page_module_graph(e.path, read));
    if (!link.empty()) out.push_back({e.path, std::move(link)});
  }
  return out;
}

// "'sha256-BASE64'" of `text`.
Result<std::string> script_hash_source(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    return Error("cannot compute SHA-256");
  }
  std::string base64(4 * ((length + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), digest,
                                      static_cast<int>(length));
  base64.resize(static_cast<std::size_t>(written));
  return "'sha256-" + base64 + "'";
}

// Computed from the pages themselves, so a new frontend build needs no edit.
Result<std::vector<PageValue>> page_script_hashes(const std::vector<Entry>& entries) {
  std::vector<PageValue> out;
  for (const Entry& e : entries) {
    if (!is_top_level_page(e)) continue;
    auto html = read_whole(e.source);
    if (!html) return os_error(errno).wrap("cannot read " + e.source.string());
    std::string hashes;
    for (const std::string& script : inline_script_texts(*html)) {
      auto hash = script_hash_source(script);
      if (!hash) return std::move(hash).error();
      if (!hashes.empty()) hashes += ' ';
      hashes += *hash;
    }
    if (!hashes.empty()) out.push_back({e.path, std::move(hashes)});
  }
  return out;
}

// A constant-initialised span of `type` rows named `name`.
std::string page_table_source(std::string_view type, std::string_view name,
                              const std::vector<PageValue>& rows) {
  std::string span = "constinit const std::span<const " + std::string(type) + "> " +
                     std::string(name);
  if (rows.empty()) return span + "{};\n";
  const std::string array = std::string(name) + "_ROWS";
  std::string out = "namespace {\nconstinit const " + std::string(type) + " " + array + "[" +
                    std::to_string(rows.size()) + "] = {\n";
  for (const PageValue& row : rows) {
    out += "    {std::string_view(" + cxx_literal(row.page) + ", " +
           std::to_string(row.page.size()) + "),\n     std::string_view(" +
           cxx_literal(row.value) + ", " + std::to_string(row.value.size()) + ")},\n";
  }
  return out + "};\n}  // namespace\n\n" + span + "{" + array + "};\n";
}

std::string table_source(const std::vector<Entry>& entries, std::uint64_t total,
                         const std::vector<PageValue>& preloads,
                         const std::vector<PageValue>& script_hashes) {
  std::string out =
      "// Generated by asset_table_gen; do not edit.\n"
      "#include <cstdint>\n"
      "#include <optional>\n"
      "#include <span>\n"
      "#include <string_view>\n"
      "\n"
      "#include \"frontend_assets.h\"\n"
      "\n"
      "extern \"C\" const std::uint8_t vorbek_frontend_blob[" + std::to_string(total + 1) + "];\n"
      "\n"
      "namespace vorbek {\n"
      "namespace {\n"
      "\n"
      "constinit const FrontendAsset ASSETS[" + std::to_string(entries.size()) + "] = {\n";
  for (const Entry& e : entries) {
    out += "    {std::string_view(" + cxx_literal(e.path) + ", " + std::to_string(e.path.size()) +
           "), " + optional_literal(e.modified_time) + ", " + optional_literal(e.created_time) +
           ",\n     {";
    for (size_t i = 0; i < e.digest.size(); ++i) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%s0x%02x", i ? "," : "", e.digest[i]);
      out += hex;
    }
    out += "},\n     {vorbek_frontend_blob + " + std::to_string(e.offset) + ", " +
           std::to_string(e.size) + "}},\n";
  }
  out +=
      "};\n"
      "\n"
      "}  // namespace\n"
      "\n"
      "constinit const std::span<const FrontendAsset> FRONTEND_ASSETS{ASSETS};\n"
      "\n";
  out += page_table_source("PagePreload", "FRONTEND_PAGE_PRELOADS", preloads);
  out += "\n";
  out += page_table_source("PageScriptHashes", "FRONTEND_PAGE_SCRIPT_HASHES", script_hashes);
  out += "\n}  // namespace vorbek\n";
  return out;
}

Status write_file(const fs::path& path, std::string_view text) {
  File out(std::fopen(path.c_str(), "wb"));
  if (!out) return os_error(errno).wrap("cannot create " + path.string());
  if (std::fwrite(text.data(), 1, text.size(), out.get()) != text.size() ||
      std::fflush(out.get()) != 0) {
    return os_error(errno).wrap("cannot write " + path.string());
  }
  return {};
}

Status generate(const fs::path& frontend_dir, const fs::path& output_dir) {
  std::error_code ec;
  if (!fs::is_directory(frontend_dir, ec)) {
    return Error("frontend directory " + frontend_dir.string() + " does not exist");
  }
  std::vector<Entry> entries;
  if (auto s = walk(frontend_dir, "", entries); !s) {
    return std::move(s).error().wrap("cannot embed frontend directory " + frontend_dir.string());
  }
  if (entries.empty()) {
    return Error("frontend directory " + frontend_dir.string() + " holds no files");
  }
  // std::string compares as unsigned bytes: the order the lookup searches in.
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.path < b.path; });

  fs::create_directories(output_dir, ec);
  if (ec) return fs_error(ec).wrap("cannot create " + output_dir.string());
  const fs::path blob_path = fs::absolute(output_dir / BLOB_NAME);
  File blob(std::fopen(blob_path.c_str(), "wb"));
  if (!blob) return os_error(errno).wrap("cannot create " + blob_path.string());
  std::uint64_t total = 0;
  for (Entry& e : entries) {
    if (auto s = read_times(e); !s) return s;
    if (auto s = append_content(e, blob.get(), total); !s) return s;
  }
  if (std::fflush(blob.get()) != 0) return os_error(errno).wrap("cannot write " + blob_path.string());
  blob.reset();

  if (auto s = write_file(output_dir / ASM_NAME, asm_source(blob_path)); !s) return s;
  auto script_hashes = page_script_hashes(entries);
  if (!script_hashes) return std::move(script_hashes).error();
  return write_file(output_dir / TABLE_NAME,
                    table_source(entries, total, page_preloads(entries), *script_hashes));
}

}  // namespace
}  // namespace vorbek

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: asset_table_gen <frontend-dir> <output-dir>\n", stderr);
    return 2;
  }
  if (auto s = vorbek::generate(argv[1], argv[2]); !s) {
    std::fputs(("asset_table_gen: " + vorbek::format_failure_report(s.error())).c_str(), stderr);
    return 1;
  }
  return 0;
}
