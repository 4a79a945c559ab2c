#include "download_name.h"

#include <gtest/gtest.h>

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
