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

// The names come from the page and the target: nothing in them reaches the
// terminal as a control, and a line stays one line.
TEST(DownloadLines, ControlCharactersAreShownAsEscapes) {
  EXPECT_EQ(download_saved_line("/home/me/Downloads/a (2).json"),
            "vorbek_inspector: saved /home/me/Downloads/a (2).json\n");
  EXPECT_EQ(download_saved_line("/d/\x1b]0;owned\x07x\ny\x7f.js"),
            "vorbek_inspector: saved /d/\\x1b]0;owned\\x07x\\x0ay\\x7f.js\n");
  EXPECT_EQ(download_saving_line("C:\\Users\\me\\\xc2\x9b" "2J\xc3\xa9.json"),
            "vorbek_inspector: saving C:\\Users\\me\\\\u009b2J\xc3\xa9.json\n");
  EXPECT_EQ(download_failed_line("/d/f\r", "disk\x1b[2Jfull"),
            "vorbek_inspector: not saved /d/f\\x0d: disk\\x1b[2Jfull\n");
}

}  // namespace
}  // namespace vorbek
