"""The npm launcher under node for Windows in Wine: the launcher and the
Windows package installed offline as npm installs them for Windows, then
the installed launcher run by node.exe runs the .exe beside its loader:
--print-url's three lines, and without a WebView2 runtime the program's own
report and status.
Usage: npm_test.py WINE NODE_EXE PACKAGES_DIR NODE; skipped without packages."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import REPO, Workspace, expected_diagnostics, fail, start_node, ws_target  # noqa: E402
from harness.npm import install_offline, packages  # noqa: E402
from harness.wine import Wine  # noqa: E402

WINE, NODE_EXE, PACKAGES_DIR, NODE = sys.argv[1:5]
found = packages(PACKAGES_DIR)
launcher_name = next(name for name, (_, m) in found.items() if "bin" in m)
windows = next(name for name, (_, m) in found.items() if m.get("os") == ["win32"])

with Workspace("win64 npm_test") as ws:
    wine = Wine(ws, WINE)
    # Wine calls itself Windows 7, which node refuses to start on by default.
    ws.env["NODE_SKIP_PLATFORM_CHECK"] = "1"
    ws.env["PATH"] = f"{pathlib.Path(NODE).parent}:{ws.env['PATH']}"
    # As npm installs them on Windows; optional, as npm checks the platform
    # of what it is asked for by name against its own.
    project = install_offline(ws, [found[launcher_name][0], found[windows][0]], "--save-optional",
                              "--os=win32", "--cpu=x64")
    if not (project / "node_modules" / windows / "bin" / "WebView2Loader.dll").is_file():
        fail("the loader is not installed beside the program")
    script = "Z:" + str(project / "node_modules" / launcher_name / "vorbek_inspector.js").replace("/", "\\")

    node = start_node(ws, REPO / "demo" / "demo.js")
    lines = expected_diagnostics(ws_target(node.address)).encode()
    status, out, err = wine.run(NODE_EXE, script, "--print-url", node.address)
    if (status, out) != (0, lines):
        fail(f"--print-url through the launcher: status {status}, stdout {out!r}: {err}")

    # The window on a display, and no runtime here: the program's report.
    wine.use_display()
    status, out, err = wine.run(NODE_EXE, script, node.address)
    if status != 1 or out != lines or not err.startswith(
            "Error: failed to create webview (is the WebView2 runtime installed?)\n\nCaused by:\n"):
        fail(f"window through the launcher: status {status}, stdout {out!r}: {err}")
