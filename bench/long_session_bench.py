"""A debugger left attached to a chatty server: the program beside Chromium's
app mode on the same frontend files, the two viewers taking turns in one
run, each with a fresh display, profile and engine (tests/harness).

With the console shown, node (started with --expose-gc) logs RATE lines a
second for SECONDS, each with an object carrying 1 KB. Figures: the
viewer's PSS (every process under it) when attached, at 60, 180 and SECONDS
s, its highest over the flood (read every 10 s), and QUIET seconds after
the flood; the engine's heap after a forced collection before the flood and
once it is over; the time from Return to the answer of `1+1` typed at the
end; and how many messages the console holds then.

A viewer whose PSS passes --max-pss-mb is closed and its run ends there,
for the machine's sake (Chromium keeps every message).

Usage: /usr/bin/python3 bench/long_session_bench.py [PROGRAM] [--rate 1000]
       [--seconds 300] [--quiet-seconds 60] [--viewers vorbek,chromium]
Needs what the window tests need, and Debian's chromium and chromedriver.
"""
import argparse
import os
import pathlib
import re
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))
sys.path.insert(0, str(HERE))
from big_source_flood_bench import Run, cell, evaluate_timed, pss_mb  # noqa: E402
from harness import Frontend, TestFailure, start_node, start_viewer, start_xvfb  # noqa: E402
from harness.core import wait_until  # noqa: E402

LABELS = {"vorbek": "vorbek_inspector", "chromium": "chromium --app"}

# The console's messages and the dropped-messages line, from the page.
HELD = """
import(new URL('panels/console/console.js', document.baseURI).href).then((c) => {
  const line = vt.all('.console-dropped-line').find((l) => !l.hidden);
  done({held: c.ConsoleView.ConsoleView.instance().consoleMessages.length,
        line: line ? vt.text(line) : ''});
}, (error) => done({error: String(error)}));
"""


# Brings the console's prompt into view, as End in the messages would.
TO_PROMPT = """
import(new URL('panels/console/console.js', document.baseURI).href).then((c) => {
  c.ConsoleView.ConsoleView.instance().immediatelyScrollToBottom();
  setTimeout(done, 200);
}, () => done());
"""


def evaluate_at_end(frontend):
    """Seconds from Return to the answer of `1+1`, typed at the prompt once
    it is in view (row heights are learnt as rows are drawn, so scrolling to
    the bottom may take a few goes)."""
    page = frontend.page

    def prompt_in_view():
        page.js_async(TO_PROMPT)
        return page.find("#console-prompt")
    wait_until(prompt_in_view, 120, "the console's prompt does not come into view")
    return evaluate_timed(frontend, "1+1", "2")


def engine_heap_mb(node, request):
    """The engine's heap in use after a forced collection, in MB."""
    before = node.stderr().count("heap ")
    request.touch()
    wait_until(lambda: node.stderr().count("heap ") > before, 120, "no heap figure from node")
    return int(re.findall(r"heap (\d+)", node.stderr())[-1]) / 1e6


def run(program, viewer, args):
    row = {}
    with Run(f"long-session-{viewer}") as ws:
        try:
            start_xvfb(ws)
            trigger, request = ws.path("flood-now"), ws.path("gc-now")
            node = start_node(ws, HERE / "long_session.js",
                              flags=("--inspect=127.0.0.1:0", "--expose-gc"),
                              env={**ws.env, "FLOOD_TRIGGER": str(trigger),
                                   "GC_REQUEST": str(request), "FLOOD_RATE": str(args.rate),
                                   "FLOOD_SECONDS": str(args.seconds)})
            app = start_viewer(ws, program, node.address, viewer=viewer)
            frontend = Frontend(app)
            frontend.wait_attached(node)
            frontend.show_console()
            time.sleep(3)
            row["heap start"] = engine_heap_mb(node, request)
            row["attached"] = pss_mb(app.pid)
            trigger.touch()
            start = time.monotonic()
            marks = [m for m in (60, 180) if m < args.seconds] + [args.seconds]
            series, highest = [], 0.0
            for second in range(10, args.seconds + 1, 10):
                time.sleep(max(0.0, start + second - time.monotonic()))
                pss = pss_mb(app.pid)
                series.append(round(pss))
                highest = max(highest, pss)
                if second in marks:
                    row[f"{second} s"] = pss
                if pss > args.max_pss_mb:
                    row["note"] = f"closed at {second} s: PSS {pss:.0f} MB"
                    break
            row["highest"] = highest
            print(f"{viewer} PSS every 10 s: {series}", flush=True)
            if "note" in row:  # closed for the machine's sake
                return row
            try:
                row["1+1"] = evaluate_at_end(frontend)
            except TestFailure as error:
                row["note"] = f"1+1: {str(error)[:200]}"
            node.wait_for_stderr("flood over", 120)
            row["logged"] = int(re.search(r"flood over after (\d+)", node.stderr()).group(1))
            row["heap end"] = engine_heap_mb(node, request)
            time.sleep(max(0.0, start + args.seconds + args.quiet_seconds - time.monotonic()))
            row["quiet"] = pss_mb(app.pid)
            held = app.page.js_async(HELD)
            row["held"] = held.get("held")
            row["line"] = held.get("line") or held.get("error", "")
        except TestFailure as error:
            row["note"] = (row.get("note", "") + " " + str(error)[:300]).strip()
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program", nargs="?",
                        default=str(HERE.parent / "build" / "inspector" / "vorbek_inspector"))
    parser.add_argument("--rate", type=int, default=1000, help="lines a second")
    parser.add_argument("--seconds", type=int, default=300)
    parser.add_argument("--quiet-seconds", type=int, default=60)
    parser.add_argument("--max-pss-mb", type=float, default=8000)
    parser.add_argument("--viewers", default="vorbek,chromium")
    args = parser.parse_args()
    viewers = args.viewers.split(",")
    print(f"{args.program}; load {os.getloadavg()[0]:.2f}", flush=True)

    rows = {}
    for viewer in viewers:
        rows[viewer] = run(args.program, viewer, args)
        print(f"{viewer}: " + ", ".join(f"{k} {cell(v, 2) if isinstance(v, float) else v}"
                                        for k, v in rows[viewer].items()), flush=True)

    print(f"\nload after: {os.getloadavg()[0]:.2f}")
    print(f"\nLong session: {args.rate} lines/s for {args.seconds} s, each with an object carrying"
          f" 1 KB (PSS and heap in MB; quiet: {args.quiet_seconds} s after; 1+1: seconds)\n")
    columns = ["attached", "60 s", "180 s", f"{args.seconds} s", "highest", "quiet",
               "heap start", "heap end", "1+1", "logged", "held"]
    columns = list(dict.fromkeys(columns))
    print("| viewer | " + " | ".join(columns) + " |")
    print("|---" * (len(columns) + 1) + "|")
    for viewer in viewers:
        row = rows[viewer]
        values = [cell(row.get(c), 2 if c == "1+1" else (1 if c.startswith("heap") else 0))
                  if not isinstance(row.get(c), int) else f"{row[c]:,}" for c in columns]
        print(f"| {LABELS[viewer]} | " + " | ".join(values) + " |")
    for viewer in viewers:
        for key in ("line", "note"):
            if rows[viewer].get(key):
                print(f"\n{LABELS[viewer]}: {rows[viewer][key]}")


if __name__ == "__main__":
    main()
