#include "frontend_url.h"

#include <stdlib.h>

#include <gtest/gtest.h>

namespace vorbek {
namespace {

TEST(FrontendUrl, TemplateExpansion) {
  EXPECT_EQ(expand_frontend_template("http://x/?ws={ws}&again={ws}", "h:1/a"), "http://x/?ws=h:1/a&again=h:1/a");
  EXPECT_EQ(expand_frontend_template("http://x/", "h:1/a"), "http://x/");
  EXPECT_EQ(expand_frontend_template("", "h:1/a"), "");
  EXPECT_EQ(expand_frontend_template("{WS}{ ws }{ws", "t"), "{WS}{ ws }{ws");
  // The inserted target is not searched again; matches do not overlap.
  EXPECT_EQ(expand_frontend_template("{ws}", "{ws}"), "{ws}");
  EXPECT_EQ(expand_frontend_template("{{ws}}ws}", "T"), "{T}ws}");
}

class FrontendUrlEnvironment : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv(FRONTEND_VARIABLE); }
};

TEST_F(FrontendUrlEnvironment, DefaultOverrideAndInvalidOverride) {
  unsetenv(FRONTEND_VARIABLE);
  FrontendUrl url = build_frontend_url("127.0.0.1:9229/a&b#c");
  EXPECT_EQ(url.text,
            "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/a&b#c&experiments=true&v8only=true");
  EXPECT_TRUE(url.embedded);

  // A frontend the user names is never the embedded one, even when it
  // points into the embedded files: the program does not rebuild it.
  setenv(FRONTEND_VARIABLE, "devtools://localhost/js_app.html?ws={ws}", 1);
  url = build_frontend_url("h:1/x");
  EXPECT_EQ(url.text, "devtools://localhost/js_app.html?ws=h:1/x");
  EXPECT_FALSE(url.embedded);

  setenv(FRONTEND_VARIABLE, "", 1);
  url = build_frontend_url("h:1/x");
  EXPECT_EQ(url.text, "");
  EXPECT_FALSE(url.embedded);

  setenv(FRONTEND_VARIABLE, "http://x/\xff{ws}", 1);
  url = build_frontend_url("h");
  EXPECT_EQ(url.text, "http://devtools.localhost/js_app.html?ws=h&experiments=true&v8only=true");
  EXPECT_TRUE(url.embedded);
}

TEST(Diagnostics, ThreeAlignedLines) {
  EXPECT_EQ(format_diagnostics("h:1/x", ""),
            "vorbek_inspector: ws target  = h:1/x\n"
            "vorbek_inspector: devtools   = \n"
            "vorbek_inspector: (frontend is embedded; override with VORBEK_INSPECTOR_FRONTEND)\n");
}

}  // namespace
}  // namespace vorbek
