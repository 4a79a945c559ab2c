"""A full console's filter gives the frontend's own results. Node logs 3,000
lines with objects (some warnings and errors); text, regex, negation and
level filters are typed into the filter box while most lines were never
drawn, then applied again once every line is drawn, when the frontend
matches its drawings as it always has: both must show the same lines, the
ones the lines' text calls for. A search over the undrawn lines counts the
matches their drawings hold, and a jump highlights its match. Then, with
timestamps on (each line drawn to be matched) and 3,000 new lines taken in
with the sidebar open, keys typed while a filter is being applied reach the
page between its slices, the last filter wins, and the sidebar draws the
counts it keeps."""
import pathlib
import re
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Frontend, Workspace, fail, start_node, start_viewer, start_xvfb  # noqa: E402
from harness.core import REPO, wait_until  # noqa: E402

PROGRAM = sys.argv[1]
COUNT = 3000

VIEW = """
import(new URL('panels/console/console.js', document.baseURI).href).then((c) => {
  window.__consoleView = c.ConsoleView.ConsoleView.instance();
  done(true);
}, (error) => done(String(error)));
"""
# The lines shown once the filter in the box is applied, or null meanwhile.
SHOWN = """
const view = window.__consoleView;
if (view.buildHiddenCacheTimeout !== undefined || view.filter.textFilterUI.value() !== arguments[0])
  return null;
return view.visibleViewMessages.map((m) => m.consoleMessage().messageText);
"""
LEVELS = "window.__consoleView.filter.messageLevelFiltersSetting.set(arguments[0]);"
ALL_LEVELS = {"verbose": True, "info": True, "warning": True, "error": True}
SET_FILTER = """
const view = window.__consoleView;
view.filter.textFilterUI.setValue(arguments[0]);
view.filter.onFilterChanged();
"""
SEARCH = "request 12"
# The search's match count once it has finished, or null meanwhile.
SEARCHED = """
const view = window.__consoleView;
return view.searchProgressIndicator || view.innerSearchTimeoutId ? null : view.regexMatchRanges.length;
"""
# The current match's highlight: its class and text.
CURRENT = """
const view = window.__consoleView;
const range = view.regexMatchRanges[view.currentMatchRangeIndex];
const node = range && view.visibleViewMessages[range.messageIndex].searchHighlightNode(range.matchIndex);
return node ? [node.className, node.textContent] : null;
"""
SEARCH_AGAIN = """
import(new URL('ui/legacy/legacy.js', document.baseURI).href).then((ui) => {
  const view = window.__consoleView;
  const drawn = view.visibleViewMessages.reduce((n, m) => n + m.searchHighlightNodes.filter(
      (node) => node && node.isConnected !== undefined && node.textContent).length, 0);
  view.performSearch(new ui.SearchableView.SearchConfig(arguments[0], false, false), false);
  done(drawn);
});
"""
# Each sidebar entry's count as kept, and as drawn.
SIDEBAR = """
const out = [];
for (const group of window.__consoleView.sidebar.treeElements) {
  out.push([group.messageCount, group.title]);
  for (const file of group.children()) out.push([file.messageCount, file.countElement.textContent]);
}
return out;
"""
DRAW_ALL = """
for (const message of window.__consoleView.consoleMessages) message.contentElement();
"""


def line(n):
    return f"request {n} served"


def body(n):
    return f"{line(n)} {{request: {n}, ok: {'false' if n % 7 == 0 else 'true'}, path: '/api/item/{n % 97}'}}"


def level(n):
    return "error" if n % 250 == 0 else "warning" if n % 100 == 0 else "info"


# (filter text, levels, which lines it shows by their own text). Words
# must all match, each on its own.
CASES = [
    ("request 12", None, lambda n: "request" in body(n) and "12" in body(n)),
    ("FALSE", None, lambda n: "false" in body(n)),
    (r"/item\/4\d'/", None, lambda n: re.search(r"item/4\d'", body(n))),
    ("-true", None, lambda n: "true" not in body(n)),
    (r"-/request\s\d+5\s/", None, lambda n: not re.search(r"request\s\d+5\s", body(n))),
    ("served", {**ALL_LEVELS, "info": False, "verbose": False}, lambda n: level(n) != "info"),
    ("false", {**ALL_LEVELS, "info": False, "warning": False, "verbose": False},
     lambda n: level(n) == "error" and n % 7 == 0),
]


def shown_for(page, text):
    found = []
    wait_until(lambda: found.append(page.js(SHOWN, text)) or found[-1] is not None, 120,
               lambda: f"the filter {text!r} is not applied: " + str(page.js(
                   "const v = window.__consoleView; return [v.filter.textFilterUI.value(),"
                   " v.buildHiddenCacheTimeout !== undefined]")))
    return found[-1]


