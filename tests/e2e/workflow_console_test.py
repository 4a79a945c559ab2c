"""The console on a live node: the script's own console.log appears with
its source link, an expression typed at the prompt is evaluated by the
engine, and the window outlives the engine: closing it after node has
exited still gives status 0."""
import os
import pathlib
import signal
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail  # noqa: E402
from harness.frontend import start_window_session  # noqa: E402

PROGRAM = sys.argv[1]

with Workspace() as ws:
    # Slow ticks, so that the console does not scroll what the test reads.
    node, app, frontend = start_window_session(ws, PROGRAM, "workflow.js",
                                               node_env={"WORKFLOW_TICK_MS": "2000"})

    frontend.show_console()
    frontend.wait_console("workflow tick")
    app.page.wait_for(".console-message-anchor", "workflow.js:19")

    # Evaluated in the engine: its answer in the console, its side effect in node.
    frontend.console_eval("6 * 7 + 0.5")
    frontend.console_result("42.5")
    frontend.console_eval('process.stderr.write("evaluated-in-" + process.pid + "\\n")')
    node.wait_for_stderr(f"evaluated-in-{node.process.pid}\n", 20)

    # The engine exits while the window is open. SIGKILL: the engine goes at
    # once, however busy it is.
    os.kill(node.process.pid, signal.SIGKILL)
    node.process.wait(10)
    app.page.wait_for("*", "Debugging connection was closed", 45)
    if app.status() is not None:
        fail(f"the program ended with the engine: status {app.status()}")

    app.close()
