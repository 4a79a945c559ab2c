"""The debugger frontend as a user drives it. Every action is real input
(clicks and keys through X, aimed where the page says the element is), and
every check reads what the frontend shows from its page."""
import shutil

from .core import REPO, TestFailure, fail, wait_until
from .display import start_xvfb
from .engines import start_node
from .viewer import start_viewer

SCRIPTS = REPO / "tests" / "e2e"

MAIN_TAB = ".main-tabbed-pane > .tabbed-pane-header .tabbed-pane-header-tab, .tabbed-pane-header-tab"
PAUSED = ".paused-message"
CALL_FRAME = ".call-frame-item"
LINE_NUMBER = ".cm-lineNumbers .cm-gutterElement"
EDITOR_TAB = ".tabbed-pane-header-tab.closeable"
QUICK_OPEN_ITEM = ".filtered-list-widget-item"
CONSOLE_PROMPT = "#console-prompt"
CONSOLE_MESSAGE = ".console-message-text"


def start_window_session(ws, program, script, viewer=None, env=None, node_env=None):
    """A private display, node on a fresh copy of SCRIPT (a file in
    tests/e2e, so that breakpoints remembered for another path cannot pause
    it) and the frontend attached to it; returns (node, viewer, frontend)."""
    start_xvfb(ws)
    shutil.copy(SCRIPTS / script, ws.dir / script)
    node = start_node(ws, ws.dir / script, env={**ws.env, **(node_env or {})})
    shown = start_viewer(ws, program, node.address, env=env, viewer=viewer)
    frontend = Frontend(shown)
    frontend.wait_attached(node)
    return node, shown, frontend


def focused(page):
    """The element that has the keyboard, followed into shadow roots:
    {"tag", "class", "label"}, or None."""
    return page.js(
        "let e = document.activeElement;"
        "while (e && e.shadowRoot && e.shadowRoot.activeElement) e = e.shadowRoot.activeElement;"
        "return e && e !== document.body ? {tag: e.localName, class: String(e.className),"
        "  label: e.getAttribute('aria-label') || ''} : null")


