"""Launch-to-attach time and memory: vorbek_inspector beside Chromium's app
mode showing the same frontend files over loopback HTTP.

Each run starts a fresh `node --inspect` on the demo script, starts the
viewer as a user does (no WebDriver) and times launch -> node's "Debugger
attached.". SETTLE seconds later it sums the resident memory (RSS, and PSS,
which splits shared pages fairly) of the viewer and every process under it.
One untimed warm-up run of each goes first; both keep their profile between
runs. The two viewers take turns, so that a change in the machine's load
hits both alike.

Usage: /usr/bin/python3 bench/attach_bench.py [path/to/vorbek_inspector] [runs]
Needs Xvfb, node and Debian's chromium (not installed by scripts/setup.sh).
"""
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
from harness import REPO, Workspace, fail, start_node, start_xvfb, ws_target  # noqa: E402
from harness.core import read_text, stop_process, tree_memory_kb  # noqa: E402
from harness.viewer import FRONTEND_DIR, serve_directory  # noqa: E402

PROGRAM = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else
                       REPO / "build" / "inspector" / "vorbek_inspector").resolve()
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
SETTLE = float(os.environ.get("SETTLE", "3"))
FRONTEND = pathlib.Path(os.environ.get("FRONTEND_DIR", FRONTEND_DIR))
CHROMIUM = "/usr/bin/chromium"


def tree_memory(pid):
    """(RSS MB, PSS MB) of PID and every process under it."""
    memory = tree_memory_kb(pid)
    return memory["Rss"] // 1024, memory["Pss"] // 1024


def uptime():
    return subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip()


class Bench:
    def __init__(self, ws):
        self.ws = ws
        self.http_port = serve_directory(ws, FRONTEND)
        self.profile = ws.path("chromium-profile")
        self.profile.mkdir()
        self.count = 0

    def run_once(self, viewer):
        """One run of VIEWER ("vorbek" or "chromium"): (attach ms, RSS MB, PSS MB)."""
        self.count += 1
        name = f"node{self.count}"
        node = start_node(self.ws, REPO / "demo" / "demo.js", name=name)
        err = self.ws.path(f"viewer{self.count}.err")
        if viewer == "vorbek":
            args = [PROGRAM, node.address]
        else:
            # Chromium cannot discover the target itself; it gets the address ready.
            url = (f"http://127.0.0.1:{self.http_port}/js_app.html?ws={ws_target(node.address)}"
                   "&experiments=true&v8only=true")
            args = [CHROMIUM, f"--app={url}", "--no-sandbox", "--no-first-run",
                    "--disable-background-networking", "--disable-component-update",
                    "--disable-sync", "--disable-gpu", f"--user-data-dir={self.profile}"]
        start = time.monotonic()
        process = self.ws.spawn(args, stderr=err)
        while "Debugger attached" not in node.stderr():
            if process.poll() is not None:
                fail(f"{viewer} ended before attaching: {read_text(err)[-500:]}")
            if time.monotonic() - start > 60:
                fail(f"{viewer}: no attach in 60 s")
            time.sleep(0.01)
        attach = (time.monotonic() - start) * 1000
        # The measurement's definition: memory once the window has settled.
        time.sleep(SETTLE)
        rss, pss = tree_memory(process.pid)
        stop_process(process)
        stop_process(node.process)
        return attach, rss, pss


def main():
    for tool in ("Xvfb", "node", CHROMIUM):
        if not shutil.which(tool):
            sys.exit(f"needs {tool}")
    if not (FRONTEND / "js_app.html").exists():
        sys.exit(f"no js_app.html in {FRONTEND} (set FRONTEND_DIR)")
    with Workspace("attach_bench", report=False) as ws:
        start_xvfb(ws)
        bench = Bench(ws)
        print(f"runs: {RUNS} each after a warm-up, alternating; memory {SETTLE:g} s after"
              f" attaching; {uptime()}", flush=True)
        runs = {"vorbek": [], "chromium": []}
        for viewer in runs:
            bench.run_once(viewer)
        for number in range(1, RUNS + 1):
            for viewer, rows in runs.items():
                attach, rss, pss = bench.run_once(viewer)
                print(f"{viewer} run {number}: attach {attach:.0f} ms, RSS/PSS MB {rss} {pss}",
                      flush=True)
                rows.append((attach, rss, pss))
        print(f"load after: {uptime()}")
        medians = {viewer: [statistics.median(column) for column in zip(*rows)]
                   for viewer, rows in runs.items()}
        ours, theirs = medians["vorbek"], medians["chromium"]
        print()
        print(f"{'median':<16} {'attach ms':>10} {'RSS MB':>10} {'PSS MB':>10}")
        print(f"{'vorbek_inspector':<16} " + " ".join(f"{v:>10.0f}" for v in ours))
        print(f"{'chromium --app':<16} " + " ".join(f"{v:>10.0f}" for v in theirs))
        print(f"{'ratio':<16} " + " ".join(f"{a / b:>10.2f}" for a, b in zip(ours, theirs)))


main()
