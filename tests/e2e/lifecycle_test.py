"""The window through real development: the engine restarting under --watch
(Reconnect asks the inspector for its new target, and breakpoints set before
pause the new process), the page's process crashing, a frontend that cannot
load, a reconnect that finds no inspector, and a window that only opens and
closes asking "/json" once. After each, closing the window gives status 0.

usage: lifecycle_test.py CASE PROGRAM"""
import http.server
import os
import pathlib
import signal
import sys
import threading
import time
import urllib.parse
import urllib.request

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import (REPO, Frontend, Workspace, engine_binary, expected_diagnostics, fail,  # noqa: E402
                     free_port, start_engine, start_node, start_viewer, start_xvfb, wait_until,
                     ws_target)
from harness.core import descendants, read_text  # noqa: E402
from harness.frontend import PAUSED  # noqa: E402
from harness.relay import InspectorRelay  # noqa: E402

CASE, PROGRAM = sys.argv[1], sys.argv[2]

# Line 4 runs only once a save has turned `enabled` on, so the first process
# never stops there and the breakpoint is the new process's to hit.
WATCHED = """const enabled = false;
setInterval(() => {
  if (enabled) {
    console.log("tick");
  }
}, 200);
"""
# Under --inspect-wait, line 1 is the first thing the script does.
WAITING = """console.log("first line");
setInterval(() => {}, 1000);
"""


def count(engine, text):
    return engine.stderr().count(text)


def wait_count(engine, text, at_least, seconds=30):
    wait_until(lambda: count(engine, text) >= at_least, seconds,
               lambda: f"{text!r} {count(engine, text)} times, not {at_least}, in the engine's"
                       f" stderr: {engine.stderr()[-1500:]}")


def page_target(app):
    query = urllib.parse.urlparse(app.page.url()).query
    return urllib.parse.parse_qs(query).get("ws", [""])[0]


def save(script, old, new):
    """What an editor's save does: the file changes, the watcher restarts."""
    text = script.read_text()
    script.write_text(text.replace(old, new) if old else text + new)


def reconnect_with_button(app):
    """The frontend's own dialog for the lost connection, and its button."""
    app.page.wait_for("button", "Reconnect DevTools", 30, exact=True)
    app.page.click("button", "Reconnect DevTools", exact=True)


def web_processes(app):
    return [pid for pid in descendants(app.pid)
            if read_text(f"/proc/{pid}/comm").startswith("WebKitWebProces")]


def wait_paused_at(frontend, location):
    """Paused with LOCATION on top. The first tick can hit the breakpoint
    before the frontend has matched it to its own, and then the banner says
    only "Debugger paused"; the place is what counts."""
    frontend.wait_paused(None)
    wait_until(lambda: (frontend.call_stack() or [""])[0].endswith(location), 30,
               lambda: f"the top frame is not at {location}: {frontend.call_stack()[:3]}")


def restart_under_watch(ws, engine_name):
    """node or Deno under --watch: a breakpoint set before a save pauses the
    process that the save starts, once the user reconnects, by the button and
    by F5."""
    port = free_port()
    script = ws.path("app.js")
    script.write_text(WATCHED)
    if engine_name == "deno":
        engine = start_engine(ws, [engine_binary("deno"), "run", "--watch",
                                   f"--inspect=127.0.0.1:{port}", script],
                              cwd=ws.dir, attach_message="Debugger session started.")
    else:
        engine = start_node(ws, script, node="node26",
                            flags=("--watch", f"--inspect=127.0.0.1:{port}"), cwd=ws.dir)
    first_target = ws_target(engine.address)
    app = start_viewer(ws, PROGRAM, engine.address)
    frontend = Frontend(app)
    frontend.wait_attached(engine)

    frontend.open_file("app.js")
    frontend.click_gutter_line(4)
    frontend.wait_breakpoint(4)

    save(script, "enabled = false", "enabled = true")
    wait_count(engine, "Debugger listening", 2)
    reconnect_with_button(app)
    wait_count(engine, engine.attach_message, 2)
    wait_paused_at(frontend, "app.js:4")
    if not engine.output_stalls(1.5):
        fail("the new process runs on past the breakpoint")
    if page_target(app) != ws_target(engine.address) or page_target(app) == first_target:
        fail(f"the frontend is on {page_target(app)}, not the new target")

    # F5 does what the button does. Deno restarts only a script that runs,
    # so the breakpoint goes and the script resumes first.
    frontend.click_gutter_line(4)
    frontend.wait_breakpoint(4, present=False)
    app.page.focus()
    app.page.key("F8")
    frontend.wait_running()
    save(script, None, "// saved again\n")
    wait_count(engine, "Debugger listening", 3)
    app.page.wait_for("button", "Reconnect DevTools", 30, exact=True)
    app.page.focus()
    app.page.key("F5")
    wait_count(engine, engine.attach_message, 3)
    frontend.wait_ready()
    wait_until(lambda: page_target(app) == ws_target(engine.address), 20,
               lambda: f"the frontend is on {page_target(app)}, not {ws_target(engine.address)}")
    engine.wait_for_output(2, 20)

    app.close()
    if app.stdout() != expected_diagnostics(first_target):
        fail(f"stdout is not exactly the three start-up lines: {app.stdout()!r}")


