#include "frontend_assets.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace vorbek {
namespace {

namespace fs = std::filesystem;

std::string_view text(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool bytes_less(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
}

// The table generated from the pinned chii build.

TEST(FrontendAssetsTest, EveryDigestIsTheSha256OfItsContent) {
  ASSERT_EQ(FRONTEND_ASSETS.size(), 640u);
  std::uint64_t total = 0;
  for (const FrontendAsset& asset : FRONTEND_ASSETS) {
    std::array<std::uint8_t, 32> digest{};
    unsigned int length = 0;
    ASSERT_EQ(EVP_Digest(asset.content.data(), asset.content.size(), digest.data(), &length,
                         EVP_sha256(), nullptr),
              1);
    EXPECT_EQ(digest, asset.sha256_digest) << asset.path;
    EXPECT_TRUE(asset.modified_time.has_value()) << asset.path;
    total += asset.content.size();
  }
  EXPECT_EQ(total, 12534363u);
}

TEST(FrontendAssetsTest, PathsAreStrictlySortedAndWellFormed) {
  for (size_t i = 0; i < FRONTEND_ASSETS.size(); ++i) {
    const std::string_view path = FRONTEND_ASSETS[i].path;
    EXPECT_FALSE(path.empty());
    EXPECT_FALSE(path.starts_with('/')) << path;
    EXPECT_EQ(path.find('\\'), std::string_view::npos) << path;
    EXPECT_EQ(("/" + std::string(path) + "/").find("/./"), std::string::npos) << path;
    EXPECT_EQ(("/" + std::string(path) + "/").find("/../"), std::string::npos) << path;
    if (i > 0) EXPECT_TRUE(bytes_less(FRONTEND_ASSETS[i - 1].path, path)) << i << " " << path;
  }
  EXPECT_EQ(FRONTEND_ASSETS.front().path, "Images/3d-center.svg");
  EXPECT_EQ(FRONTEND_ASSETS.back().path, "worker_app.html");
}

TEST(FrontendAssetsTest, EveryEntryIsFoundByItsOwnPath) {
  for (const FrontendAsset& asset : FRONTEND_ASSETS) {
    EXPECT_EQ(find_frontend_asset(asset.path), &asset) << asset.path;
  }
}

TEST(FrontendAssetsTest, LookupMatchesExactBytesOnly) {
  const FrontendAsset* page = find_frontend_asset("js_app.html");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->content.size(), 892u);
  EXPECT_TRUE(text(page->content).starts_with("<!--"));

  for (std::string_view key :
       {"JS_APP.HTML", "/js_app.html", "./js_app.html", "Images/", "Images",
        "Images/3d%2Dcenter.svg", "js_app.htm", "js_app.html.bak", "0", "zzz", "", "/"}) {
    EXPECT_EQ(find_frontend_asset(key), nullptr) << key;
  }
  EXPECT_NE(find_frontend_asset("Images/3d-center.svg"), nullptr);
  EXPECT_NE(find_frontend_asset("worker_app.html"), nullptr);
}

TEST(FrontendAssetsTest, BackslashesLookUpAsSlashes) {
  const FrontendAsset* svg = find_frontend_asset("Images\\3d-center.svg");
  ASSERT_NE(svg, nullptr);
  EXPECT_EQ(svg->path, "Images/3d-center.svg");
  EXPECT_EQ(find_frontend_asset("third_party\\puppeteer\\puppeteer.js"),
            find_frontend_asset("third_party/puppeteer/puppeteer.js"));
}

// "-" < "/" < "_" holds over the whole path; a per-component sort would put
// these the other way round and its lookups would miss.
TEST(FrontendAssetsTest, OrderRunsOverTheWholePath) {
  const FrontendAsset* replay = find_frontend_asset("third_party/puppeteer-replay/puppeteer-replay.js");
  const FrontendAsset* puppeteer = find_frontend_asset("third_party/puppeteer/puppeteer.js");
  ASSERT_NE(replay, nullptr);
  ASSERT_NE(puppeteer, nullptr);
  EXPECT_LT(replay, puppeteer);
  const FrontendAsset* console = find_frontend_asset("panels/console/console.js");
  const FrontendAsset* counters = find_frontend_asset("panels/console_counters/console_counters-meta.js");
  ASSERT_NE(console, nullptr);
  ASSERT_NE(counters, nullptr);
  EXPECT_LT(console, counters);
}

// The generator, run on scratch directories.

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "vorbek_assets_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void write(const fs::path& file, std::string_view content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct GenRun {
  int status;
  std::string stderr_text;
  std::string table;
  std::string blob;
};

