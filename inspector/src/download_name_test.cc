#include "download_name.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vorbek {
namespace {

TEST(NumberedFileName, GoesBeforeTheExtension) {
  EXPECT_EQ(numbered_file_name("trace.json", 0), "trace.json");
  EXPECT_EQ(numbered_file_name("trace.json", 1), "trace (1).json");
  EXPECT_EQ(numbered_file_name("Heap-20240101T101010.heapsnapshot", 12),
            "Heap-20240101T101010 (12).heapsnapshot");
  EXPECT_EQ(numbered_file_name("a.b.c", 3), "a.b (3).c");
}

TEST(NumberedFileName, NoExtensionOrDotFileGetsItAtTheEnd) {
  EXPECT_EQ(numbered_file_name("README", 1), "README (1)");
  EXPECT_EQ(numbered_file_name(".profile", 2), ".profile (2)");
}

TEST(FreeNumberedPath, ThePathWhenFreeElseTheFirstFreeNumberInTheFileName) {
  std::set<std::string> taken;
  auto is_taken = [&](const std::string& path) { return taken.count(path) > 0; };
  EXPECT_EQ(free_numbered_path("C:\\Users\\me\\Downloads\\a.b\\trace.json", is_taken),
            "C:\\Users\\me\\Downloads\\a.b\\trace.json");
  taken = {"C:\\d.x\\trace.json", "C:\\d.x\\trace (1).json", "C:\\d.x\\trace (3).json"};
  // The dot in the folder's name is not the file's extension.
  EXPECT_EQ(free_numbered_path("C:\\d.x\\trace.json", is_taken), "C:\\d.x\\trace (2).json");
  taken = {"/home/me/Downloads/README"};
  EXPECT_EQ(free_numbered_path("/home/me/Downloads/README", is_taken),
            "/home/me/Downloads/README (1)");
  // Never a name that replaces a file, even when no name is free.
  EXPECT_EQ(free_numbered_path("C:\\d\\x", [](const std::string&) { return true; }), "");
}

TEST(DownloadDirectory, ConfiguredDirectoryIsUsed) {
  EXPECT_EQ(download_directory_for("/home/me/Saved", "/home/me"), "/home/me/Saved");
  EXPECT_EQ(download_directory_for("/srv/downloads/", "/home/me"), "/srv/downloads");
  // Somewhere above HOME is a real choice too.
  EXPECT_EQ(download_directory_for("/home", "/home/me"), "/home");
}

TEST(DownloadDirectory, NoneOrHomeItselfMeansHomeDownloads) {
  EXPECT_EQ(download_directory_for("", "/home/me"), "/home/me/Downloads");
  EXPECT_EQ(download_directory_for("/home/me", "/home/me"), "/home/me/Downloads");
  EXPECT_EQ(download_directory_for("/home/me/", "/home/me"), "/home/me/Downloads");
  EXPECT_EQ(download_directory_for("/home/me", "/home/me/"), "/home/me/Downloads");
  EXPECT_EQ(download_directory_for("/", "/"), "/Downloads");
}

}  // namespace
}  // namespace vorbek
