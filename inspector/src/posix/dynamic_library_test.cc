#include "dynamic_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vorbek {
namespace {

// A missing toolkit or engine must become the cause of the window's report,
// naming what the loader could not find.
TEST(DynamicLibrary, MissingLibraryOrSymbolIsAnErrorNamingIt) {
  auto missing = open_library("libvorbek-no-such-library.so.0");
  ASSERT_FALSE(missing);
  EXPECT_NE(format_failure_report(missing.error()).find("libvorbek-no-such-library.so.0"),
            std::string::npos);

  auto libc = open_library("libc.so.6");
  ASSERT_TRUE(libc);
  decltype(&::strlen) entry = nullptr;
  auto absent = resolve(libc->get(), "vorbek_no_such_function", entry);
  ASSERT_FALSE(absent);
  EXPECT_NE(format_failure_report(absent.error()).find("vorbek_no_such_function"),
            std::string::npos);
  EXPECT_EQ(entry, nullptr);
}

TEST(DynamicLibrary, ResolvedEntryCallsTheLibrary) {
  auto libc = open_library("libc.so.6");
  ASSERT_TRUE(libc);
  decltype(&::strlen) entry = nullptr;
  ASSERT_TRUE(resolve(libc->get(), "strlen", entry));
  EXPECT_EQ(entry("vorbek"), 6u);
}

}  // namespace
}  // namespace vorbek
