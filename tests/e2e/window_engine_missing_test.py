"""Without the web engine the program still discovers and reports, then
fails to make the web view with the dynamic loader's reason. The engine is
hidden by a bind mount in a private mount namespace; where none can be made
the test is skipped (status 77)."""
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import (REPO, Workspace, expected_diagnostics, fail, start_node, start_xvfb,  # noqa: E402
                     ws_target)

PROGRAM = str(pathlib.Path(sys.argv[1]).resolve())

with Workspace() as ws:
    cache = subprocess.run(["ldconfig", "-p"], capture_output=True, text=True).stdout
    engine = next((line.split()[-1] for line in cache.splitlines()
                   if line.split() and line.split()[0] == "libwebkit2gtk-4.1.so.0"), None)
    if not engine:
        fail("the web engine is not installed")
    engine = str(pathlib.Path(engine).resolve())

    namespace = None
    for candidate in (["unshare", "-m"], ["unshare", "-rm"]):
        probe = subprocess.run([*candidate, "sh", "-c", f"mount --bind /dev/null '{engine}'"],
                               capture_output=True)
        if probe.returncode == 0:
            namespace = candidate
            break
    if not namespace:
        print("window_engine_missing_test: skipped, no mount namespace can be made here")
        sys.exit(77)

    node = start_node(ws, REPO / "demo" / "demo.js")
    target = ws_target(node.address)
    start_xvfb(ws)
    hide = [*namespace, "sh", "-c", 'mount --bind /dev/null "$1" && shift && exec "$@"', "hide",
            engine, PROGRAM, node.address]
    result = subprocess.run(hide, env=ws.env, capture_output=True, text=True, timeout=30)
    if result.returncode != 1:
        fail(f"status {result.returncode}: {result.stderr}")
    if result.stdout != expected_diagnostics(target):
        fail(f"stdout differs: {result.stdout!r}")
    lines = result.stderr.splitlines()
    if lines[:3] != ["Error: failed to create webview (is the WebView2 runtime installed?)", "",
                     "Caused by:"]:
        fail(f"report differs: {result.stderr}")
    if len(lines) != 4 or not lines[3].startswith("    ") or "libwebkit2gtk-4.1.so.0" not in lines[3]:
        fail(f"the cause is not the loader's: {result.stderr}")
