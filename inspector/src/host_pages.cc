#include "host_pages.h"

#include "ascii.h"

namespace vorbek {
namespace {

constexpr std::string_view STYLE = R"(<style>
:root { color-scheme: light dark; }
body { font: 14px/1.5 system-ui, sans-serif; margin: 0; padding: 48px; }
main { max-width: 720px; margin: 0 auto; }
h1 { font-size: 20px; font-weight: 600; margin: 0 0 16px; }
code, pre { font: 13px/1.5 monospace; }
pre { white-space: pre-wrap; overflow-wrap: anywhere; padding: 12px; border-radius: 6px;
      background: rgba(127, 127, 127, 0.12); }
code { overflow-wrap: anywhere; }
a.action { display: inline-block; margin-top: 16px; padding: 6px 16px; border-radius: 4px;
           background: #1a73e8; color: #fff; text-decoration: none; }
a.action:focus, a.action:hover { background: #1765cc; }
</style>)";

// Only addresses that load a page: anything else (javascript:, data:) gets
// no link at all.
bool loads_a_page(std::string_view uri) {
  for (std::string_view scheme : {"http://", "https://", "devtools://", "file://"}) {
    if (starts_with_ignoring_ascii_case(uri, scheme)) return true;
  }
  return false;
}

struct Page {
  std::string_view title;
  std::string body;  // HTML already
  std::string_view action;
  std::string_view action_uri;
};

std::string render(const Page& page) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>";
  html += escape_html(page.title);
  html += "</title>";
  html += STYLE;
  html += "</head><body><main><h1>";
  html += escape_html(page.title);
  html += "</h1>";
  html += page.body;
  // Focused, so Enter takes the way on as well as a click does.
  if (loads_a_page(page.action_uri)) {
    html += "<a class=\"action\" id=\"action\" autofocus href=\"";
    html += escape_html(page.action_uri);
    html += "\">";
    html += escape_html(page.action);
    html += "</a>";
  }
  html += "</main></body></html>\n";
  return html;
}

std::string paragraph(std::string_view html) { return "<p>" + std::string(html) + "</p>"; }

}  // namespace

std::string escape_html(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string crash_page(std::string_view reason, std::string_view reload_uri) {
  std::string body = paragraph("The page that showed the debugger ended unexpectedly.");
  body += paragraph("Reason: <span id=\"reason\">" + escape_html(reason) + "</span>");
  return render({"The debugger page crashed", std::move(body), "Reload", reload_uri});
}

std::string load_error_page(std::string_view uri, std::string_view reason, bool retry) {
  std::string body = paragraph("<code id=\"address\">" + escape_html(uri) + "</code>");
  body += paragraph("Reason: <span id=\"reason\">" + escape_html(reason) + "</span>");
  return render({"The page could not be loaded", std::move(body), "Try again", retry ? uri : ""});
}

std::string reconnect_failure_page(std::string_view report, std::string_view retry_uri) {
  std::string body = paragraph("Asking the inspector for its current target failed:");
  body += "<pre id=\"report\">" + escape_html(report) + "</pre>";
  body += paragraph("Check that the script engine runs with its inspector, then try again.");
  return render({"Cannot reconnect to the inspector", std::move(body), "Try again", retry_uri});
}

}  // namespace vorbek
