#include "args.h"

#include <gtest/gtest.h>

namespace vorbek {
namespace {

Args parsed(std::vector<std::string> args) {
  auto result = parse_args(args);
  EXPECT_TRUE(result.ok()) << result.error().outermost();
  return result ? result.value() : Args{};
}

TEST(Args, AddressIsFirstArgumentNotStartingWithTwoDashes) {
  EXPECT_EQ(parsed({"127.0.0.1:9229"}).inspector_address, "127.0.0.1:9229");
  EXPECT_EQ(parsed({"--verbose", "a:1", "b:2"}).inspector_address, "a:1");
  // Short arguments are never options.
  EXPECT_EQ(parsed({"", "a:1"}).inspector_address, "");
  EXPECT_EQ(parsed({"-"}).inspector_address, "-");
  EXPECT_EQ(parsed({"-h"}).inspector_address, "-h");
  EXPECT_EQ(parsed({"--", "a:1"}).inspector_address, "a:1");
}

TEST(Args, PrintUrlAnywhereButOnlyExact) {
  EXPECT_TRUE(parsed({"--print-url", "a:1"}).print_url);
  EXPECT_TRUE(parsed({"a:1", "--print-url"}).print_url);
  EXPECT_TRUE(parsed({"a:1", "b:2", "--print-url", "--print-url"}).print_url);
  EXPECT_FALSE(parsed({"--print-url=yes", "a:1"}).print_url);
  EXPECT_FALSE(parsed({"--PRINT-URL", "a:1"}).print_url);
  EXPECT_EQ(parsed({"--print-url=yes", "a:1"}).inspector_address, "a:1");
}

TEST(Args, UsageWhenNoAddress) {
  for (const auto& args : std::vector<std::vector<std::string>>{{}, {"--print-url"}, {"--x", "--y"}}) {
    auto result = parse_args(args);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(format_failure_report(result.error()),
              "Error: usage: vorbek_inspector [--print-url] <inspector-http-addr e.g. "
              "127.0.0.1:9229>\n");
  }
}

TEST(Args, InvalidUtf8AnywhereStops) {
  auto result = parse_args({"127.0.0.1:9229", "--x\xff"});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().outermost(), "argument 2 is not valid UTF-8");
  EXPECT_EQ(result.error().messages().size(), 1u);
  // Overlong and surrogate encodings count as invalid too.
  EXPECT_FALSE(parse_args({"\xc0\xaf"}).ok());
  EXPECT_FALSE(parse_args({"\xed\xa0\x80"}).ok());
  EXPECT_TRUE(parse_args({"h\xc3\xa9:1"}).ok());
}

}  // namespace
}  // namespace vorbek