def restart_with_inspect_wait(ws, late_breakpoints=False):
    """--inspect-wait: the new process waits for the frontend, so the
    breakpoint on its first line holds before anything runs, even when the
    requests that set it reach the engine late."""
    port = free_port()
    script = ws.path("app.js")
    script.write_text(WAITING)
    node = start_node(ws, script, node="node26",
                      flags=("--watch", f"--inspect-wait=127.0.0.1:{port}"), cwd=ws.dir)
    relay = None
    if late_breakpoints:
        relay = InspectorRelay(ws, node.address, late=[b'"Debugger.setBreakpointByUrl"'], delay=1.5)
    app = start_viewer(ws, PROGRAM, relay.address if relay else node.address)
    frontend = Frontend(app)
    frontend.wait_attached(node)
    wait_until(lambda: "first line" in node.stdout(), 20, "the first process did not run")

    frontend.open_file("app.js")
    frontend.click_gutter_line(1)
    frontend.wait_breakpoint(1)
    save(script, None, "// saved\n")
    wait_count(node, "Debugger listening", 2)
    late_before = relay.delayed if relay else 0
    reconnect_with_button(app)
    wait_count(node, "Debugger attached.", 2)
    wait_until(lambda: frontend.page.find(PAUSED) or node.stdout().count("first line") > 1, 45,
               "the new process neither paused nor ran")
    if node.stdout().count("first line") != 1:
        fail(f"the new process ran past its breakpoint: {node.stdout()!r}")
    if relay and relay.delayed == late_before:
        fail("no breakpoint request went to the new process")
    wait_paused_at(frontend, "app.js:1")
    time.sleep(1)
    if node.stdout().count("first line") != 1:
        fail(f"the new process ran its first line: {node.stdout()!r}")
    app.close()


def page_crash(ws):
    """SIGKILL of the web process: a page that says so, Enter on its Reload
    reconnects; a crash right after, with no user action, loads nothing."""
    node = start_node(ws, REPO / "demo" / "demo.js")
    app = start_viewer(ws, PROGRAM, node.address)
    frontend = Frontend(app)
    frontend.wait_attached(node)
    crashed = web_processes(app)
    if not crashed:
        fail("no web process under the program")
    for pid in crashed:
        os.kill(pid, signal.SIGKILL)
    node.wait_for_stderr("Debugger ending", 20)
    # WebKit ends the WebDriver session with the page; the crash page shows
    # in a web process of its own.
    crash_page = wait_until(lambda: [p for p in web_processes(app) if p not in crashed], 20,
                            "no page was loaded after the crash")
    time.sleep(1)
    app.page.focus()
    app.page.key("Return")
    wait_count(node, "Debugger attached.", 2)

    # The frontend's process dies, and then the crash page's at once: one
    # crash page, then nothing more until the user acts.
    crashed = web_processes(app)
    for pid in crashed:
        os.kill(pid, signal.SIGKILL)
    crash_page = wait_until(lambda: [p for p in web_processes(app) if p not in crashed], 20,
                            "no page was loaded after the second crash")
    # Not in its first instant: WebKit aborts the whole program (g_error in
    # readPIDFromPeer) when a sandboxed web process dies before it has
    # reported its process id.
    time.sleep(1)
    for pid in crash_page:
        os.kill(pid, signal.SIGKILL)
    time.sleep(3)
    if web_processes(app):
        fail("the program loaded another page after the crash page crashed")
    if app.status() is not None:
        fail(f"the program ended with status {app.status()}")
    app.close()


