"""Big sources and a console flood: the program beside Chromium's app mode on
the same frontend files, the two viewers taking turns in one run, each run
with a fresh display, profile and engine (tests/harness).

Big sources: node loads a file of small functions, one per line (1, 5 and
20 MB by default), and idles; the file is opened in Sources with the
quick-open box. Times: Return to the first line shown (and a frame drawn), a
click on line 5 to the status bar's "Line 5", Ctrl+End to the last function
shown; then the viewer's PSS (every process under it) and how long its
processes outlive a SIGTERM.

Console flood: with the console shown, node writes RATE short lines a second
for SECONDS; PSS before, 10 s, 30 s and SECONDS in, and QUIET seconds after
it ends; and the time from Return to the answer of `1+1` typed at the end.
Medians over the rounds.

Usage: /usr/bin/python3 bench/big_source_flood_bench.py [PROGRAM] [--sizes 1,5,20]
       [--rounds 1] [--flood-rounds 3] [--cases sources,flood] [--timeout 300]
Needs what the window tests need, and Debian's chromium and chromedriver.
"""
import argparse
import contextlib
import io
import os
import pathlib
import signal
import statistics
import sys
import threading
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))
from harness import Frontend, TestFailure, Workspace, start_node, start_viewer, start_xvfb  # noqa: E402
from harness.core import descendants, process_ended, tree_memory_kb, wait_until  # noqa: E402

VIEWERS = ("vorbek", "chromium")
LABELS = {"vorbek": "vorbek_inspector", "chromium": "chromium --app"}


class Run(Workspace):
    """A workspace that cleans up without the tests' "all passed" line."""

    def __exit__(self, kind, error, trace):
        with contextlib.redirect_stdout(io.StringIO()):
            return super().__exit__(kind, error, trace)


def pss_mb(pid):
    """The PSS of PID and every process under it, in MB."""
    return tree_memory_kb(pid)["Pss"] / 1024


def outlives_sigterm(pid, seconds=60):
    """Sends PID SIGTERM; the seconds until it and every process under it
    have ended (None if some still run after SECONDS)."""
    tree = descendants(pid)
    start = time.monotonic()
    os.kill(pid, signal.SIGTERM)
    while time.monotonic() - start < seconds:
        alive = [p for p in tree if not process_ended(p)]
        if not alive:
            return time.monotonic() - start
        time.sleep(0.05)
    return None


def write_big_source(path, megabytes):
    """Small functions, one per line, about 50 bytes each, then an idle
    timer; returns (number of the last function, its line)."""
    lines, size, number = [], 0, 0
    while size < megabytes * 1_000_000:
        line = f"function f{number}(a, b) {{ return a * {number % 97} + b - {number % 13}; }}"
        lines.append(line)
        size += len(line) + 1
        number += 1
    lines.append("setInterval(() => {}, 1 << 30);")
    path.write_text("\n".join(lines) + "\n")
    return number - 1, number


# In the page: polls CHECK (an expression over `editor`, the shadow root of
# the editor that shows the file, found once and kept) until it holds, then
# lets a frame be drawn; answers true, or false after the time limit.
WAIT_EDITOR = """
const [seconds] = arguments;
const deadline = performance.now() + seconds * 1000;
const editorRoot = () => {
  const kept = window.benchEditor;
  if (kept && kept.isConnected && vt.visible(kept)) return kept.shadowRoot;
  // The tallest editor shown: the console's prompt is one too.
  const height = (e) => e.getBoundingClientRect().height;
  window.benchEditor = vt.all('devtools-text-editor').filter((e) => vt.visible(e))
      .sort((a, b) => height(b) - height(a))[0] || null;
  return window.benchEditor && window.benchEditor.shadowRoot;
};
const line = (editor, text) => [...editor.querySelectorAll('.cm-line')].find(
    (l) => l.textContent.startsWith(text) && vt.visible(l));
const step = () => {
  let holds = false;
  try { const editor = editorRoot(); holds = !!(editor && (CHECK)); } catch (e) {}
  if (holds) { requestAnimationFrame(() => setTimeout(() => done(true), 0)); return; }
  if (performance.now() > deadline) { done(false); return; }
  setTimeout(step, 20);
};
step();
"""


def wait_editor(page, check, seconds):
    page.driver.set_script_timeout(seconds + 30)
    return page.js_async(WAIT_EDITOR.replace("CHECK", check), seconds)


