#include "error.h"

#include <gtest/gtest.h>

namespace vorbek {
namespace {

TEST(FailureReport, LayoutsByNumberOfCauses) {
  EXPECT_EQ(format_failure_report(Error("usage: x")), "Error: usage: x\n");

  EXPECT_EQ(format_failure_report(Error("inner").wrap("outer")),
            "Error: outer\n\nCaused by:\n    inner\n");

  Error three = Error::os(111, "Connection refused").wrap("connect to inspector at a:1").wrap("top");
  EXPECT_EQ(format_failure_report(three),
            "Error: top\n\nCaused by:\n"
            "    0: connect to inspector at a:1\n"
            "    1: Connection refused (os error 111)\n");
}

TEST(FailureReport, MultiLineCausesAreIndented) {
  EXPECT_EQ(format_failure_report(Error("a\nb").wrap("top")),
            "Error: top\n\nCaused by:\n    a\n    b\n");
  EXPECT_EQ(format_failure_report(Error("x").wrap("a\nb").wrap("top")),
            "Error: top\n\nCaused by:\n    0: a\n       b\n    1: x\n");
}

TEST(FailureReport, IndexFieldIsFiveWide) {
  Error e("c0");
  for (int i = 1; i <= 11; ++i) e = std::move(e).wrap("c" + std::to_string(i));
  const std::string report = format_failure_report(std::move(e).wrap("top"));
  EXPECT_NE(report.find("\n    0: c11\n"), std::string::npos);
  EXPECT_NE(report.find("\n   11: c0\n"), std::string::npos);
}

}  // namespace
}  // namespace vorbek