class Site(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def failed_load(ws):
    """An unreachable frontend: a page names the address and the engine's
    reason; a port every engine refuses says so, and a closed port offers
    Try again, which loads the frontend once it is there."""
    node = start_node(ws, REPO / "demo" / "demo.js")
    target = ws_target(node.address)

    blocked = "http://127.0.0.1:1/x?ws={ws}"
    app = start_viewer(ws, PROGRAM, node.address, env={"VORBEK_INSPECTOR_FRONTEND": blocked})
    app.page.wait_for("h1", "The page could not be loaded", 20)
    address = app.page.find("#address")["text"]
    if address != blocked.replace("{ws}", target):
        fail(f"the page names {address!r}")
    reason = app.page.find("#reason")["text"]
    if reason != "Not allowed to use restricted network port":
        fail(f"the reason is {reason!r}")
    if app.page.find("#action"):
        fail("a blocked port offers to try again")
    app.close()

    port = free_port()
    closed = f"http://127.0.0.1:{port}/frontend.html?ws={{ws}}"
    app = start_viewer(ws, PROGRAM, node.address, env={"VORBEK_INSPECTOR_FRONTEND": closed})
    app.page.wait_for("#reason", "Connection refused", 20)
    if app.page.find("#address")["text"] != closed.replace("{ws}", target):
        fail(f"the page names {app.page.find('#address')['text']!r}")
    site = ws.path("site")
    site.mkdir()
    (site / "frontend.html").write_text("<!DOCTYPE html><title>frontend</title><p id=there>here</p>")
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", port), lambda *a: Site(*a, directory=str(site)))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    ws.at_exit(server.shutdown)
    app.page.focus()
    app.page.key("Return")
    app.page.wait_for("#there", "here", 20)
    app.close()


def reconnect_failed(ws):
    """Reconnect with the inspector gone: after discovery's 5 s the page
    shows the report start-up would print, and Try again attaches once the
    engine is back at the same address."""
    port = free_port()
    node = start_node(ws, REPO / "demo" / "demo.js", flags=(f"--inspect=127.0.0.1:{port}",))
    first_target = ws_target(node.address)
    app = start_viewer(ws, PROGRAM, node.address)
    frontend = Frontend(app)
    frontend.wait_attached(node)
    node.process.kill()
    node.process.wait()
    reconnect_with_button(app)
    report = app.page.wait_for("#report", None, 30)["text"]
    expected = (f"Error: failed to read inspector targets from http://127.0.0.1:{port}/json"
                f" Caused by: 0: connect to inspector at 127.0.0.1:{port}"
                " 1: Connection refused (os error 111)")
    if report != expected:
        fail(f"the report reads {report!r}")
    raw = app.page.js("return document.getElementById('report').textContent")
    if not raw.startswith(f"Error: failed to read inspector targets from http://127.0.0.1:{port}/json"
                          "\n\nCaused by:\n    0: "):
        fail(f"the report is not laid out as start-up prints it: {raw!r}")

    again = start_node(ws, REPO / "demo" / "demo.js", flags=(f"--inspect=127.0.0.1:{port}",),
                       name="node-again")
    app.page.click("#action", "Try again")
    again.wait_for_stderr("Debugger attached.", 30)
    frontend.wait_ready()
    app.close()
    if app.stdout() != expected_diagnostics(first_target):
        fail(f"stdout is not exactly the three start-up lines: {app.stdout()!r}")


def json_once(ws):
    """Without a user action the program never asks the inspector again."""
    node = start_node(ws, REPO / "demo" / "demo.js")
    body = urllib.request.urlopen(f"http://{node.address}/json", timeout=10).read()
    requests = []

    class Inspector(http.server.BaseHTTPRequestHandler):
        def do_GET(self):  # noqa: N802 - the handler's own name
            requests.append(self.path)
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Inspector)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    ws.at_exit(server.shutdown)

    app = start_viewer(ws, PROGRAM, f"127.0.0.1:{server.server_address[1]}")
    frontend = Frontend(app)
    frontend.wait_attached(node)
    time.sleep(8)  # longer than discovery's 5 s: a poll would have asked by now
    app.close()
    if requests != ["/json"]:
        fail(f"the listener saw {requests}")


CASES = {
    "node-watch": lambda ws: restart_under_watch(ws, "node"),
    "deno-watch": lambda ws: restart_under_watch(ws, "deno"),
    "inspect-wait": restart_with_inspect_wait,
    "inspect-wait-late": lambda ws: restart_with_inspect_wait(ws, late_breakpoints=True),
    "page-crash": page_crash,
    "failed-load": failed_load,
    "reconnect-failed": reconnect_failed,
    "json-once": json_once,
}

with Workspace(f"lifecycle {CASE}") as ws:
    start_xvfb(ws)
    CASES[CASE](ws)
