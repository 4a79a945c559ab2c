"""The Windows build under Wine against a live Linux `node --inspect` on
loopback (Wine's sockets are the host's): --print-url through a pipe and a
file, and the failure reports, which must read as the Linux build's apart
from the system's own error texts.
Usage: print_url_test.py WINE EXE NODE; WINEPREFIX comes from the fixture."""
import pathlib
import re
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import REPO, Workspace, expected_diagnostics, fail, free_port, start_node, ws_target  # noqa: E402
from harness.wine import Wine  # noqa: E402

WINE, EXE, NODE = sys.argv[1:4]

with Workspace("win64 print_url_test") as ws:
    wine = Wine(ws, WINE)
    ws.env["PATH"] = f"{pathlib.Path(NODE).parent}:{ws.env['PATH']}"
    node = start_node(ws, REPO / "demo" / "demo.js")
    lines = expected_diagnostics(ws_target(node.address)).encode()

    # Through a file, then through a pipe: the same bytes (LF endings, UTF-8), status 0.
    with open(ws.path("out"), "wb") as out:
        status, _, err = wine.run(EXE, "--print-url", node.address, stdout=out)
    if status != 0 or err:
        fail(f"to a file: status {status}: {err}")
    if ws.path("out").read_bytes() != lines:
        fail(f"to a file: {ws.path('out').read_bytes()!r}")
    status, out, err = wine.run(EXE, node.address, "--print-url")
    if status != 0 or out != lines:
        fail(f"to a pipe: status {status}, stdout {out!r}: {err}")

    # Usage: one line on stderr, nothing on stdout.
    status, out, err = wine.run(EXE, "--print-url")
    if status != 1 or out or err != ("Error: usage: vorbek_inspector [--print-url] "
                                     "<inspector-http-addr e.g. 127.0.0.1:9229>\n"):
        fail(f"usage: status {status}, stderr {err!r}")

    # Nothing listening: after the 5 s deadline, the refused connection, which
    # is Winsock's code 10061 here; only the system's text may differ from Linux.
    port = free_port()
    started = time.monotonic()
    status, out, err = wine.run(EXE, "--print-url", f"127.0.0.1:{port}")
    if status != 1 or out:
        fail(f"unreachable gave status {status}")
    if time.monotonic() - started < 5:
        fail("unreachable was reported before the deadline")
    masked = re.sub(r"(?m)^(    1: )[^ ].*( \(os error 10061\))$", r"\1TEXT\2", err)
    if masked != (f"Error: failed to read inspector targets from http://127.0.0.1:{port}/json\n\n"
                  f"Caused by:\n    0: connect to inspector at 127.0.0.1:{port}\n"
                  "    1: TEXT (os error 10061)\n"):
        fail(f"unreachable report differs: {err!r}")
