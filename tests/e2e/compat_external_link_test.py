"""A documentation link in the frontend opens in the user's browser, here a
stand-in registered in the private profile as the handler for web
addresses, and the window stays on the debugger and still works. About the
program's link handling, so always in the program, whatever VIEWER says."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail, wait_until  # noqa: E402
from harness.compat import register_stand_in_browser  # noqa: E402
from harness.frontend import start_window_session  # noqa: E402
from harness.core import read_text  # noqa: E402

PROGRAM = sys.argv[1]

with Workspace() as ws:
    opened = register_stand_in_browser(ws)
    node, app, frontend = start_window_session(ws, PROGRAM, "compat.js", viewer="vorbek")
    page = app.page
    frontend_url = page.url()

    # The empty workspace pane of Sources has a "Learn more" link.
    frontend.open_panel("Sources")
    page.wait_for(".expandable-view-title", "Breakpoints")
    link = page.js("return (vt.find('x-link', 'Learn more')[0] || {}).href || null")
    if not link or not link.startswith("https://"):
        fail(f"the workspace pane's link is {link!r}")
    page.click("x-link", "Learn more", exact=True)
    wait_until(lambda: read_text(opened), 20,
               lambda: f"no address reached the browser; program stderr: {app.stderr()}")
    if read_text(opened) != link + "\n":
        fail(f"the browser was asked for {read_text(opened)!r}, not once for {link}")

    # The window still shows the debugger, and it still works.
    if page.url() != frontend_url:
        fail(f"the window left the frontend for {page.url()}")
    page.wait_for(".expandable-view-title", "Breakpoints")
    frontend.show_console()
    frontend.console_eval("6 * 7 + 0.5")
    frontend.console_result("42.5")
    if read_text(opened) != link + "\n":
        fail(f"the browser was asked again: {read_text(opened)!r}")
    if "cannot open" in app.stderr():
        fail(f"the program reported: {app.stderr()}")

    app.close()
