"""A hostile target against the window: an inspector endpoint (a relay in
front of node) that plants a frontend URL parameter in "/json" and gives a
logged object a custom preview, and a debuggee whose console styles and
source maps name addresses of its choosing. A tracker on loopback counts
every request that reaches it. Each attack is one case; after all of them
a breakpoint, a step and the console still work. Then the same endpoint,
reached at this machine's network address as a remote one would be, must
not make the window open a file of this machine.

With VIEWER=chromium the attacks run against Chromium's app mode on the same
frontend files: the table is printed for comparison and nothing fails."""
import http.server
import json
import os
import pathlib
import socket
import sys
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail, wait_until  # noqa: E402
from harness.display import start_xvfb  # noqa: E402
from harness.engines import start_node  # noqa: E402
from harness.frontend import Frontend  # noqa: E402
from harness.relay import InspectorRelay  # noqa: E402
from harness.viewer import start_viewer  # noqa: E402

PROGRAM = sys.argv[1]
COMPARING = os.environ.get("VIEWER") == "chromium"
TICK_LINE = 9


class Tracker:
    """Loopback HTTP that answers everything and remembers each path."""
    def __init__(self, ws):
        seen = self.seen = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # noqa: N802 - the library's name
                seen.append(self.path)
                self.send_response(200)
                self.send_header("Content-Length", "0")
                self.end_headers()
            do_POST = do_HEAD = do_OPTIONS = do_GET  # noqa: N815

            def log_message(self, *args):
                pass
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.address = f"127.0.0.1:{self.server.server_address[1]}"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        ws.at_exit(self.server.shutdown)


class FifoCanary:
    """A FIFO whose writer waits in open() until some reader opens it: an
    open by anyone, even one that then refuses what it opened, shows."""
    def __init__(self, path):
        self.path = path
        os.mkfifo(path)
        self.opened = threading.Event()

    def arm(self):
        self.opened.clear()

        def wait_for_reader():
            fd = os.open(self.path, os.O_WRONLY)
            self.opened.set()
            os.close(fd)
        threading.Thread(target=wait_for_reader, daemon=True).start()


def network_address():
    """This machine's address on its network (not loopback), or None."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.connect(("192.0.2.1", 9))  # no packet is sent
            address = probe.getsockname()[0]
        except OSError:
            return None
    return None if address.startswith("127.") else address


def preview_style(tracker):
    return ("position:fixed; top:0; left:0; width:100vw; height:100vh; z-index:9999;"
            " background-color:red; margin-top:-400px;"
            f" background-image:url(http://{tracker}/preview-image)")


def hostile_relay(ws, node, tracker, host="127.0.0.1", planted=None):
    planted = planted or f"&loadTimelineFromURL=http://{tracker}/timeline"

    def plant(targets):
        for target in targets:
            target["webSocketDebuggerUrl"] += planted
        return targets

    def preview(text):
        if "HOSTILE-PREVIEW" not in text or '"Runtime.consoleAPICalled"' not in text:
            return text
        message = json.loads(text)
        header = ["div", {"style": preview_style(tracker)}, "HOSTILE-PREVIEW-HEADER"]
        for arg in message["params"]["args"]:
            if arg.get("type") == "object":
                arg["customPreview"] = {"header": json.dumps(header)}
        return json.dumps(message)
    return InspectorRelay(ws, node.address, host=host, json_body=plant, engine_message=preview)


# The message that holds TEXT, and whether everything drawn inside it stays
# within its box and off the rest of the window.
CONTAINED = """
const [text] = arguments;
const message = vt.all('.console-message-wrapper').find((m) => vt.text(m).includes(text));
if (!message) return null;
const box = message.getBoundingClientRect();
const escapes = [];
for (const element of [message, ...vt.all('*', message)]) {
  const r = element.getBoundingClientRect();
  if (!r.width && !r.height) continue;
  const style = getComputedStyle(element);
  const shadowed = style.textShadow !== 'none' && style.textShadow !== '';
  if (r.left < box.left - 1 || r.top < box.top - 1 || r.right > box.right + 1 ||
      r.bottom > box.bottom + 1 || style.position === 'fixed' || shadowed) {
    escapes.push(`${element.localName}.${element.className}: ${style.position} ${r.top},${r.left}`);
  }
}
return {escapes, height: box.height, prompt: (() => {
  const prompt = vt.all('#console-prompt')[0];
  if (!prompt) return 'no prompt';
  const p = prompt.getBoundingClientRect();
  const hit = document.elementFromPoint(p.left + p.width / 2, p.top + Math.min(p.height / 2, 8));
  return hit && (prompt.contains(hit) || hit.contains(prompt) || hit.shadowRoot) ? 'reachable' :
      `covered by ${hit && hit.localName}.${hit && hit.className}`;
})()};
"""

# A suggestion field of the frontend given text that reads as HTML: after it
# takes the focus, is it still text?
SUGGESTION_FIELD = """
import(new URL('ui/components/suggestion_input/suggestion_input.js', document.baseURI).href)
  .then(() => {
    // By its class: an element this script creates by name may not be upgraded.
    const Field = customElements.get('devtools-editable-content');
    if (!Field) return done({error: 'not defined'});
    const field = new Field();
    document.body.append(field);
    field.value = '<img src="http://' + arguments[0] + '/suggestion-field"><b>bold</b>';
    field.dispatchEvent(new FocusEvent('focus'));
    const elements = field.querySelectorAll('img, b').length;
    field.remove();
    done({elements});
  }, (error) => done({error: String(error)}));
