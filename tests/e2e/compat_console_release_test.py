"""A burst of 3000 console lines: the console keeps every message but only
the drawing of those in view, and a message scrolled back into view is drawn
again with a source link that still opens its line in Sources. (On WebKit
the drawing of every message once shown stayed in the page, hundreds of
megabytes under a flood.)"""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail  # noqa: E402
from harness.frontend import start_window_session  # noqa: E402

PROGRAM = sys.argv[1]

# How many messages the console holds, and how many keep a drawing.
MESSAGES = """
import(new URL('panels/console/console.js', document.baseURI).href).then((console) => {
  const messages = console.ConsoleView.ConsoleView.instance().consoleMessages;
  done({held: messages.length, drawn: messages.filter((m) => m.elementInternal).length});
}, (error) => done({error: String(error)}));
"""

with Workspace() as ws:
    trigger = ws.path("burst-now")
    node, app, frontend = start_window_session(ws, PROGRAM, "console_burst.js",
                                               node_env={"BURST_TRIGGER": str(trigger)})
    frontend.show_console()
    trigger.touch()
    frontend.wait_console("burst line 3000 of 3000", 60)

    state = app.page.js_async(MESSAGES)
    if state.get("held", 0) < 3000:
        fail(f"the console holds {state} after 3000 lines")
    # Chromium's window keeps every drawing, as the frontend was written.
    if app.name != "chromium" and state["drawn"] > 300:
        fail(f"{state['drawn']} of {state['held']} messages keep their drawing out of view")

    # Back to the first line: drawn again, and its link still leads to the source.
    app.page.js_async("import(new URL('panels/console/console.js', document.baseURI).href)"
                      ".then((c) => { c.ConsoleView.ConsoleView.instance().viewport"
                      ".forceScrollItemToBeFirst(0); done(); })")
    app.page.wait_for(".console-message-text", "burst line 1 of 3000", exact=True)
    app.page.wait_for(".console-message-anchor", "console_burst.js:10")
    app.page.click(".console-message-anchor .devtools-link", "console_burst.js:10")
    app.page.wait_for(".tabbed-pane-header-tab.selected", "Sources", exact=True)
    app.page.wait_for(".tabbed-pane-header-tab.closeable.selected", "console_burst.js")
