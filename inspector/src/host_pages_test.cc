#include "host_pages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorbek {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(EscapeHtml, EveryCharacterThatEndsTextOrAnAttribute) {
  EXPECT_EQ(escape_html(R"(<a href="x" title='y'>&amp;</a>)"),
            "&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;amp;&lt;/a&gt;");
  EXPECT_EQ(escape_html("caf\xC3\xA9 \xE2\x80\x94 ok"), "caf\xC3\xA9 \xE2\x80\x94 ok");
  EXPECT_EQ(escape_html(""), "");
}

TEST(HostPages, SayWhatHappenedAndOfferAWayOn) {
  std::string crash = crash_page("the web process crashed", "devtools://localhost/js_app.html?ws=h:1/a&v8only=true");
  EXPECT_THAT(crash, HasSubstr("<title>The debugger page crashed</title>"));
  EXPECT_THAT(crash, HasSubstr("<span id=\"reason\">the web process crashed</span>"));
  EXPECT_THAT(crash, HasSubstr("autofocus href=\"devtools://localhost/js_app.html?ws=h:1/a&amp;v8only=true\">Reload</a>"));

  std::string failed = load_error_page("http://127.0.0.1:1/x?ws=h:1/a", "Not allowed to use restricted network port");
  EXPECT_THAT(failed, HasSubstr("<code id=\"address\">http://127.0.0.1:1/x?ws=h:1/a</code>"));
  EXPECT_THAT(failed, HasSubstr("Not allowed to use restricted network port"));
  EXPECT_THAT(failed, HasSubstr("href=\"http://127.0.0.1:1/x?ws=h:1/a\">Try again</a>"));

  std::string report =
      "Error: failed to read inspector targets from http://127.0.0.1:9229/json\n\nCaused by:\n"
      "    0: connect to inspector at 127.0.0.1:9229\n    1: Connection refused (os error 111)\n";
  std::string reconnect = reconnect_failure_page(report, "devtools://localhost/js_app.html");
  EXPECT_THAT(reconnect, HasSubstr("<pre id=\"report\">" + report + "</pre>"));
  EXPECT_THAT(reconnect, HasSubstr(">Try again</a>"));
}

TEST(HostPages, EscapeEveryTextTheyShow) {
  const std::string hostile = "</span><script>alert(1)</script><img src=x onerror=\"y\">";
  for (const std::string& page : {
           crash_page(hostile, "devtools://localhost/\"><script>"),
           load_error_page("http://h/\"><script>alert(1)</script>", hostile),
           reconnect_failure_page(hostile, "devtools://localhost/'onmouseover='x"),
       }) {
    EXPECT_THAT(page, Not(HasSubstr("<script")));
    EXPECT_THAT(page, Not(HasSubstr("<img")));
    EXPECT_THAT(page, Not(HasSubstr("'onmouseover")));
  }
  // An address cannot end the attribute it stands in.
  EXPECT_THAT(crash_page("x", "devtools://localhost/\"><script>"),
              HasSubstr("href=\"devtools://localhost/&quot;&gt;&lt;script&gt;\">"));
}

TEST(HostPages, OfferNoLinkToAnAddressThatRunsScript) {
  for (const char* uri : {"javascript:alert(1)", "JavaScript:alert(1)", "data:text/html,<b>", ""}) {
    std::string page = load_error_page(uri, "failed");
    EXPECT_THAT(page, Not(HasSubstr("<a "))) << uri;
    EXPECT_THAT(page, Not(HasSubstr("Try again"))) << uri;
  }
  EXPECT_THAT(load_error_page("file:///tmp/frontend/index.html", "gone"), HasSubstr("Try again"));
  EXPECT_THAT(load_error_page("HTTPS://example.org/", "gone"), HasSubstr("Try again"));
}

}  // namespace
}  // namespace vorbek
