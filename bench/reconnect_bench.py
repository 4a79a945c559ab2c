"""After the script engine restarts: the user's Reconnect beside closing the
window and starting vorbek_inspector again, in one run.

`node --watch --inspect` runs a small script; before every measured run a
save makes node restart on the same port with a new target. Then either
  reconnect: F5 in the window (what the frontend's Reconnect button does),
  relaunch:  the window closed (WM_DELETE_WINDOW) and the program started
             again on the same address, as a user does (no WebDriver),
each timed up to node's next "Debugger attached.". One untimed warm-up of
each goes first; the two take turns, so that a change in the machine's load
hits both alike. The goal: the reconnect takes at most half the relaunch.

Usage: /usr/bin/python3 bench/reconnect_bench.py [path/to/vorbek_inspector] [runs]
"""
import pathlib
import statistics
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
from harness import REPO, Workspace, fail, free_port, start_engine, start_xvfb, wait_until  # noqa: E402
from harness.display import find_window, send_wm_delete, xdotool  # noqa: E402
from harness.engines import engine_binary  # noqa: E402

PROGRAM = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else
                       REPO / "build" / "inspector" / "vorbek_inspector").resolve()
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 7


def uptime():
    return subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip()


with Workspace("reconnect_bench") as ws:
    start_xvfb(ws)
    app_js = ws.path("app.js")
    app_js.write_text("setInterval(() => {}, 1000);\n// 0\n")
    node = start_engine(ws, [engine_binary("node"), "--watch",
                             f"--inspect=127.0.0.1:{free_port()}", app_js], name="node")

    def count(text):
        return node.stderr().count(text)

    def wait_count(text, more_than):
        wait_until(lambda: count(text) > more_than, 30,
                   lambda: f"no {text!r} from node in 30 s: {node.stderr()[-300:]}", interval=0.005)

    app = {}

    def start_app():
        app["process"] = ws.spawn([PROGRAM, node.address], stderr=ws.path("app.err"))
        app["window"] = find_window(ws, app["process"].pid)

    saves = []

    def restart_node():
        """A save; node restarts with a new target and the frontend loses it."""
        listening = count("Debugger listening")
        saves.append(len(saves) + 1)
        app_js.write_text(f"setInterval(() => {{}}, 1000);\n// {saves[-1]}\n")
        wait_count("Debugger listening", listening)
        time.sleep(1)  # the frontend has seen its connection close

    def run_once(how):
        """One run; the milliseconds from the user's action to the attach."""
        restart_node()
        attached = count("Debugger attached")
        if how == "reconnect":
            xdotool(ws, "mousemove", "--window", app["window"], 400, 300)
            start = time.monotonic()
            xdotool(ws, "key", "F5")
        else:
            start = time.monotonic()
            send_wm_delete(ws, app["window"])
            if app["process"].wait(10) != 0:
                fail("the window did not close with status 0")
            start_app()
        wait_count("Debugger attached", attached)
        return (time.monotonic() - start) * 1000

    start_app()
    wait_count("Debugger attached", 0)
    print(f"runs: {RUNS} each after a warm-up, alternating; {uptime()}")
    results = {"reconnect": [], "relaunch": []}
    for how in results:
        run_once(how)
    for number in range(1, RUNS + 1):
        for how, times in results.items():
            elapsed = run_once(how)
            print(f"{how} run {number}: {elapsed:.0f} ms", flush=True)
            times.append(elapsed)
    print(f"load after: {uptime()}")

    reconnect = statistics.median(results["reconnect"])
    relaunch = statistics.median(results["relaunch"])
    print()
    print(f"{'median':<10} {'ms':>8}")
    print(f"{'reconnect':<10} {reconnect:8.0f}")
    print(f"{'relaunch':<10} {relaunch:8.0f}")
    print(f"{'ratio':<10} {reconnect / relaunch:8.2f}   (goal: at most 0.50)")
