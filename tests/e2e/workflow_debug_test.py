"""Debugging a live node from the Sources panel as a user does: a breakpoint
set in the gutter, stepping over, into and out, a watch expression, resume,
and pausing on an uncaught exception."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail  # noqa: E402
from harness.frontend import start_window_session  # noqa: E402

PROGRAM = sys.argv[1]

with Workspace() as ws:
    node, app, frontend = start_window_session(ws, PROGRAM, "workflow.js")
    page = app.page

    frontend.open_file("workflow.js")
    node.wait_for_output(1, 10)
    frontend.click_gutter_line(11)
    frontend.wait_paused("Paused on breakpoint")
    frontend.wait_top_frame("outer workflow.js:11")
    if not node.output_stalls(1.5):
        fail("the script runs on at the breakpoint")

    # The call stack's top frame says where each step stopped.
    page.focus()
    page.key("F10")
    frontend.wait_top_frame("outer workflow.js:12")
    page.key("F11")
    frontend.wait_top_frame("inner workflow.js:6")
    page.key("shift+F11")
    frontend.wait_top_frame("outer workflow.js:13")
    if any(frame.startswith("inner ") for frame in frontend.call_stack()):
        fail(f"inner is still on the stack: {frontend.call_stack()}")

    # A watch expression, evaluated in the paused frame, where result is a number.
    frontend.add_watch("typeof result")
    frontend.wait_watch('typeof result: "number"')

    # Remove the breakpoint and resume: the script runs on.
    frontend.click_gutter_line(11)
    frontend.wait_breakpoint(11, present=False)
    before = node.output_lines()
    page.focus()
    page.key("F8")
    node.wait_for_output(3, 10, since=before)
    frontend.wait_running()

    # Pause on an uncaught exception thrown from the console.
    frontend.set_pause_on_uncaught()
    frontend.show_console()
    frontend.wait_console("workflow tick")
    frontend.console_eval("setTimeout(() => { throw new Error('workflow-boom') }, 0)")
    frontend.open_panel("Sources")
    frontend.wait_paused("Paused on exception")
    page.wait_for(".paused-message", "workflow-boom")
    if not node.alive():
        fail("node ended at the exception")

    app.close()
