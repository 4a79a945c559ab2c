"""The console keeps the newest messages up to its limit. A node started
with --expose-gc logs numbered entries, each with an object of its own,
until the console drops; past the limit the oldest entries are gone from
the frontend's model and view (its filter, the sidebar's counts), the line
above the messages counts what went, and the oldest kept entry's object
still expands. The engine's heap after a forced collection stays flat while
entries are dropped, and "Clear console" gives the kept ones back too. The
console still evaluates what is typed."""
import pathlib
import re
import shutil
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Frontend, Workspace, fail, start_node, start_viewer, start_xvfb  # noqa: E402
from harness.core import wait_until  # noqa: E402
from harness.frontend import SCRIPTS  # noqa: E402

PROGRAM = sys.argv[1]
BATCH = 5000
PAYLOAD = 2048  # bytes a logged object carries, console_bound.js's pad

# What the console holds, read from its model and view.
STATE = """
const load = (path) => import(new URL(path, document.baseURI).href);
Promise.all([load('panels/console/console.js'), load('core/sdk/sdk.js')]).then(([c, sdk]) => {
  const view = c.ConsoleView.ConsoleView.instance();
  const entry = (text) => /^entry-\\d+-end$/.test(text);
  const held = view.consoleMessages.map((m) => m.consoleMessage().messageText).filter(entry);
  const line = vt.all('.console-dropped-line').find((l) => !l.hidden);
  done({held: held.length, first: held[0] || null, last: held[held.length - 1] || null,
        model: sdk.ConsoleModel.ConsoleModel.allMessagesUnordered().filter(
            (m) => entry(m.messageText)).length,
        line: line ? vt.text(line) : null,
        warnings: sdk.ConsoleModel.ConsoleModel.allWarnings(),
        firstShown: view.visibleViewMessages[0]?.consoleMessage().messageText ?? null,
        sidebar: Object.fromEntries(view.sidebar.treeElements.map((t) => [t.name(), t.messageCount])),
        shown: view.visibleViewMessages.length, hidden: view.hiddenByFilterCount});
}, (error) => done({error: String(error)}));
"""


def state(page):
    found = page.js_async(STATE)
    if "error" in found:
        fail(f"cannot read the console: {found['error']}")
    return found


def dropped_count(line):
    """The count of dropped messages the line above them states."""
    match = re.match(r"([\d,]+) earlier messages dropped", line or "")
    return int(match.group(1).replace(",", "")) if match else 0


class Script:
    """console_bound.js, driven through its request files."""

    def __init__(self, ws, node, requests):
        self.ws, self.node, self.requests = ws, node, requests
        self.total = 0

    def log(self, page, count):
        """Logs COUNT more entries; returns once the console holds the last."""
        # Renamed into place whole: the script may look between a plain
        # write's creating the file and filling it, and read no number.
        (self.requests / "log.new").write_text(str(count))
        (self.requests / "log.new").replace(self.requests / "log")
        self.total += count
        self.node.wait_for_stderr(f"logged {self.total}\n", 120)
        last = f"entry-{self.total}-end"
        wait_until(lambda: state(page)["last"] == last, 120,
                   lambda: f"the console's newest entry is not {last!r}: {state(page)}")
        return state(page)

    def heap(self):
        """The engine's heap in use after a forced collection, in MB."""
        before = self.node.stderr().count("heap ")
        (self.requests / "gc").write_text("")
        wait_until(lambda: self.node.stderr().count("heap ") > before, 30, "no heap figure from node")
        return int(re.findall(r"heap (\d+)", self.node.stderr())[-1]) / 1e6


