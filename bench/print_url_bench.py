"""Times `vorbek_inspector --print-url` against a live node inspector beside
`curl -s http://ADDR/json`, and prints the ratio of their mean times. Each
command runs 5 times to warm up, then 100 times, the two taking turns so
that a change in the machine's load hits both alike; no shell in between.

Usage: /usr/bin/python3 bench/print_url_bench.py [path/to/vorbek_inspector]
Needs node and curl.
"""
import os
import pathlib
import shutil
import statistics
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
from harness import REPO, Workspace, fail, start_node  # noqa: E402

PROGRAM = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else
                       REPO / "build" / "inspector" / "vorbek_inspector").resolve()
WARMUP, RUNS = 5, 100


def timed(args, env):
    """Seconds from spawning ARGS to its end; fails unless it ends with 0."""
    with open(os.devnull, "wb") as null:
        actions = [(os.POSIX_SPAWN_DUP2, null.fileno(), 1), (os.POSIX_SPAWN_DUP2, null.fileno(), 2)]
        start = time.perf_counter()
        pid = os.posix_spawn(args[0], args, env, file_actions=actions)
        _, status = os.waitpid(pid, 0)
        elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        fail(f"{' '.join(args)}: status {os.waitstatus_to_exitcode(status)}")
    return elapsed


def main():
    curl = shutil.which("curl")
    if not curl or not shutil.which("node"):
        sys.exit("needs node and curl (apt-get install curl)")
    with Workspace("print_url_bench", report=False) as ws:
        node = start_node(ws, REPO / "demo" / "demo.js")
        commands = {
            "vorbek_inspector": [str(PROGRAM), "--print-url", node.address],
            "curl": [curl, "-s", f"http://{node.address}/json"],
        }
        times = {name: [] for name in commands}
        for number in range(WARMUP + RUNS):
            for name, args in commands.items():
                elapsed = timed(args, ws.env)
                if number >= WARMUP:
                    times[name].append(elapsed)
        for name, samples in times.items():
            ms = [t * 1000 for t in samples]
            print(f"{name}: {statistics.mean(ms):.2f} ms ± {statistics.stdev(ms):.2f} ms"
                  f" (min {min(ms):.2f} … max {max(ms):.2f}), {len(ms)} runs")
        ours, theirs = (statistics.mean(times[n]) for n in commands)
        print(f"vorbek_inspector {ours * 1000:.2f} ms, curl {theirs * 1000:.2f} ms,"
              f" ratio {ours / theirs:.2f}")


main()