"""

# Whether the frontend's own messages (its console's, not the engine's) name
# the text: where a load it refused is reported.
FRONTEND_SAID = """
import(new URL('core/common/common.js', document.baseURI).href).then((common) => {
  done(common.Console.Console.instance().messages().some((m) => m.text.includes(arguments[0])));
}, () => done(false));
"""

# A WebSocket to the tracker: None when it fails without a policy
# violation (the engine's filter stopped it), else what happened.
BACKSTOP = """
let violated = null;
addEventListener('securitypolicyviolation', (e) => { violated = e.violatedDirective; });
const socket = new WebSocket('ws://' + arguments[0] + '/backstop');
socket.onopen = () => done('opened');
socket.onerror = () => setTimeout(() => done(violated && `the policy stopped it (${violated}):` +
    ' this case tests nothing'), 100);
"""

ENABLE_CUSTOM_FORMATTERS = """
import(new URL('core/common/common.js', document.baseURI).href).then((common) => {
  common.Settings.Settings.instance().moduleSetting('customFormatters').set(true);
  done(true);
}, (error) => done(String(error)));
"""


def attacks(ws, app, frontend, node, tracker, canary):
    """Each attack and what it reached: (name, None when held, or what got through)."""
    page = app.page
    results = []

    def case(name, check, since_start=None):
        """SINCE_START: the case happened as the window started; the
        tracker's paths that begin with it are its requests."""
        before = len(tracker.seen)
        try:
            outcome = check()
        except Exception as error:  # noqa: BLE001 - a case that breaks is a case that failed
            outcome = f"the case broke: {error}"
        time.sleep(1)  # a request the page makes late
        if since_start:
            reached = [path for path in tracker.seen if path.startswith(since_start)]
        else:
            reached = tracker.seen[before:]
        if reached and not outcome:
            outcome = f"the tracker was asked for {reached}"
        results.append((name, outcome))

    frontend.show_console()
    frontend.wait_console("hostile ready", 45)

    def planted_timeline():
        if "loadTimelineFromURL" not in page.url():
            return "not planted: check the relay"
        # The timeline panel opens, then loads: either it asks the tracker,
        # or it says it did not load the address.
        wait_until(lambda: any(path.startswith("/timeline") for path in tracker.seen) or
                   page.js_async(FRONTEND_SAID, f"{tracker.address}/timeline"), 30,
                   lambda: "the planted timeline was neither loaded nor refused; the frontend said "
                           + str(page.js_async(FRONTEND_SAID.replace("some(", "filter("), "")))
        return None
    case("a frontend URL parameter planted in /json (a timeline to load)", planted_timeline,
         since_start="/timeline")
    case("a source map on the target's http address", lambda: None, since_start="/source-map")
    case("a source map on a file:// address of this machine, for a local inspector",
         lambda: None if canary.opened.wait(20) else
         "the window never asked for the file: the remote case below proves nothing")

    def styled_format():
        frontend.console_eval("draw()")
        found = page.wait_js(CONTAINED, 20, "no HOSTILE-FORMAT message", "HOSTILE-FORMAT")
        return "; ".join(found["escapes"]) or (None if found["prompt"] == "reachable"
                                                else found["prompt"])
    case("console text styled to cover the window and load images", styled_format)

    def preview_off():
        found = page.wait_js(CONTAINED, 20, "no HOSTILE-PREVIEW message", "HOSTILE-PREVIEW")
        if page.find(".console-message-wrapper", "HOSTILE-PREVIEW-HEADER"):
            return f"drawn with custom formatters off; escapes: {found['escapes']}"
        return None
    case("a custom preview sent with custom formatters off", preview_off)

    def preview_on():
        enabled = page.js_async(ENABLE_CUSTOM_FORMATTERS)
        if enabled is not True:
            return f"cannot turn custom formatters on: {enabled}"
        frontend.console_eval("draw()")
        found = page.wait_js(CONTAINED, 20, "no HOSTILE-PREVIEW-HEADER message",
                             "HOSTILE-PREVIEW-HEADER")
        return "; ".join(found["escapes"]) or (None if found["prompt"] == "reachable"
                                                else found["prompt"])
    case("a custom preview styled to cover the window, custom formatters on", preview_on)

    def suggestion_field():
        found = page.js_async(SUGGESTION_FIELD, tracker.address)
        if "error" in found:
            return f"no suggestion field: {found['error']}"
        return f"{found['elements']} elements made of its text" if found["elements"] else None
    case("an editable suggestion field given HTML", suggestion_field)

    def page_fetch():
        outcome = page.js_async(
            "fetch('http://' + arguments[0] + '/page-fetch').then(() => done('fetched'),"
            " () => done(null))", tracker.address)
        return outcome
    case("the page's own fetch of another origin", page_fetch)

    def still_debugs():
        frontend.open_file("hostile.js")
        frontend.click_gutter_line(TICK_LINE)
        frontend.wait_paused("Paused on breakpoint")
        frontend.wait_top_frame(f"tick hostile.js:{TICK_LINE}")
        page.focus()
        page.key("F10")
        frontend.wait_top_frame(f"tick hostile.js:{TICK_LINE + 1}")
        frontend.click_gutter_line(TICK_LINE)
        frontend.wait_breakpoint(TICK_LINE, present=False)
        page.focus()
        page.key("F8")
        frontend.wait_running()
        frontend.show_console()
        frontend.console_eval("6 * 7 + 0.5")
        frontend.console_result("42.5")
        return None
    case("after every attack: a breakpoint, a step and the console", still_debugs)
    return results


