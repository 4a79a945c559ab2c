"""Set-up failures of the window and the web view, and --print-url leaving
the toolkit and the web engine unmapped."""
import pathlib
import re
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import (REPO, Workspace, expected_diagnostics, fail, run_program, start_node,  # noqa: E402
                     start_xvfb, ws_target)

PROGRAM = sys.argv[1]

with Workspace() as ws:
    node = start_node(ws, REPO / "demo" / "demo.js")
    target = ws_target(node.address)

    # No display at all: the three lines, then the window report.
    env = {k: v for k, v in ws.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    status, out, err = run_program(ws, PROGRAM, node.address, env=env)
    if status != 1:
        fail(f"no display gave status {status}")
    if out != expected_diagnostics(target):
        fail(f"no display: stdout {out!r}")
    if err != "Error: failed to create inspector window\n\nCaused by:\n    cannot open display: \n":
        fail(f"no display: report {err!r}")

    # --print-url loads neither the toolkit nor the engine (LD_DEBUG lists
    # every object opened).
    status, out, err = run_program(ws, PROGRAM, "--print-url", node.address,
                                   env={**ws.env, "LD_DEBUG": "files"})
    if "file=libstdc++" not in err:
        fail("LD_DEBUG gave no list of loaded objects")
    for library in ("libgtk-3", "libwebkit2gtk"):
        if library in err:
            fail(f"--print-url mapped {library}")

    start_xvfb(ws)
    # An empty override is no URL the engine can navigate to.
    status, out, err = run_program(ws, PROGRAM, node.address,
                                   env={**ws.env, "VORBEK_INSPECTOR_FRONTEND": "",
                                        "LD_DEBUG": "files"})
    if status != 1:
        fail(f"empty override gave status {status}")
    if "file=libwebkit2gtk-4.1.so.0" not in err:
        fail("the web view was made without the engine")
    report = [line for line in err.splitlines() if not re.match(r"^ *\d+:", line)]
    if report[:3] != ["Error: failed to create webview (is the WebView2 runtime installed?)", "",
                      "Caused by:"]:
        fail(f"empty override: report {report}")
    # The rest is GLib's own (translated) text.
    if len(report) != 4 or not report[3].startswith("    cannot navigate to the frontend URL: "):
        fail(f"empty override: cause {report}")
    if "vorbek_inspector: devtools   = \n" not in out:
        fail(f"empty override: stdout {out!r}")
