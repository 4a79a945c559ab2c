"""A full console, filtered and searched: the program beside Chromium's app
mode on the same frontend files, the viewers taking turns in one run, each
with a fresh display, profile and engine (tests/harness).

Node (bench/console_messages.js) logs COUNT lines as fast as it can, each
with a small object (every 100th a warning, every 250th an error). Times,
in seconds, all with real input through X:
- burst: from the trigger until the last line is shown, the sidebar closed;
- filter: "request 4242 " (for 10,000 lines) typed into the filter box, KEY_MS a key, from the
  last key until only the matching line is shown; unfilter: the box emptied,
  until every line is shown again;
- search: Ctrl+F in the messages, "request 42" typed, from the last key
  until the whole text's matches are counted; first: Return, to the first match shown;
  next: Return again, to the next;
- clear: "Clear console" clicked, until no line is left;
- burst+sidebar: the same burst again with the sidebar open.
Beside each, the longest gap between the page's animation frames during it
(the longest stretch the window did not answer). Medians over the rounds.

Usage: /usr/bin/python3 bench/console_bench.py [PROGRAM] [--count 10000]
       [--rounds 1] [--key-ms 120] [--viewers vorbek,chromium]
Needs what the window tests need, and Debian's chromium and chromedriver.
"""
import argparse
import os
import pathlib
import statistics
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))
sys.path.insert(0, str(HERE))
from big_source_flood_bench import Run, cell  # noqa: E402
from harness import Frontend, TestFailure, start_node, start_viewer, start_xvfb  # noqa: E402
from harness.core import wait_until  # noqa: E402

LABELS = {"vorbek": "vorbek_inspector", "chromium": "chromium --app"}
SEARCH = "request 42"
ACTIONS = ["burst", "filter", "unfilter", "search", "first", "next", "clear", "burst+sidebar"]

# The longest gap between animation frames since the last call, in ms.
FRAMES = """
if (!window.__frameGaps) {
  window.__frameGaps = {last: performance.now(), longest: 0};
  const tick = (now) => {
    const gaps = window.__frameGaps;
    gaps.longest = Math.max(gaps.longest, now - gaps.last);
    gaps.last = now;
    requestAnimationFrame(tick);
  };
  requestAnimationFrame(tick);
}
const gaps = window.__frameGaps;
const longest = Math.max(gaps.longest, performance.now() - gaps.last);
gaps.longest = 0;
return longest;
"""

# What the console shows: how many lines, and the last one's text.
SHOWN = """
const view = window.__consoleView;
if (!view) return null;
const shown = view.visibleViewMessages;
return {shown: shown.length, held: view.consoleMessages.length,
        last: shown.length ? shown[shown.length - 1].consoleMessage().messageText : null,
        match: view.currentMatchRangeIndex, matches: view.regexMatchRanges.length,
        query: view.searchRegex ? view.searchRegex.source : null};
"""

FIND_VIEW = """
import(new URL('panels/console/console.js', document.baseURI).href).then((c) => {
  window.__consoleView = c.ConsoleView.ConsoleView.instance();
  done(true);
}, (error) => done(String(error)));
"""


def shown(page):
    try:
        return page.js(SHOWN) or {}
    except Exception:  # noqa: BLE001 - a busy page may not answer in time
        return {}


class Timed:
    """Seconds from its start to a state, and the longest frame gap."""

    def __init__(self, page, row, name):
        self.page, self.row, self.name = page, row, name

    def __enter__(self):
        self.page.js(FRAMES)
        self.start = time.monotonic()
        return self

    def restart(self):
        self.start = time.monotonic()

    def until(self, check, seconds, what):
        wait_until(check, seconds, what, interval=0.2)
        self.row[self.name] = time.monotonic() - self.start
        self.row[self.name + " gap"] = self.page.js(FRAMES) / 1000
        print(f"  {self.name}: {self.row[self.name]:.2f} s, longest frame gap"
              f" {self.row[self.name + ' gap']:.2f} s", flush=True)

    def __exit__(self, *error):
        return False


def burst(node, trigger, page, row, name, total, count, timeout):
    with Timed(page, row, name) as timed:
        trigger.touch()
        timed.until(lambda: shown(page).get("last") == f"request {total} served" and
                    shown(page).get("shown") >= min(count, 10000), timeout,
                    f"request {total} is not shown")
    node.wait_for_stderr(f"logged {total}\n", 60)