def report(title, results):
    width = max(len(name) for name, _ in results)
    print(f"\n{title}")
    for name, outcome in results:
        print(f"  {name:<{width}}  {'held' if not outcome else 'GOT THROUGH: ' + outcome}")
    return [f"{name}: {outcome}" for name, outcome in results if outcome]


with Workspace() as ws:
    start_xvfb(ws)
    tracker = Tracker(ws)
    canary = FifoCanary(ws.path("canary.js.map"))
    script = ws.path("hostile.js")
    script.write_text((pathlib.Path(__file__).with_name("hostile.js")).read_text())
    node = start_node(ws, script, env={**ws.env, "TRACKER": tracker.address,
                                       "CANARY": str(canary.path)})
    relay = hostile_relay(ws, node, tracker.address)
    canary.arm()
    app = start_viewer(ws, PROGRAM, relay.address)
    frontend = Frontend(app)
    frontend.wait_attached(node)
    failures = report(f"attacks on {app.name}", attacks(ws, app, frontend, node, tracker, canary))
    app.close()

    # The endpoint as a remote one: its file:// addresses name its own
    # machine's files, and the window opens none of this one's.
    address = network_address()
    if address and not COMPARING:
        remote = hostile_relay(ws, node, tracker.address, host=address)
        canary.arm()
        app = start_viewer(ws, PROGRAM, remote.address)
        frontend = Frontend(app)
        frontend.wait_attached(node)
        frontend.show_console()
        frontend.console_eval("6 * 7 + 0.5")
        frontend.console_result("42.5")
        opened = canary.opened.wait(10)
        failures += report("a remote endpoint", [(
            "a source map on a file:// address, for an inspector on another machine",
            "the window opened this machine's file" if opened else None)])
        app.close()
    elif not address:
        print("no network address: the remote endpoint's case did not run")

    # "rtc=true" planted: the frontend would talk WebRTC with a peer and a
    # STUN server that no policy governs, signalling over the socket.
    rtc = hostile_relay(ws, node, tracker.address, planted="&rtc=true")
    app = start_viewer(ws, PROGRAM, rtc.address)
    Frontend(app).wait_ready()
    time.sleep(5)
    signalled = [m for m in rtc.frontend_messages if b'"offer"' in m or b'"candidate"' in m]
    failures += report("a planted WebRTC connection", [(
        "rtc=true planted in /json",
        f"the frontend offered a peer connection: {signalled[0][:80]!r}" if signalled else None)])
    app.close()

    # The web view's own check, under the policy: an inspector on IPv6,
    # which a policy cannot name, gets every ws: address past the policy,
    # and the engine's filter alone keeps the page to the target.
    if not COMPARING:
        ipv6 = start_node(ws, script, flags=("--inspect=[::1]:0",), name="node-ipv6",
                          env={**ws.env, "TRACKER": tracker.address, "CANARY": "/nonexistent"})
        app = start_viewer(ws, PROGRAM, ipv6.address)
        frontend = Frontend(app)
        frontend.wait_attached(ipv6)
        before = len(tracker.seen)
        outcome = app.page.js_async(BACKSTOP, tracker.address)
        time.sleep(1)
        if len(tracker.seen) > before:
            outcome = f"the tracker was asked for {tracker.seen[before:]}"
        failures += report("the engine's own check", [(
            "a WebSocket to another address, which the policy lets pass", outcome)])
        app.close()

    # Each window compiled its filter into the cache and took it out again.
    left = list((pathlib.Path(ws.env["XDG_CACHE_HOME"]) / "vorbek_inspector").glob("**/*frontend*"))
    if left and not COMPARING:
        failures.append(f"compiled filters left in the cache: {[p.name for p in left]}")

    if failures and not COMPARING:
        fail("attacks got through:\n  " + "\n  ".join(failures))
