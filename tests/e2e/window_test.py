"""The inspector window on a live node: title, size, the embedded frontend
attaching, keyboard input reaching the page without a click in it, a
breakpoint set in the gutter, and closing the window."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import (REPO, Frontend, Workspace, expected_diagnostics, fail, start_node,  # noqa: E402
                     start_viewer, start_xvfb, ws_target)
from harness.display import window_geometry, window_property  # noqa: E402
from harness.core import read_text  # noqa: E402

PROGRAM = sys.argv[1]

with Workspace() as ws:
    start_xvfb(ws)
    node = start_node(ws, REPO / "demo" / "demo.js")
    target = ws_target(node.address)
    app = start_viewer(ws, PROGRAM, node.address, viewer="vorbek")

    # The title as the X server has it, in both properties a window manager reads.
    for name in ("_NET_WM_NAME", "WM_NAME"):
        title = window_property(ws, app.window, name)
        if title != f'{name} = "vorbek — script inspector"':
            fail(f"title: {title}")
    if window_geometry(ws, app.window)[2:] != (800, 600):
        fail(f"size {window_geometry(ws, app.window)[2:]}")
    # The page fills the window from its top left corner.
    if app.page.offset() != (0, 0):
        fail(f"the page starts at {app.page.offset()} in the window")
    size = app.page.js("return [innerWidth, innerHeight]")
    if size != [800, 600]:
        fail(f"the page's viewport is {size}")

    # The frontend's modules all came from the scheme handler, or it would
    # not connect.
    frontend = Frontend(app)
    frontend.wait_attached(node)
    if "libwebkit2gtk-4.1" not in read_text(f"/proc/{app.pid}/maps"):
        fail("the engine is not mapped in the window process")
    if not app.page.url().startswith("devtools://localhost/js_app.html?ws="):
        fail(f"the page is {app.page.url()}")

    # Keyboard input reaches the page without a click in it. The command
    # menu opens the console whichever panel is showing.
    frontend.open_panel("Sources")
    app.page.focus()
    app.page.key("ctrl+shift+p")
    app.page.wait_for('[aria-label="Quick open prompt"]')
    app.page.type("Show Console")
    app.page.wait_for(".filtered-list-widget-item", "Show Console")
    app.page.key("Return")
    frontend.wait_console("demo running")
    frontend.console_eval('process.stderr.write("typed-into-vorbek\\n")')
    node.wait_for_stderr("typed-into-vorbek", 20)

    # A breakpoint set in the gutter pauses the script: its ticks stop.
    frontend.open_file("demo.js")
    node.wait_for_output(1, 10)
    frontend.click_gutter_line(15)
    frontend.wait_breakpoint(15)
    frontend.wait_paused("Paused on breakpoint")
    node.wait_paused()
    if not node.alive():
        fail("node ended")

    app.close(seconds=2)
    if app.stdout() != expected_diagnostics(target):
        fail(f"stdout is not exactly the three lines: {app.stdout()!r}")
