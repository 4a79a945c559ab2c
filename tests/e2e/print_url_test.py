"""--print-url against a live node inspector, and the launcher's failures:
the override, a closed standard output, usage, nothing listening, and an
argument that is not UTF-8."""
import os
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import (REPO, Workspace, expected_diagnostics, fail, free_port, run_program,  # noqa: E402
                     start_node, ws_target)

PROGRAM = str(pathlib.Path(sys.argv[1]).resolve())

with Workspace() as ws:
    node = start_node(ws, REPO / "demo" / "demo.js")
    target = ws_target(node.address)

    # The three lines, nothing else, status 0.
    status, out, err = run_program(ws, PROGRAM, "--print-url", node.address)
    if (status, out, err) != (0, expected_diagnostics(target), ""):
        fail(f"--print-url: status {status}, stdout {out!r}, stderr {err!r}")

    # The override, with its placeholder twice.
    status, out, err = run_program(ws, PROGRAM, node.address, "--print-url",
                                   env={**ws.env, "VORBEK_INSPECTOR_FRONTEND": "http://x/?a={ws}&b={ws}"})
    if f"vorbek_inspector: devtools   = http://x/?a={target}&b={target}\n" not in out:
        fail(f"override: {out!r}")

    # A closed pipe on stdout is a reported failure, not a silent death.
    read_end, write_end = os.pipe()
    os.close(read_end)
    closed = subprocess.run([PROGRAM, "--print-url", node.address], stdout=write_end,
                            stderr=subprocess.PIPE, env=ws.env, timeout=20, text=True)
    os.close(write_end)
    if closed.returncode != 1:
        fail(f"closed stdout gave status {closed.returncode}")
    if not closed.stderr.startswith("Error: failed to write to standard output\n") or \
            "Broken pipe (os error 32)" not in closed.stderr:
        fail(f"closed stdout: {closed.stderr!r}")

    # Usage.
    status, out, err = run_program(ws, PROGRAM, "--print-url")
    if (status, out) != (1, "") or err != ("Error: usage: vorbek_inspector [--print-url] "
                                           "<inspector-http-addr e.g. 127.0.0.1:9229>\n"):
        fail(f"usage: status {status}, stderr {err!r}")

    # Nothing listening: the report after the 5 s deadline, nothing on stdout.
    port = free_port()
    status, out, err = run_program(ws, PROGRAM, "--print-url", f"127.0.0.1:{port}")
    expected = (f"Error: failed to read inspector targets from http://127.0.0.1:{port}/json\n\n"
                f"Caused by:\n    0: connect to inspector at 127.0.0.1:{port}\n"
                "    1: Connection refused (os error 111)\n")
    if (status, out, err) != (1, "", expected):
        fail(f"unreachable: status {status}, stdout {out!r}, stderr {err!r}")

    # An argument that is not UTF-8 stops before discovery.
    result = subprocess.run([PROGRAM.encode(), b"--print-url", node.address.encode(), b"\xff"],
                            capture_output=True, env=ws.env, timeout=20)
    if result.returncode != 1 or result.stdout or \
            result.stderr != b"Error: argument 3 is not valid UTF-8\n":
        fail(f"non-UTF-8 argument: status {result.returncode}, stderr {result.stderr!r}")
