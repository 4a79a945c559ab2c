""""Copy object" in the console's context menu puts the object's JSON on the
clipboard, as another program (xclip) reads it. The frontend gets the JSON
from the engine only after the click, when a web page may no longer write
the clipboard by itself."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail, wait_until  # noqa: E402
from harness.compat import clipboard  # noqa: E402
from harness.frontend import start_window_session  # noqa: E402

PROGRAM = sys.argv[1]
EXPECTED = '{\n    "copied": "from the console",\n    "count": 3\n}'

with Workspace() as ws:
    node, app, frontend = start_window_session(ws, PROGRAM, "compat.js")
    page = app.page

    frontend.show_console()
    frontend.console_eval("copyable")
    frontend.console_result("from the console")
    if clipboard(ws) == EXPECTED:
        fail("the clipboard holds the object before it is copied")
    page.click(".console-user-command-result .console-message-text", "from the console", button=3)
    page.click(".soft-context-menu-item", "Copy object", exact=True)
    wait_until(lambda: clipboard(ws) == EXPECTED, 20,
               lambda: f"the clipboard holds {clipboard(ws)!r}, not the object's JSON")

    app.close()
