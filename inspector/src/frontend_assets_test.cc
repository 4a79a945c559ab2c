#include "frontend_assets.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

TEST(FrontendAssetsTest, PathsAreStrictlySortedWellFormedAndFoundByThemselves) {
  for (size_t i = 0; i < FRONTEND_ASSETS.size(); ++i) {
    const std::string_view path = FRONTEND_ASSETS[i].path;
    const std::string wrapped = "/" + std::string(path) + "/";
    EXPECT_TRUE(!path.empty() && !path.starts_with('/') && path.find('\\') == path.npos &&
                wrapped.find("/./") == wrapped.npos && wrapped.find("/../") == wrapped.npos)
        << path;
    if (i > 0) EXPECT_TRUE(bytes_less(FRONTEND_ASSETS[i - 1].path, path)) << path;
    EXPECT_EQ(find_frontend_asset(path), &FRONTEND_ASSETS[i]) << path;
  }
  EXPECT_EQ(FRONTEND_ASSETS.front().path, "Images/3d-center.svg");
  EXPECT_EQ(FRONTEND_ASSETS.back().path, "worker_app.html");
}

TEST(FrontendAssetsTest, LookupMatchesExactBytesAfterBackslashesBecomeSlashes) {
  const FrontendAsset* page = find_frontend_asset("js_app.html");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->content.size(), 892u);
  EXPECT_TRUE(text(page->content).starts_with("<!--"));
  const FrontendAsset* svg = find_frontend_asset("Images\\3d-center.svg");
  ASSERT_NE(svg, nullptr);
  EXPECT_EQ(svg->path, "Images/3d-center.svg");

  for (std::string_view key :
       {"JS_APP.HTML", "/js_app.html", "./js_app.html", "Images/", "Images",
        "Images/3d%2Dcenter.svg", "js_app.htm", "js_app.html.bak", "0", "zzz", "", "/"}) {
    EXPECT_EQ(find_frontend_asset(key), nullptr) << key;
  }

  // "-" < "/" < "_" over the whole path; a per-component sort would reverse
  // these pairs and its lookups would miss.
  const std::pair<const char*, const char*> ordered[] = {
      {"third_party/puppeteer-replay/puppeteer-replay.js", "third_party/puppeteer/puppeteer.js"},
      {"panels/console/console.js", "panels/console_counters/console_counters-meta.js"},
  };
  for (const auto& [first, second] : ordered) {
    const FrontendAsset* a = find_frontend_asset(first);
    const FrontendAsset* b = find_frontend_asset(second);
    ASSERT_TRUE(a && b) << first << " " << second;
    EXPECT_LT(a, b);
  }
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

// Offsets are checked on the real table by the digests; here, the order.
TEST(AssetTableGenTest, SortsByBytesAndLaysContentOutInThatOrder) {
  TempDir scratch;
  ASSERT_FALSE(scratch.path().empty());
  const fs::path dir = scratch.path() / "front";
  const std::vector<std::string> sorted = {
      "B.js", "Z/z.js", "a-b/x.js", "a.js", "a/b.js", "a_b/y.js", "c", "c.txt", "empty.md"};
  std::string contents;
  for (const std::string& name : sorted) {
    const std::string content = name == "empty.md" ? "" : "<" + name + ">";
    write(dir / name, content);
    contents += content;
  }
  fs::create_directories(dir / "no_files_here");
  fs::last_write_time(dir / "a.js", std::chrono::file_clock::from_sys(std::chrono::sys_seconds(
                                        std::chrono::seconds(1782061478))));

  const GenRun run = run_generator(dir, scratch.path());
  ASSERT_EQ(run.status, 0) << run.stderr_text;
  EXPECT_EQ(run.blob, contents);
  size_t previous = 0;
  for (const std::string& name : sorted) {
    const size_t at = run.table.find("std::string_view(\"" + name + "\", ");
    ASSERT_NE(at, std::string::npos) << name;
    EXPECT_GT(at, previous) << name;
    previous = at;
  }
  EXPECT_NE(run.table.find("\"a.js\", 4), 1782061478u,"), std::string::npos);
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
