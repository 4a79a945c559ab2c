"""Style rules the frontend writes for Chromium take effect in our window:
the breakpoint editor's header, styled through ":host-context(...)", keeps
its close button on the line of the breakpoint's kind; and a rule the web
engine cannot parse, added as the editor adds its rules one by one, takes
its place in the sheet without throwing, so the rules after it keep their
indices (in Chromium such a rule throws, so that check is the program's
alone)."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail, wait_until  # noqa: E402
from harness.compat import (BREAKPOINT_EDITOR, breakpoint_editor_header,  # noqa: E402
                            open_breakpoint_editor)
from harness.frontend import start_window_session  # noqa: E402

PROGRAM = sys.argv[1]

UNPARSABLE_RULE = """
const sheet = new CSSStyleSheet();
sheet.insertRule('.vt-first { color: red }', 0);
const result = {};
try {
  result.at = sheet.insertRule('.vt-second:vt-no-such-state { color: blue }', 1);
  result.next = sheet.insertRule('.vt-third { color: green }', 2);
} catch (error) {
  result.error = `${error.name}: ${error.message}`;
}
result.rules = [...sheet.cssRules].map((rule) => rule.cssText);
return result;
"""

with Workspace() as ws:
    node, app, frontend = start_window_session(ws, PROGRAM, "popover.js")
    page = app.page

    frontend.open_file("popover.js")
    open_breakpoint_editor(frontend, 11)

    def laid_out():
        found = breakpoint_editor_header(page)
        return found if found and found["title"].startswith("Line 11") else None
    header = wait_until(laid_out, 20, "the breakpoint editor shows no header")
    bar, close = header["toolbar"], header["close"]
    middle = (close["top"] + close["bottom"]) / 2
    if not bar["top"] <= middle <= bar["bottom"] or close["left"] < bar["right"]:
        fail(f"the close button is not on the header's line, right of its toolbar: {header}")
    page.focus()
    page.key("Escape")
    page.wait_gone(BREAKPOINT_EDITOR)

    if app.name == "vorbek_inspector":
        probe = page.js(UNPARSABLE_RULE)
        expected = {"at": 1, "next": 2}
        if "error" in probe or {k: probe.get(k) for k in expected} != expected:
            fail(f"adding a rule the engine cannot parse: {probe}")
        if len(probe["rules"]) != 3 or ".vt-third" not in probe["rules"][2]:
            fail(f"the sheet holds {probe['rules']}")

    app.close()
