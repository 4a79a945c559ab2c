"""Interaction in the program's web view, for one or more builds: the time
to scroll a 10000-line highlighted source to its end, half a screen a frame,
and the frame rate while a 2D-canvas flame chart is panned
(interaction_page.html, loaded through VORBEK_INSPECTOR_FRONTEND in the
program's own web view with its own settings; the program runs as a user
runs it, no WebDriver). The builds take turns; medians of RUNS runs each,
under Xvfb's software rendering.

Usage: /usr/bin/python3 bench/interaction_bench.py [runs] [path/to/vorbek_inspector ...]
Needs Xvfb and node.
"""
import pathlib
import shutil
import statistics
import subprocess
import sys
import time
import urllib.parse

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
from harness import REPO, Workspace, fail, start_node, start_xvfb  # noqa: E402
from harness.core import read_text, stop_process  # noqa: E402
from harness.viewer import serve_directory  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent
RUNS = int(sys.argv[1]) if len(sys.argv) > 1 else 5
PROGRAMS = [pathlib.Path(p).resolve() for p in sys.argv[2:]] or [
    REPO / "build" / "inspector" / "vorbek_inspector"]


def uptime():
    return subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip()


def results(ws):
    """The queries of the page's result requests so far (the HTTP server
    logs each request on its stderr)."""
    return [line.split("GET /result?", 1)[1].split()[0]
            for line in read_text(ws.path("http.err")).splitlines() if "GET /result?" in line]


def run_once(ws, program, address, port, number):
    """One run of PROGRAM; the result's query ("scroll_ms=...&...")."""
    seen = len(results(ws))
    err = ws.path(f"viewer{number}.err")
    env = dict(ws.env, VORBEK_INSPECTOR_FRONTEND=f"http://127.0.0.1:{port}/interaction_page.html")
    process = ws.spawn([program, address], stderr=err, env=env)
    deadline = time.monotonic() + 120
    while len(results(ws)) <= seen:
        if process.poll() is not None:
            fail(f"{program} ended: {read_text(err)[-500:]}")
        if time.monotonic() > deadline:
            fail(f"{program}: no result in 120 s")
        time.sleep(0.1)
    stop_process(process)
    return results(ws)[-1]


def main():
    for tool in ("Xvfb", "node"):
        if not shutil.which(tool):
            sys.exit(f"needs {tool}")
    with Workspace("interaction_bench", report=False) as ws:
        start_xvfb(ws)
        site = ws.path("www")
        site.mkdir()
        shutil.copy(HERE / "interaction_page.html", site)
        port = serve_directory(ws, site)
        node = start_node(ws, REPO / "demo" / "demo.js")
        print(f"runs: {RUNS} per build, alternating; {uptime()}", flush=True)
        runs = {b: [] for b in range(len(PROGRAMS))}
        count = 0
        for number in range(1, RUNS + 1):
            for b, program in enumerate(PROGRAMS):
                count += 1
                line = run_once(ws, program, node.address, port, count)
                print(f"build {b} run {number}: {line}", flush=True)
                runs[b].append(dict(urllib.parse.parse_qsl(line)))
        print(f"load after: {uptime()}")
        print()
        for b, program in enumerate(PROGRAMS):
            rows = runs[b]
            med = {k: statistics.median(float(r[k]) for r in rows) for k in rows[0]}
            print(f"{program}: scroll to end {med['scroll_ms']:.0f} ms in"
                  f" {med['scroll_frames']:.0f} frames (worst frame"
                  f" {med['scroll_worst_ms']:.0f} ms); flame chart"
                  f" {med['flame_fps']:.1f} fps (worst frame {med['flame_worst_ms']:.0f} ms)")


main()
