#include "frontend_url.h"

#include "console.h"
#include "utf8.h"

namespace vorbek {

std::string expand_frontend_template(std::string_view override_template,
                                     std::string_view ws_target) {
  constexpr std::string_view placeholder = "{ws}";
  std::string url;
  size_t from = 0;
  for (size_t at; (at = override_template.find(placeholder, from)) != std::string_view::npos;
       from = at + placeholder.size()) {
    url.append(override_template.substr(from, at - from));
    url.append(ws_target);
  }
  url.append(override_template.substr(from));
  return url;
}

std::string embedded_frontend_url(std::string_view ws_target) {
  std::string url(FRONTEND_ORIGIN_PREFIX);
  url += "localhost/js_app.html?ws=";
  url += ws_target;
  url += "&experiments=true&v8only=true";
  return url;
}

FrontendUrl build_frontend_url(std::string_view ws_target) {
  auto override_template = read_environment(FRONTEND_VARIABLE);
  if (override_template && is_valid_utf8(*override_template)) {
    return {expand_frontend_template(*override_template, ws_target), false};
  }
  return {embedded_frontend_url(ws_target), true};
}

std::string format_diagnostics(std::string_view ws_target, std::string_view frontend_url) {
  std::string lines = "vorbek_inspector: ws target  = ";
  lines += ws_target;
  lines += "\nvorbek_inspector: devtools   = ";
  lines += frontend_url;
  lines += "\nvorbek_inspector: (frontend is embedded; override with VORBEK_INSPECTOR_FRONTEND)\n";
  return lines;
}

Status print_diagnostics(std::string_view ws_target, std::string_view frontend_url) {
  if (auto written = write_stdout(format_diagnostics(ws_target, frontend_url)); !written) {
    return std::move(written).error().wrap("failed to write to standard output");
  }
  return {};
}

}  // namespace vorbek