def timed(action, wait, limit=None):
    """Seconds from ACTION to WAIT holding, or None if it never did. With
    LIMIT, a WAIT still blocked after LIMIT seconds (a page too busy to run
    the script that polls it) counts as never; the viewer's end frees it."""
    start = time.monotonic()
    action()
    if limit is None:
        return time.monotonic() - start if wait() else None
    outcome = []

    def waiting():
        try:
            outcome.append(wait())
        except Exception:  # noqa: BLE001 - the viewer ended under a wait given up on
            outcome.append(False)
    thread = threading.Thread(target=waiting, daemon=True)
    thread.start()
    thread.join(limit)
    return time.monotonic() - start if outcome and outcome[0] else None


def run_source(program, viewer, megabytes, limit):
    """One viewer on one big source: a dict of the figures taken."""
    row = {}
    with Run(f"source-{megabytes}mb-{viewer}") as ws:
        try:
            start_xvfb(ws)
            script = ws.path(f"big{megabytes}mb.js")
            last, lines = write_big_source(script, megabytes)
            node = start_node(ws, script)
            app = start_viewer(ws, program, node.address, viewer=viewer)
            frontend = Frontend(app)
            frontend.wait_attached(node)
            page = app.page
            page.offset()  # calibrated now, not inside a timed click

            frontend.open_panel("Sources")
            page.wait_for(".expandable-view-title", "Breakpoints")
            page.focus()
            page.key("ctrl+p")
            page.wait_for('[aria-label="Quick open prompt"]')
            page.type(script.name, delay=30)
            page.wait_for(".filtered-list-widget-item", script.name)
            row["shown"] = timed(lambda: page.key("Return"),
                                 lambda: wait_editor(page, "line(editor, 'function f0(')", limit),
                                 limit + 10)
            if row["shown"] is None:
                row["note"] = f"not shown in {limit} s"
            else:
                # The status bar's position field is empty until the cursor moves.
                page.js("window.benchTexts = vt.all('.toolbar-text')")
                target = page.js_async(
                    "const e = window.benchEditor.shadowRoot; const l = [...e.querySelectorAll("
                    "'.cm-line')].find((l) => l.textContent.startsWith('function f4('));"
                    " const b = l.getBoundingClientRect(); done([b.left + 40, b.top + b.height / 2]);")
                row["click"] = timed(
                    lambda: page.click_at(*target),
                    lambda: wait_editor(
                        page, "window.benchTexts.some((t) => /^Line 5,/.test(t.textContent))", limit),
                    limit + 10)
                row["end"] = timed(lambda: page.key("ctrl+End"),
                                   lambda: wait_editor(page, f"line(editor, 'function f{last}(')",
                                                       limit),
                                   limit + 10)
                if row["end"] is None:
                    row["note"] = f"Ctrl+End: line {lines} not shown in {limit} s"
            time.sleep(3)
            row["pss"] = pss_mb(app.pid)
            row["exit"] = outlives_sigterm(app.pid)
        except TestFailure as error:
            row["note"] = str(error)[:200]
    return row


def run_flood(program, viewer, rate, seconds, quiet):
    """One viewer through one flood: PSS at each mark, and `1+1`'s time."""
    row = {}
    with Run(f"flood-{viewer}") as ws:
        try:
            start_xvfb(ws)
            trigger = ws.path("flood-now")
            node = start_node(ws, HERE / "console_flood.js",
                              env={**ws.env, "FLOOD_TRIGGER": str(trigger), "FLOOD_RATE": str(rate),
                                   "FLOOD_SECONDS": str(seconds)})
            app = start_viewer(ws, program, node.address, viewer=viewer)
            frontend = Frontend(app)
            frontend.wait_attached(node)
            frontend.show_console()
            time.sleep(3)
            row["attached"] = pss_mb(app.pid)
            trigger.touch()
            start = time.monotonic()
            for mark in (10, 30, seconds):
                time.sleep(max(0.0, start + mark - time.monotonic()))
                row[f"{mark} s"] = pss_mb(app.pid)
            row["1+1"] = evaluate_timed(frontend, "1+1", "2")
            node.wait_for_stderr("flood over", 60)
            time.sleep(max(0.0, start + seconds + quiet - time.monotonic()))
            row["quiet"] = pss_mb(app.pid)
        except TestFailure as error:
            row["note"] = str(error)[:200]
    return row


