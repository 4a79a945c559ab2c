"""The web view fills the window: the page's viewport is the window's size,
at the start and after each resize, and resizing ends nothing."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import REPO, Frontend, Workspace, fail, start_node, start_viewer, start_xvfb  # noqa: E402
from harness.display import window_geometry, xdotool  # noqa: E402

PROGRAM = sys.argv[1]

with Workspace() as ws:
    start_xvfb(ws)
    node = start_node(ws, REPO / "demo" / "demo.js")
    app = start_viewer(ws, PROGRAM, node.address, viewer="vorbek")
    Frontend(app).wait_attached(node)

    def viewport():
        return app.page.js("return innerWidth + 'x' + innerHeight")

    for width, height in ((800, 600), (1024, 700), (640, 480)):
        if (width, height) != (800, 600):
            xdotool(ws, "windowsize", app.window, width, height)
        app.page.wait_js("return innerWidth + 'x' + innerHeight === arguments[0]", 20,
                         lambda: f"viewport {viewport()} in a {width}x{height} window",
                         f"{width}x{height}")
        if window_geometry(ws, app.window)[2:] != (width, height):
            fail(f"the window is {window_geometry(ws, app.window)[2:]}, not {width}x{height}")
        if app.status() is not None:
            fail(f"the program ended during the resizes: status {app.status()}")

    app.close()
