"""A page in a viewer: script run in it to read what it shows, and real
input through X (xdotool) aimed where the page says an element is."""
import pathlib
import time

from . import display
from .core import fail, wait_until

HELPERS = (pathlib.Path(__file__).with_name("page.js")).read_text()


class Page:
    def __init__(self, ws, driver):
        self.ws = ws
        self.driver = driver
        self.window = None
        self._offset = None

    def js(self, body, *args):
        """Runs BODY (a function body; `vt` holds the helpers) in the page."""
        return self.driver.execute_script(HELPERS + body, *args)

    def js_async(self, body, *args):
        """Runs BODY with a `done` callback for its result."""
        return self.driver.execute_async_script(
            HELPERS + "const done = arguments[arguments.length - 1];\n" + body, *args)

    def url(self):
        return self.driver.current_url

    def wait_js(self, body, seconds, what, *args):
        """Polls BODY until it returns something true, and returns that."""
        def check():
            try:
                return self.js(body, *args)
            except Exception:  # noqa: BLE001 - a page between loads answers nothing
                return None
        return wait_until(check, seconds, what, interval=0.2)

    def find(self, selector, text=None, exact=False):
        """The first visible element matching SELECTOR (and TEXT): its box
        and text, or None."""
        found = self.js("return vt.find(arguments[0], arguments[1], arguments[2])"
                        ".slice(0, 1).map(vt.describe)[0] || null", selector, text, exact)
        return found

    def find_all(self, selector, text=None, exact=False):
        return self.js("return vt.find(arguments[0], arguments[1], arguments[2]).map(vt.describe)",
                       selector, text, exact)

    def texts(self, selector):
        """The text of every visible element matching SELECTOR."""
        return [found["text"] for found in self.find_all(selector)]

    def wait_for(self, selector, text=None, seconds=30, exact=False):
        """Waits for a visible element; returns what find returns."""
        def shown():
            try:
                return self.find(selector, text, exact)
            except Exception:  # noqa: BLE001 - a page between loads answers nothing
                return None

        def report():
            seen = []
            try:
                seen = self.texts(selector)[:8]
            except Exception:  # noqa: BLE001
                pass
            return (f"{selector}{' with ' + repr(text) if text else ''} not shown within {seconds} s;"
                    f" shown: {seen}")
        return wait_until(shown, seconds, report, interval=0.2)

    def wait_gone(self, selector, text=None, seconds=30):
        wait_until(lambda: not self.find(selector, text), seconds,
                   f"{selector} {text or ''} still shown after {seconds} s", interval=0.2)

    # Real input.

    def offset(self):
        """Where the page's (0, 0) is in the window: a real pointer move,
        and the page says where it saw it."""
        if self._offset is None:
            self.js("window.vtPointer = null; addEventListener('mousemove', (e) => {"
                    " window.vtPointer = [e.clientX, e.clientY]; }, {capture: true});")
            seen = None
            # Inside the page whatever frame the viewer draws around it; the
            # second move is told from the first by where the page saw it.
            _, _, width, height = display.window_geometry(self.ws, self.window)
            for x, y in ((width // 2, height // 2), (width // 2 + 6, height // 2 + 6)):
                display.xdotool(self.ws, "mousemove", "--window", self.window, x, y)
                before = seen
                seen = wait_until(lambda: (lambda at: at if at and at != before else None)(
                    self.js("return window.vtPointer")), 10, "the page saw no pointer move")
            self._offset = (x - seen[0], y - seen[1])
        return self._offset

    def move_to(self, x, y):
        dx, dy = self.offset()
        display.xdotool(self.ws, "mousemove", "--window", self.window, round(x + dx), round(y + dy))

    def click_at(self, x, y, button=1):
        dx, dy = self.offset()
        display.xdotool(self.ws, "mousemove", "--window", self.window, round(x + dx), round(y + dy),
                        "click", button)

    def click(self, selector, text=None, exact=False, button=1, at=None, seconds=30):
        """Clicks the middle of a visible element (or the point AT, relative
        to its top left) once it is shown; returns what was clicked."""
        found = self.wait_for(selector, text, seconds, exact)
        found = self.settled(selector, text, exact, found)
        x, y = at if at else (found["width"] / 2, found["height"] / 2)
        self.click_at(found["x"] + x, found["y"] + y, button)
        return found

    def settled(self, selector, text, exact, found, seconds=10):
        """The element's box once two readings 0.1 s apart agree, so that a
        click cannot land where a layout still in progress moved it from."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            time.sleep(0.1)
            again = self.wait_for(selector, text, seconds, exact)
            if again == found:
                return found
            found = again
        fail(f"{selector} {text or ''} keeps moving: {found}")

    def hover(self, selector, text=None, exact=False):
        found = self.wait_for(selector, text, 30, exact)
        found = self.settled(selector, text, exact, found)
        self.move_to(found["x"] + found["width"] / 2, found["y"] + found["height"] / 2)
        return found

    def focus(self):
        """Without a window manager the keyboard goes to the window under
        the pointer; this puts the pointer in a corner of the window."""
        display.xdotool(self.ws, "mousemove", "--window", self.window, 2, 2)

    def key(self, *keys):
        display.xdotool(self.ws, "key", "--delay", 40, *keys)

    def type(self, text, delay=20):
        display.xdotool(self.ws, "type", "--delay", delay, text)


def assert_equal(actual, expected, what):
    if actual != expected:
        fail(f"{what}: {actual!r}, not {expected!r}")