with Workspace() as ws:
    start_xvfb(ws)
    requests = ws.path("requests")
    requests.mkdir()
    shutil.copy(SCRIPTS / "console_bound.js", ws.dir / "console_bound.js")
    node = start_node(ws, ws.dir / "console_bound.js",
                      flags=("--inspect=127.0.0.1:0", "--expose-gc"),
                      env={**ws.env, "BOUND_DIR": str(requests)})
    app = start_viewer(ws, PROGRAM, node.address)
    frontend = Frontend(app)
    frontend.wait_attached(node)
    page = app.page
    frontend.show_console()
    script = Script(ws, node, requests)
    start_heap = script.heap()

    # The first entries are counted by the sidebar as they come, the rest
    # once it opens again (the frontend takes ten times as long to log with
    # its sidebar open).
    page.click('[aria-label="Show console sidebar"]')
    page.wait_for(".tree-outline li", "messages")
    script.log(page, 500)
    page.click('[aria-label="Hide console sidebar"]')
    page.wait_gone(".tree-outline li", "messages")

    # Up to the limit and past it.
    seen = script.log(page, BATCH)
    while not seen["line"]:
        if script.total >= 30_000:
            fail(f"nothing dropped after {script.total} entries: {seen}")
        seen = script.log(page, BATCH)
    dropped = dropped_count(seen["line"])
    if not dropped or seen["held"] + dropped != script.total:
        fail(f"{script.total} entries logged, the console holds {seen['held']} and its line"
             f" reads {seen['line']!r}")
    if seen["model"] != seen["held"] or seen["first"] != f"entry-{dropped + 1}-end":
        fail(f"after {dropped} dropped the console holds {seen}")
    if seen["held"] < 10_000:
        fail(f"the console keeps only {seen['held']} messages")
    # The counts see only what is kept (the console holds nothing but the
    # entries): the status bar's warnings, and the sidebar's by level, where
    # the warnings are shown alone from the oldest kept one.
    warnings = script.total // 100 - dropped // 100
    if seen["warnings"] != warnings:
        fail(f"{seen['warnings']} warnings counted, {warnings} kept")
    page.click('[aria-label="Show console sidebar"]')
    page.wait_for(".tree-outline li", f"{seen['held']:,} messages")
    seen = state(page)
    counts = {"message": seen["held"], "info": seen["held"] - warnings, "warning": warnings}
    if any(seen["sidebar"].get(name) != count for name, count in counts.items()):
        fail(f"the sidebar counts {seen['sidebar']} for {counts} kept")
    page.click(".tree-outline li", f"{warnings} warning")
    page.wait_for(".toolbar-text", f"{seen['held'] - warnings:,} hidden", seconds=60, exact=True)
    oldest_warning = f"entry-{(dropped // 100 + 1) * 100}-end"
    if state(page)["firstShown"] != oldest_warning:
        fail(f"the warnings shown start at {state(page)['firstShown']}, not {oldest_warning}")
    page.click(".tree-outline li", f"{seen['held']:,} messages")
    page.wait_gone(".toolbar-text", "hidden", seconds=60)
    page.click('[aria-label="Hide console sidebar"]')

    # The engine's heap with as many entries dropped again as the limit.
    time.sleep(1)
    limit_heap = script.heap()
    while script.total - seen["held"] - dropped < seen["held"]:
        script.log(page, BATCH)
    seen_after = state(page)
    time.sleep(1)
    end_heap = script.heap()
    grown = end_heap - limit_heap
    logged = (script.total - dropped - seen["held"]) * PAYLOAD / 1e6
    print(f"engine heap: {start_heap:.1f} MB at the start, {limit_heap:.1f} MB at the limit,"
          f" {end_heap:.1f} MB after {logged:.0f} MB more logged")
    if grown > 8:
        fail(f"the engine's heap grew {grown:.1f} MB while {logged:.0f} MB of entries were"
             f" dropped ({limit_heap:.1f} -> {end_heap:.1f} MB)")
    dropped = dropped_count(seen_after["line"])
    if seen_after["held"] + dropped != script.total or \
            seen_after["first"] != f"entry-{dropped + 1}-end":
        fail(f"after {script.total} entries the console holds {seen_after}")

    # The oldest kept entry's object still expands: the engine still has it.
    page.js_async("import(new URL('panels/console/console.js', document.baseURI).href)"
                  ".then((c) => { c.ConsoleView.ConsoleView.instance().viewport"
                  ".forceScrollItemToBeFirst(0); done(); })")
    page.wait_for(".console-message-text", seen_after["first"])
    entry = f"entry: {dropped + 1}"
    root = page.wait_for("li.object-properties-section-root-element", entry)
    page.click("li.object-properties-section-root-element", entry, at=(6, root["height"] / 2))
    page.wait_for("li", entry, seconds=20, exact=True)
    page.wait_for("li", "payload: 'xxx", seconds=20)

    # Evaluation, past the limit, at the prompt below the newest entry.
    def prompt_in_view():
        # Row heights are learnt as rows are drawn, so it may take a few goes.
        page.js_async("import(new URL('panels/console/console.js', document.baseURI).href)"
                      ".then((c) => { c.ConsoleView.ConsoleView.instance()"
                      ".immediatelyScrollToBottom(); setTimeout(done, 200); })")
        return page.find("#console-prompt")
    wait_until(prompt_in_view, 30, "the console's prompt does not come into view")
    frontend.console_eval("6 * 7 + 0.5")
    frontend.console_result("42.5")

    # "Clear console" lets the engine have the kept entries' objects back.
    page.click('[aria-label="Clear console"]')
    wait_until(lambda: state(page)["held"] == 0 and not state(page)["line"], 30,
               lambda: f"the console holds {state(page)} after Clear console")
    time.sleep(1)
    cleared_heap = script.heap()
    print(f"engine heap after Clear console: {cleared_heap:.1f} MB")
    if cleared_heap - start_heap > 8:
        fail(f"the engine's heap is {cleared_heap:.1f} MB after Clear console,"
             f" {start_heap:.1f} MB before the entries")

    app.close()
