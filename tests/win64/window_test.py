"""The Windows build's window under Wine, which has no WebView2 runtime:
without a display the window cannot be made; on one it opens, the web view
fails with the WebView2 loader's own failure, and the window closes again.
Usage: window_test.py WINE EXE NODE; WINEPREFIX comes from the fixture."""
import pathlib
import re
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import REPO, Workspace, expected_diagnostics, fail, start_node, ws_target  # noqa: E402
from harness.wine import Wine  # noqa: E402

WINE, EXE, NODE = sys.argv[1:4]

with Workspace("win64 window_test") as ws:
    wine = Wine(ws, WINE)
    ws.env["PATH"] = f"{pathlib.Path(NODE).parent}:{ws.env['PATH']}"
    ws.env.pop("DISPLAY", None)
    node = start_node(ws, REPO / "demo" / "demo.js")
    lines = expected_diagnostics(ws_target(node.address)).encode()

    # No display: the window itself cannot be made, as on Linux.
    status, out, err = wine.run(EXE, node.address)
    if status != 1 or out != lines:
        fail(f"no display: status {status}, stdout {out!r}")
    report = err.splitlines()[:4]
    if report[:3] != ["Error: failed to create inspector window", "", "Caused by:"] or \
            not re.fullmatch(r"    .+ \(os error \d+\)", report[3] if len(report) > 3 else ""):
        fail(f"no display report: {err!r}")

    # On a display the window opens. No WebView2 runtime is installed here, so
    # the loader finds none (ERROR_FILE_NOT_FOUND), the window closes again
    # and the report gives the loader's failure as its one cause.
    wine.use_display()
    status, out, err = wine.run(EXE, node.address)
    if status != 1 or out != lines:
        fail(f"window: status {status}, stdout {out!r}: {err}")
    masked = re.sub(r"(?m)^    [^ ].* \(os error 2\)$", "    TEXT (os error 2)", err)
    if masked != ("Error: failed to create webview (is the WebView2 runtime installed?)\n\n"
                  "Caused by:\n    TEXT (os error 2)\n"):
        fail(f"window report: {err!r}")

    # Without the loader beside the .exe the program still starts: it prints
    # its three lines, and the window's report names the missing DLL.
    alone = ws.path("alone")
    alone.mkdir()
    lonely_exe = alone / pathlib.Path(EXE).name
    lonely_exe.write_bytes(pathlib.Path(EXE).read_bytes())
    status, out, err = wine.run(str(lonely_exe), "--print-url", node.address)
    if status != 0 or out != lines:
        fail(f"without the loader, --print-url: status {status}, stdout {out!r}: {err}")
    status, out, err = wine.run(str(lonely_exe), node.address)
    masked = re.sub(r"(?m)^    WebView2Loader\.dll: .* \(os error 126\)$",
                    "    WebView2Loader.dll: TEXT (os error 126)", err)
    if status != 1 or out != lines or masked != (
            "Error: failed to create webview (is the WebView2 runtime installed?)\n\n"
            "Caused by:\n    WebView2Loader.dll: TEXT (os error 126)\n"):
        fail(f"without the loader: status {status}: {err!r}")
