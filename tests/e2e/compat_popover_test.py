"""Hovering a variable that holds a primitive while paused shows its whole
value in a popover whose box has room for it."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail  # noqa: E402
from harness.compat import check_box_holds, hover_for_popover  # noqa: E402
from harness.frontend import start_window_session  # noqa: E402

PROGRAM = sys.argv[1]

with Workspace() as ws:
    node, app, frontend = start_window_session(ws, PROGRAM, "popover.js")
    page = app.page

    frontend.open_file("popover.js")
    frontend.click_gutter_line(8)
    frontend.wait_paused("Paused on breakpoint")
    frontend.wait_top_frame("tick popover.js:8")

    # The source spells the value in two parts ('hover', 'shown'), so only
    # the engine's answer reads "hover-shown".
    shown = hover_for_popover(frontend, ".token-definition", "shownValue")
    if shown["text"] != '"hover-shown"':
        fail(f"the popover shows {shown['text']!r}, not the whole value: {shown}")
    check_box_holds(shown, "popover of shownValue")

    app.close()