with Workspace() as ws:
    start_xvfb(ws)
    trigger = ws.path("burst-now")
    node = start_node(ws, REPO / "bench" / "console_messages.js",
                      env={**ws.env, "BURST_TRIGGER": str(trigger), "BURST_COUNT": str(COUNT)})
    app = start_viewer(ws, PROGRAM, node.address)
    frontend = Frontend(app)
    frontend.wait_attached(node)
    frontend.show_console()
    page = app.page
    if page.js_async(VIEW) is not True:
        fail("cannot reach the console's view")
    trigger.touch()
    node.wait_for_stderr(f"logged {COUNT}\n", 60)
    frontend.wait_console(line(COUNT), 120)
    drawn = page.js("return window.__consoleView.consoleMessages.filter("
                    "(m) => m.contentElementInternal).length")
    if drawn > COUNT // 2:
        fail(f"{drawn} of {COUNT} lines drawn before filtering: nothing left to match undrawn")

    # Typed, mostly undrawn lines.
    typed = {}
    for text, levels, _ in CASES:
        page.js(LEVELS, levels or ALL_LEVELS)
        page.click(".toolbar-input-prompt")
        page.key("ctrl+a", "BackSpace")
        if text.startswith("-"):  # xdotool would read it as an option
            page.key("minus")
        page.type(text.lstrip("-"), delay=30)
        typed[text] = shown_for(page, text)

    # A search over the undrawn lines, through the search bar.
    page.js(LEVELS, ALL_LEVELS)
    page.js(SET_FILTER, "")
    shown_for(page, "")
    wanted_matches = sum(SEARCH in line(n) for n in range(1, COUNT + 1))
    page.click("#console-prompt")
    page.key("ctrl+f")
    time.sleep(0.5)
    page.type(SEARCH, delay=30)
    wait_until(lambda: page.js(SEARCHED) == wanted_matches, 60,
               lambda: f"the search counts {page.js(SEARCHED)} matches, not {wanted_matches}")
    page.key("Return")
    wait_until(lambda: page.js(CURRENT), 30, "a jump to a match highlights nothing")
    current = page.js(CURRENT)
    if "current-search-result" not in current[0] or current[1].lower() != SEARCH:
        fail(f"the current match is drawn as {current}")

    # The frontend's own results, from every line's drawing.
    page.js(DRAW_ALL)
    highlighted = page.js_async(SEARCH_AGAIN, SEARCH)
    wait_until(lambda: page.js(SEARCHED) is not None, 60, "the search over drawn lines does not end")
    if not highlighted == page.js(SEARCHED) == wanted_matches:
        fail(f"{highlighted} matches highlighted once drawn, {page.js(SEARCHED)} found in the"
             f" drawings, {wanted_matches} in the lines' text")
    page.key("Escape")
    page.js("window.__consoleView.immediatelyScrollToBottom();")  # as typing in the prompt does
    print(f"a search finds the {wanted_matches} matches undrawn and drawn")
    time.sleep(2)  # source links resolve after the drawing
    for text, levels, expected in CASES:
        page.js(LEVELS, levels or ALL_LEVELS)
        page.js(SET_FILTER, text)
        drawn_result = shown_for(page, text)
        wanted = [line(n) for n in range(1, COUNT + 1) if expected(n)]
        if typed[text] != drawn_result or drawn_result != wanted:
            fail(f"filter {text!r}: {len(typed[text])} lines shown as typed,"
                 f" {len(drawn_result)} from the drawings, {len(wanted)} by the lines' text;"
                 f" first differences {sorted(set(typed[text]) ^ set(wanted))[:5]}")
    page.js(LEVELS, ALL_LEVELS)
    print(f"{len(CASES)} filters show the same lines typed and from the drawings")

    # With timestamps on, each new line is drawn to be matched: a long pass.
    page.js(SET_FILTER, "")
    shown_for(page, "")
    page.js_async("""
import(new URL('core/common/common.js', document.baseURI).href).then((common) => {
  common.Settings.Settings.instance().moduleSetting('consoleTimestampsEnabled').set(true);
  window.__keysDuringPass = 0;
  addEventListener('keydown', () => {
    if (window.__consoleView.buildHiddenCacheTimeout !== undefined) window.__keysDuringPass++;
  }, true);
  done(true);
});
""")
    page.click('[aria-label="Show console sidebar"]')
    page.wait_for(".tree-outline li", "message")
    trigger.touch()
    node.wait_for_stderr(f"logged {2 * COUNT}\n", 60)
    frontend.wait_console(line(2 * COUNT), 120)
    page.click(".toolbar-input-prompt")
    page.type("request 5", delay=30)
    wait_until(lambda: page.js("return window.__consoleView.buildHiddenCacheTimeout !== undefined"),
               20, "no filter pass under way", interval=0.02)
    page.type("99", delay=30)
    page.type("9", delay=30)
    final = shown_for(page, "request 5999")
    keys = page.js("return window.__keysDuringPass")
    if not keys:
        fail("no key reached the page while the filter was being applied")
    if final != [line(5999)]:
        fail(f"the last filter typed shows {final[:5]}")
    print(f"{keys} keys reached the page during a filter's pass; the last filter shows {final}")

    # The sidebar's counts, once drawn, read as kept.
    counts = []
    wait_until(lambda: counts.append(page.js(SIDEBAR)) or all(
        str(n) in re.sub(r"[^\d]", "", str(text)) for n, text in counts[-1] if n), 30,
        lambda: f"the sidebar draws {counts[-1]}")
    if counts[-1][0][0] != 2 * COUNT:
        fail(f"the sidebar counts {counts[-1][0]} messages, not {2 * COUNT}")
    print(f"the sidebar draws the counts it keeps: {counts[-1][:3]}")