def evaluate_timed(frontend, expression, answer):
    """Types EXPRESSION at the console prompt; seconds from Return to ANSWER."""
    page = frontend.page
    page.click("#console-prompt")
    page.type(expression, delay=15)
    wait_until(lambda: frontend.console_prompt() == expression, 60,
               lambda: f"the prompt holds {frontend.console_prompt()!r}")
    return timed(lambda: page.key("Return"),
                 lambda: page.wait_for(".console-user-command-result", answer, 120))


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def cell(value, digits=1):
    return "-" if value is None else f"{value:.{digits}f}"


def ratio(ours, theirs):
    return "-" if ours is None or not theirs else f"{ours / theirs:.2f}"


def print_table(title, columns, rows, digits):
    """ROWS: {viewer: {column: value}}; a ratio row (ours / Chromium) last."""
    print(f"\n{title}")
    width = max(len(c) for c in columns) + 2
    print(f"{'':18}" + "".join(f"{c:>{width}}" for c in columns))
    for viewer in VIEWERS:
        values = rows[viewer]
        print(f"{LABELS[viewer]:18}" + "".join(f"{cell(values.get(c), digits.get(c, 1)):>{width}}"
                                               for c in columns))
    print(f"{'ratio':18}" + "".join(
        f"{ratio(rows['vorbek'].get(c), rows['chromium'].get(c)):>{width}}" for c in columns))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program", nargs="?",
                        default=str(HERE.parent / "build" / "inspector" / "vorbek_inspector"))
    parser.add_argument("--sizes", default="1,5,20", help="source sizes in MB")
    parser.add_argument("--rounds", type=int, default=1, help="runs of each source size")
    parser.add_argument("--flood-rounds", type=int, default=3)
    parser.add_argument("--flood-rate", type=int, default=2000, help="lines a second")
    parser.add_argument("--flood-seconds", type=int, default=60)
    parser.add_argument("--quiet-seconds", type=int, default=30)
    parser.add_argument("--timeout", type=int, default=300, help="limit of each wait, seconds")
    parser.add_argument("--cases", default="sources,flood")
    args = parser.parse_args()
    cases = args.cases.split(",")
    sizes = [int(s) for s in args.sizes.split(",") if s]
    print(f"{args.program}; load {os.getloadavg()[0]:.2f}", flush=True)

    source_rows = {}
    if "sources" in cases:
        for size in sizes:
            runs = {viewer: [] for viewer in VIEWERS}
            for number in range(args.rounds):
                for viewer in VIEWERS:
                    row = run_source(args.program, viewer, size, args.timeout)
                    runs[viewer].append(row)
                    print(f"{size} MB {viewer} run {number + 1}: " + ", ".join(
                        f"{k} {cell(v, 2) if not isinstance(v, str) else v}"
                        for k, v in row.items()), flush=True)
            source_rows[size] = {viewer: {k: median([r.get(k) for r in runs[viewer]])
                                          for k in ("shown", "click", "end", "pss", "exit")}
                                 for viewer in VIEWERS}

    flood_rows = None
    if "flood" in cases:
        marks = ["attached", "10 s", "30 s", f"{args.flood_seconds} s", "quiet", "1+1"]
        runs = {viewer: [] for viewer in VIEWERS}
        for number in range(args.flood_rounds):
            for viewer in VIEWERS:
                row = run_flood(args.program, viewer, args.flood_rate, args.flood_seconds,
                                args.quiet_seconds)
                runs[viewer].append(row)
                print(f"flood {viewer} round {number + 1}: " + ", ".join(
                    f"{k} {cell(v, 2) if not isinstance(v, str) else v}" for k, v in row.items()),
                    flush=True)
        flood_rows = {viewer: {m: median([r.get(m) for r in runs[viewer]]) for m in marks}
                      for viewer in VIEWERS}

    print(f"\nload after: {os.getloadavg()[0]:.2f}")
    for size, rows in source_rows.items():
        print_table(f"Big source, {size} MB (seconds; PSS in MB after opening; exit: seconds"
                    f" the processes outlive SIGTERM; median of {args.rounds})",
                    ["shown", "click", "end", "pss", "exit"], rows, {"pss": 0})
    if flood_rows:
        columns = list(flood_rows["vorbek"])
        print_table(f"Console flood, {args.flood_rate} lines/s for {args.flood_seconds} s"
                    f" (PSS in MB; quiet: {args.quiet_seconds} s after; 1+1: seconds;"
                    f" median of {args.flood_rounds})",
                    columns, flood_rows, {c: 0 for c in columns if c != "1+1"} | {"1+1": 2})


if __name__ == "__main__":
    main()