def run(program, viewer, args):
    row = {}
    with Run(f"console-{viewer}") as ws:
        try:
            start_xvfb(ws)
            trigger = ws.path("burst-now")
            node = start_node(ws, HERE / "console_messages.js",
                              env={**ws.env, "BURST_TRIGGER": str(trigger),
                                   "BURST_COUNT": str(args.count)})
            app = start_viewer(ws, program, node.address, viewer=viewer)
            frontend = Frontend(app)
            frontend.wait_attached(node)
            frontend.show_console()
            page = app.page
            # The console's view, kept on the page's window for SHOWN.
            if page.js_async(FIND_VIEW) is not True:
                raise TestFailure("cannot reach the console's view")
            time.sleep(2)
            burst(node, trigger, page, row, "burst", args.count, args.count, args.timeout)
            time.sleep(args.pause)

            wanted = f"request {args.count * 4242 // 10000} "
            page.click(".toolbar-input-prompt")
            with Timed(page, row, "filter") as timed:
                page.type(wanted, delay=args.key_ms)
                timed.restart()
                timed.until(lambda: shown(page).get("shown") == 1 and
                            shown(page).get("last") == wanted + "served", args.timeout,
                            "the filter does not show the one line")
            with Timed(page, row, "unfilter") as timed:
                page.key("ctrl+a", "BackSpace")
                timed.restart()
                timed.until(lambda: shown(page).get("shown") == args.count, args.timeout,
                            "emptying the filter does not show every line")

            page.click("#console-prompt")
            with Timed(page, row, "search") as timed:
                page.key("ctrl+f")
                time.sleep(0.5)
                page.type(SEARCH, delay=args.key_ms)
                timed.restart()
                # The search of the whole text, not of its first keys.
                timed.until(lambda: shown(page).get("query") == SEARCH and
                            shown(page).get("matches", 0) > 0, args.timeout, "no search match")
            for name in ("first", "next"):
                before = shown(page).get("match")
                with Timed(page, row, name) as timed:
                    page.key("Return")
                    timed.until(lambda: shown(page).get("match") not in (None, -1, before),
                                args.timeout, f"Return does not go to the {name} match")
            page.key("Escape")

            with Timed(page, row, "clear") as timed:
                page.click('[aria-label="Clear console"]')
                timed.until(lambda: shown(page).get("held") in (0, 1), args.timeout,
                            "Clear console leaves lines")
            page.click('[aria-label="Show console sidebar"]')
            page.wait_for(".tree-outline li", "message")
            time.sleep(1)
            burst(node, trigger, page, row, "burst+sidebar", 2 * args.count, args.count,
                  args.timeout)
        except TestFailure as error:
            row["note"] = str(error)[:300]
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program", nargs="?",
                        default=str(HERE.parent / "build" / "inspector" / "vorbek_inspector"))
    parser.add_argument("--count", type=int, default=10000)
    parser.add_argument("--rounds", type=int, default=1)
    parser.add_argument("--key-ms", type=int, default=120, help="ms between typed keys")
    parser.add_argument("--pause", type=float, default=3, help="s after the burst, before typing")
    parser.add_argument("--timeout", type=float, default=300, help="s to wait for each action")
    parser.add_argument("--viewers", default="vorbek,chromium")
    args = parser.parse_args()
    viewers = args.viewers.split(",")
    print(f"{args.program}; load {os.getloadavg()[0]:.2f}", flush=True)

    runs = {viewer: [] for viewer in viewers}
    for _ in range(args.rounds):
        for viewer in viewers:
            row = run(args.program, viewer, args)
            runs[viewer].append(row)
            print(f"{viewer}: " + ", ".join(
                f"{k} {v:.2f}" if isinstance(v, float) else f"{k} {v}" for k, v in row.items()),
                flush=True)

    print(f"\nload after: {os.getloadavg()[0]:.2f}")
    print(f"\nA console of {args.count:,} lines with objects: seconds until shown (medians of"
          f" {args.rounds}), and in brackets the longest gap between frames meanwhile\n")
    print("| viewer | " + " | ".join(ACTIONS) + " |")
    print("|---" * (len(ACTIONS) + 1) + "|")
    for viewer in viewers:
        cells = []
        for action in ACTIONS:
            values = [r[action] for r in runs[viewer] if action in r]
            gaps = [r[action + " gap"] for r in runs[viewer] if action + " gap" in r]
            cells.append(f"{cell(statistics.median(values), 2)} ({cell(statistics.median(gaps), 2)})"
                         if values else "-")
        print(f"| {LABELS[viewer]} | " + " | ".join(cells) + " |")
    for viewer in viewers:
        for row in runs[viewer]:
            if row.get("note"):
                print(f"\n{LABELS[viewer]}: {row['note']}")


if __name__ == "__main__":
    main()