class Frontend:
    def __init__(self, viewer):
        self.viewer = viewer
        self.page = viewer.page

    def wait_ready(self, seconds=60):
        """Waits until the frontend has drawn its panel tabs."""
        self.page.wait_for("#tab-console", "Console", seconds)
        self.page.focus()

    def wait_attached(self, engine, seconds=60):
        """The engine has the frontend's connection, and the frontend is drawn."""
        if engine.attach_message:
            engine.wait_for_stderr(engine.attach_message, seconds)
        else:
            wait_until(engine.attached, seconds,
                       lambda: f"no connection to the inspector at {engine.address}"
                               f"{self.viewer.report()}")
        self.wait_ready(seconds)

    def open_panel(self, name):
        self.page.click(".tabbed-pane-header-tab", name, exact=True)
        self.page.wait_for(".tabbed-pane-header-tab.selected", name, exact=True)

    # Sources.

    def open_file(self, name):
        """Opens NAME in Sources with the quick-open box (Ctrl+P)."""
        self.open_panel("Sources")
        self.page.wait_for(".expandable-view-title", "Breakpoints")
        self.page.focus()
        self.page.key("ctrl+p")
        self.page.wait_for('[aria-label="Quick open prompt"]')
        self.page.type(name, delay=30)
        self.page.wait_for(QUICK_OPEN_ITEM, name)
        self.page.key("Return")
        self.page.wait_for(EDITOR_TAB + ".selected", name)
        self.page.wait_for(LINE_NUMBER, "1", exact=True)

    def editor_file(self):
        found = self.page.find(EDITOR_TAB + ".selected")
        return found and found["text"]

    def line_number(self, line, seconds=30):
        return self.page.wait_for(LINE_NUMBER, str(line), seconds, exact=True)

    def click_gutter_line(self, line):
        """Sets or removes the breakpoint on LINE by clicking its number."""
        self.page.click(LINE_NUMBER, str(line), exact=True)

    def breakpoint_lines(self):
        """The editor's lines that carry a breakpoint marker."""
        return [int(t) for t in self.page.texts(".cm-lineNumbers .cm-breakpoint") if t.isdigit()]

    def wait_breakpoint(self, line, present=True, seconds=30):
        wait_until(lambda: (line in self.breakpoint_lines()) == present, seconds,
                   lambda: f"breakpoint on line {line} {'not set' if present else 'still set'};"
                           f" markers on {self.breakpoint_lines()}")

    def paused_reason(self):
        found = self.page.find(PAUSED)
        return found and found["text"]

    def wait_paused(self, reason="Paused on breakpoint", seconds=45):
        self.open_sidebar_if_hidden()
        return self.page.wait_for(PAUSED, reason, seconds)

    def wait_running(self, seconds=30):
        self.page.wait_gone(PAUSED, None, seconds)

    def open_sidebar_if_hidden(self):
        pass

    def call_stack(self):
        """The call stack's frames as "function file:line", top first."""
        return self.page.js(
            "return vt.find('.call-frame-item').map((frame) => ["
            "  frame.querySelector('.call-frame-title-text'),"
            "  frame.querySelector('.call-frame-location')].map((part) => part ? vt.text(part) : '')"
            "  .join(' '))")

    def wait_top_frame(self, text, seconds=45):
        """Waits for the call stack's first frame to read TEXT, for example
        "outer workflow.js:12"."""
        def top():
            frames = self.call_stack()
            return frames and frames[0] == text
        wait_until(top, seconds, lambda: f"top frame is not {text!r}: {self.call_stack()[:3]}")

    def expand_section(self, title):
        """Expands a sidebar section ("Watch", "Breakpoints") if it is not."""
        found = self.page.wait_for(".expandable-view-title", title, exact=True)
        if not self.page.find(".expandable-view-title.expanded", title, exact=True):
            self.page.click(".expandable-view-title", title, exact=True)
            self.page.wait_for(".expandable-view-title.expanded", title, exact=True)
        return found

    def add_watch(self, expression):
        self.expand_section("Watch")
        self.page.click('[aria-label="Add watch expression"]')
        self.page.wait_for(".watch-expression-editing")
        self.page.type(expression, delay=30)
        self.page.key("Return")

    def watches(self):
        return self.page.texts(".watch-expression")

    def wait_watch(self, text, seconds=45):
        wait_until(lambda: text in self.watches(), seconds,
                   lambda: f"no watch reads {text!r}: {self.watches()}")

    def set_pause_on_uncaught(self):
        label = "Pause on uncaught exceptions"
        self.expand_section("Breakpoints")
        self.page.click(".checkbox-label", label, exact=True)
        self.page.wait_js(
            "return vt.find('.checkbox-label', arguments[0], true).some((l) =>"
            " l.querySelector('input')?.checked)", 20, f"{label} is not checked", label)

    # Console.

    def show_console(self):
        self.open_panel("Console")
        self.page.wait_for(CONSOLE_PROMPT)

    def console_prompt(self):
        found = self.page.find(CONSOLE_PROMPT)
        return found and found["text"]

    def console_eval(self, expression):
        """Types EXPRESSION at the console's prompt and runs it, once the
        prompt holds exactly what was typed."""
        def prompt_has_keyboard():
            return "cm-content" in ((focused(self.page) or {}).get("class") or "").split()
        # While messages arrive the prompt moves down with them, and a click
        # can land on the message that took its place; a user clicks again.
        for attempt in range(3):
            self.page.click(CONSOLE_PROMPT)
            try:
                wait_until(prompt_has_keyboard, 3, "")
                break
            except TestFailure:
                if attempt == 2:
                    fail(f"the console's prompt did not take the keyboard: {focused(self.page)}")
        self.page.type(expression, delay=15)
        wait_until(lambda: self.console_prompt() == expression, 10,
                   lambda: f"the prompt holds {self.console_prompt()!r}, not {expression!r}")
        self.page.key("Return")
        # Taken: the prompt is empty again, or gone when a pause the
        # expression caused brought Sources up.
        wait_until(lambda: self.console_prompt() in ("", None), 10,
                   lambda: f"the prompt still holds {self.console_prompt()!r} after Return")

    def console_messages(self):
        return self.page.texts(CONSOLE_MESSAGE)

    def wait_console(self, text, seconds=30):
        return self.page.wait_for(CONSOLE_MESSAGE, text, seconds)

    def console_result(self, text, seconds=30):
        """Waits for an evaluation's result reading TEXT."""
        return self.page.wait_for(".console-user-command-result", text, seconds)


def fail_unless(condition, message):
    if not condition:
        fail(message)
