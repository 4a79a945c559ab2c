#include "module_preload.h"

#include <gtest/gtest.h>

#include <map>

namespace vorbek {
namespace {

using Strings = std::vector<std::string>;

TEST(ModulePreloadTest, FindsStaticImportsMinifiedOrNotButNoDynamicOnes) {
  EXPECT_EQ(static_import_specifiers(
                R"(import"../shell/shell.js";import*as t from"../../core/common/common.js";)"
                R"(import{a as b,c}from'./x.js';export*from"./y.js";export{q}from "./z.js";)"
                "\nimport def, * as ns from './w.js';\nimport {\n  m,\n  n\n} from './multi.js';"),
            (Strings{"../shell/shell.js", "../../core/common/common.js", "./x.js", "./y.js",
                     "./z.js", "./w.js", "./multi.js"}));
  // Not edges: dynamic import, import.meta, exports without from, longer
  // names, properties, and a string that only looks like a clause.
  EXPECT_EQ(static_import_specifiers(
                R"(const p=import("./lazy.js");import.meta.url;export const a="./no.js";)"
                R"(reimport"./no2.js";x.import"./no3.js";export default from;"./no4.js";)"
                R"(export{a,b};const s="import x from";let y=1;)"),
            Strings{});
  // A "from" glued to a name is not the keyword.
  EXPECT_EQ(static_import_specifiers(R"(import xfrom"./no.js")"), Strings{});
}

TEST(ModulePreloadTest, ModuleScriptsOfAPageInOrder) {
  EXPECT_EQ(module_script_sources(
                R"(<script>document.write('<scr' + 'ipt src="./poly.js"></scr' + 'ipt>')</script>)"
                R"(<script type="module" src="./entrypoints/js_app/js_app.js"></script>)"
                R"(<script src='./classic.js'></script><script src='./b.js' type='module'>)"),
            (Strings{"./entrypoints/js_app/js_app.js", "./b.js"}));
}

TEST(ModulePreloadTest, ResolvesRelativeSpecifiersOnly) {
  EXPECT_EQ(resolve_relative("entrypoints/js_app/js_app.js", "../../core/sdk/sdk.js"),
            "core/sdk/sdk.js");
  EXPECT_EQ(resolve_relative("js_app.html", "./entrypoints/a.js"), "entrypoints/a.js");
  EXPECT_EQ(resolve_relative("a/b.js", "./c/./d.js"), "a/c/d.js");
  EXPECT_EQ(resolve_relative("a/b.js", "../../up.js"), std::nullopt);  // above the root
  EXPECT_EQ(resolve_relative("a/b.js", "lit"), std::nullopt);           // bare
  EXPECT_EQ(resolve_relative("a/b.js", "/abs.js"), std::nullopt);
  EXPECT_EQ(resolve_relative("a/b.js", "./q.js?v=1"), std::nullopt);
}

// Breadth first, each module once even in a cycle; missing files are left
// out, so the header never names a 404.
TEST(ModulePreloadTest, GraphIsBreadthFirstWithoutRepeatsOrMissingFiles) {
  const std::map<std::string, std::string> files = {
      {"page.html", R"(<script type="module" src="./a/root.js"></script>)"},
      {"a/root.js", R"(import"./b.js";import*as c from"../c/c.js";import("./lazy.js");)"},
      {"a/b.js", R"(import"../c/c.js";import"./gone.js";)"},
      {"c/c.js", R"(export*from"../a/root.js";export{x}from"./d.js";)"},
      {"c/d.js", "export const x=1;"},
      {"a/lazy.js", ""},
  };
  auto read = [&](const std::string& path) -> std::optional<std::string> {
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
  };
  const Strings graph = page_module_graph("page.html", read);
  EXPECT_EQ(graph, (Strings{"a/root.js", "a/b.js", "c/c.js", "c/d.js"}));
  EXPECT_EQ(module_preload_link(graph),
            "<./a/root.js>; rel=modulepreload, <./a/b.js>; rel=modulepreload, "
            "<./c/c.js>; rel=modulepreload, <./c/d.js>; rel=modulepreload");
  EXPECT_EQ(page_module_graph("missing.html", read), Strings{});
  // A path that would need escaping inside <...> is left out.
  EXPECT_EQ(module_preload_link({"a b.js", "x>.js", "ok.js"}), "<./ok.js>; rel=modulepreload");
}

}  // namespace
}  // namespace vorbek

namespace vorbek {
namespace {

// Their hashes go into the page's policy: the text must be the bytes the
// engine hashes, or the page's own script would be refused.
TEST(InlineScripts, TakesEachInlineScriptAsTheEngineSeesIt) {
  const std::string html =
      "<script>\r\n  a();\r  b();\n</script>\n"
      "<script type=\"module\" src=\"./m.js\"></script>\n"
      "<SCRIPT data-x='1'>c('</scr' + 'ipt>')</SCRIPT>\n"
      "<scripts>not a script</scripts>\n"
      "<script nosrc>d()</script><script\tsrc = x.js></script>";
  EXPECT_EQ(inline_script_texts(html),
            (std::vector<std::string>{"\n  a();\n  b();\n", "c('</scr' + 'ipt>')", "d()"}));
  EXPECT_TRUE(inline_script_texts("<script>unclosed").empty());
}

}  // namespace
}  // namespace vorbek
