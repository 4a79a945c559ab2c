#include "local_resource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace vorbek {
namespace {

TEST(LocalPathForUrl, DecodesTheLocalPath) {
  struct Case {
    const char* url;
    const char* path;
  } cases[] = {
      {"file:///tmp/app/tick.ts", "/tmp/app/tick.ts"},
      {"FILE:///tmp/a.js.map", "/tmp/a.js.map"},
      // As node writes names with spaces, non-ASCII letters and '#'.
      {"file:///home/u/my%20app/%C3%A9t%C3%A9.ts", "/home/u/my app/\xC3\xA9t\xC3\xA9.ts"},
      {"file:///tmp/a%23b%3Fc.ts", "/tmp/a#b?c.ts"},
      // A backslash is part of a name here.
      {"file:///tmp/a%5Cb", "/tmp/a\\b"},
      {"file:///tmp/tick.ts?v=1#L3", "/tmp/tick.ts"},
  };
  for (const auto& c : cases) {
    auto path = local_path_for_url(c.url);
    ASSERT_TRUE(path) << c.url << ": " << path.error().outermost();
    EXPECT_EQ(*path, c.path) << c.url;
  }
}

TEST(LocalPathForUrl, RefusesWhatIsNotALocalFile) {
  for (const char* url : {
           "http://devtools.localhost/js_app.html",
           "data:application/json,{}",
           "file:/tmp/a",
           "file:",
           "file://server/share/a.ts",
           "file://localhost/tmp/a.ts",
           "/tmp/a.ts",
           "file:///tmp/a%2",
           "file:///tmp/a%zz",
           "file:///tmp/a%00.ts",
           "file:///tmp/a%2fb",
           "file:///%2F%2Fserver/share/a.ts",
       }) {
    EXPECT_FALSE(local_path_for_url(url)) << url;
  }
  // A raw NUL, as a JSON request's "\u0000" gives it, would cut the path
  // short when the system opens it, as an escaped one would.
  EXPECT_FALSE(local_path_for_url(std::string_view("file:///etc/hostname\0.map", 25)));
  EXPECT_FALSE(local_path_for_url(std::string_view("file:///tmp/a\0", 14)));
}

class ReadLocalResource : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "local_resource.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string write(const std::string& name, const std::string& content) {
    auto path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  std::string url(const std::string& path) { return "file://" + path; }

  std::filesystem::path dir_;
};

TEST_F(ReadLocalResource, ReadsTheFileAsItIs) {
  // A map may carry any bytes in its strings, NUL included.
  std::string map = "{\"version\":3,\"sources\":[\"tick.ts\"]}";
  map += '\0';
  map += '\xff';
  auto content = read_local_resource(url(write("tick.js.map", map)));
  ASSERT_TRUE(content) << describe_for_frontend(content.error());
  EXPECT_EQ(*content, map);

  auto empty = read_local_resource(url(write("empty.ts", "")));
  ASSERT_TRUE(empty);
  EXPECT_EQ(*empty, "");

  write("my app.ts", "x");
  auto spaced = read_local_resource("file://" + (dir_ / "my%20app.ts").string());
  ASSERT_TRUE(spaced);
  EXPECT_EQ(*spaced, "x");
}

TEST_F(ReadLocalResource, FollowsLinksToRegularFiles) {
  std::string target = write("tick.ts", "let a = 1;");
  std::filesystem::create_symlink(target, dir_ / "link.ts");
  auto content = read_local_resource(url((dir_ / "link.ts").string()));
  ASSERT_TRUE(content);
  EXPECT_EQ(*content, "let a = 1;");
}

TEST_F(ReadLocalResource, RefusesWhatIsNotARegularFile) {
  auto directory = read_local_resource(url(dir_.string()));
  ASSERT_FALSE(directory);
  EXPECT_EQ(describe_for_frontend(directory.error()),
            "cannot read " + dir_.string() + ": not a regular file");

  // Opening a FIFO would wait for a writer forever.
  std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(read_local_resource(url(fifo)));
  EXPECT_FALSE(read_local_resource("file:///dev/zero"));

  auto missing = read_local_resource(url((dir_ / "missing.ts").string()));
  ASSERT_FALSE(missing);
  const auto& messages = missing.error().messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "cannot read " + (dir_ / "missing.ts").string());
  EXPECT_NE(messages[1].find("(os error 2)"), std::string::npos) << messages[1];

  auto remote = read_local_resource("file://server/a.ts");
  ASSERT_FALSE(remote);
  EXPECT_EQ(remote.error().outermost(), "cannot read file://server/a.ts");
}

TEST_F(ReadLocalResource, RefusesAFileOverTheLimit) {
  std::string path = write("big.map", std::string(101, 'x'));
  auto big = read_local_resource(url(path), 100);
  ASSERT_FALSE(big);
  EXPECT_EQ(describe_for_frontend(big.error()),
            "cannot read " + path + ": larger than 100 bytes");
  EXPECT_TRUE(read_local_resource(url(write("fits.map", std::string(100, 'x'))), 100));
}

// What the file holds, not what its size said when it was opened: /proc
// files say 0 bytes. The bound holds for what is read.
TEST_F(ReadLocalResource, ReadsWhatTheFileHolds) {
  auto status = read_local_resource("file:///proc/self/status");
  ASSERT_TRUE(status) << describe_for_frontend(status.error());
  EXPECT_NE(status->find("Name:"), std::string::npos);
  auto bounded = read_local_resource("file:///proc/self/status", 10);
  ASSERT_FALSE(bounded);
  EXPECT_EQ(describe_for_frontend(bounded.error()),
            "cannot read /proc/self/status: larger than 10 bytes");
}

TEST_F(ReadLocalResource, ReportsAnUnreadableFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  std::string path = write("secret.ts", "x");
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  auto denied = read_local_resource(url(path));
  ASSERT_FALSE(denied);
  EXPECT_NE(describe_for_frontend(denied.error()).find("(os error 13)"), std::string::npos);
}

}  // namespace
}  // namespace vorbek