GenRun run_generator(const fs::path& frontend, const fs::path& scratch) {
  const fs::path out = scratch / "out";
  const fs::path err = scratch / "stderr.txt";
  const std::string command = "'" VORBEK_ASSET_TABLE_GEN "' '" + frontend.string() + "' '" +
                              out.string() + "' 2>'" + err.string() + "'";
  GenRun run;
  run.status = std::system(command.c_str());
  run.stderr_text = slurp(err);
  run.table = slurp(out / "frontend_assets_table.cc");
  run.blob = slurp(out / "frontend_assets.bin");
  return run;
}

struct GenEntry {
  std::string path;
  std::string modified_time;
  size_t offset;
  size_t size;
};

// Reads back the rows of a generated table; test names are plain ASCII.
std::vector<GenEntry> parse_table(const std::string& table) {
  static const std::regex row(
      R"re(\{std::string_view\("([^"]*)", (\d+)\), (\w+), \w+,\s*\{[^}]*\},\s*\{vorbek_frontend_blob \+ (\d+), (\d+)\}\})re");
  std::vector<GenEntry> rows;
  for (std::sregex_iterator it(table.begin(), table.end(), row), end; it != end; ++it) {
    const std::smatch& m = *it;
    rows.push_back({m[1], m[3], std::stoul(m[4]), std::stoul(m[5])});
  }
  return rows;
}

TEST(AssetTableGenTest, SortsByBytesAndLaysContentOutByOffset) {
  TempDir scratch;
  ASSERT_FALSE(scratch.path().empty());
  const fs::path dir = scratch.path() / "front";
  const std::vector<std::string> sorted = {
      "B.js", "Z/z.js", "a-b/x.js", "a.js", "a/b.js", "a_b/y.js", "c", "c.txt", "empty.md"};
  for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
    write(dir / *it, *it == "empty.md" ? "" : "content of " + *it);
  }
  fs::create_directories(dir / "no_files_here");
  const auto when = std::chrono::file_clock::from_sys(
      std::chrono::sys_seconds(std::chrono::seconds(1782061478)));
  fs::last_write_time(dir / "a.js", when);

  const GenRun run = run_generator(dir, scratch.path());
  ASSERT_EQ(run.status, 0) << run.stderr_text;
  const std::vector<GenEntry> rows = parse_table(run.table);
  ASSERT_EQ(rows.size(), sorted.size()) << run.table;
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].path, sorted[i]);
    const std::string expected = sorted[i] == "empty.md" ? "" : "content of " + sorted[i];
    ASSERT_LE(rows[i].offset + rows[i].size, run.blob.size());
    EXPECT_EQ(run.blob.substr(rows[i].offset, rows[i].size), expected) << sorted[i];
  }
  EXPECT_EQ(rows[3].modified_time, "1782061478u");
}

TEST(AssetTableGenTest, RefusesWhatWouldBreakTheTable) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    const char* message;
  };
  const Case cases[] = {
      {"empty", {}, "holds no files"},
      {"only directories", {"sub/"}, "holds no files"},
      {"backslash", {"ok.js", "dir/a\\b.js"}, "backslash"},
      {"not utf-8", {"ok.js", "bad\xff.js"}, "not valid UTF-8"},
  };
  for (const Case& c : cases) {
    TempDir scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path dir = scratch.path() / "front";
    fs::create_directories(dir);
    for (const std::string& file : c.files) {
      if (file.ends_with('/')) {
        fs::create_directories(dir / file);
      } else {
        write(dir / file, "x");
      }
    }
    const GenRun run = run_generator(dir, scratch.path());
    EXPECT_NE(run.status, 0) << c.name;
    EXPECT_NE(run.stderr_text.find(c.message), std::string::npos) << c.name << ": " << run.stderr_text;
  }

  TempDir scratch;
  const GenRun missing = run_generator(scratch.path() / "absent", scratch.path());
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.stderr_text.find("does not exist"), std::string::npos) << missing.stderr_text;
}

}  // namespace
}  // namespace vorbek
