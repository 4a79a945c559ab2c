"""What the frontend compatibility tests share: the frontend's parts those
tests read (the value popover, the search panel, the breakpoint editor), as
data from the page. Input stays real: keys and pointer through X."""
import pathlib
import subprocess

from .core import fail, wait_until
from .frontend import LINE_NUMBER, focused


def wait_focused(page, tag, label=None, seconds=20):
    """Waits until an element TAG (with aria-label LABEL) has the keyboard."""
    def has_it():
        now = focused(page)
        return now and now["tag"] == tag and (label is None or now["label"] == label)
    wait_until(has_it, seconds, lambda: f"the keyboard is not in a {tag} {label or ''}: it is in"
                                        f" {focused(page)}")


# The search panel (Ctrl+Shift+F).

SEARCH_FIELD = "input.custom-search-input"
SEARCH_MESSAGE = ".search-message"
SEARCH_MATCH = ".search-match-content"


def search_sources(frontend, query):
    """Searches every script for QUERY from the search panel, as typed;
    returns the panel's closing message ("Found 2 matching lines ...")."""
    page = frontend.page
    page.focus()
    page.key("ctrl+shift+f")
    page.wait_for(SEARCH_FIELD)
    wait_focused(page, "input", "Search Query")
    page.type(query, delay=30)
    page.key("Return")
    return page.wait_for(SEARCH_MESSAGE, "Found")["text"]


def search_field_layout(page):
    """The scroll widths of the search field and of a plain search field
    beside it, both holding the same long text: [field, plain]. Whatever the
    field draws beside its text makes its text wider to scroll."""
    return page.js(
        "const field = vt.find(arguments[0])[0];"
        "if (!field) return null;"
        "const plain = document.createElement('input');"
        "plain.type = 'search'; plain.className = field.className;"
        "field.after(plain);"
        "const text = 'x'.repeat(300), before = field.value;"
        "field.value = text; plain.value = text;"
        "const widths = [field.scrollWidth, plain.scrollWidth];"
        "field.value = before; plain.remove();"
        "return widths;", SEARCH_FIELD)


# The value popover a paused frontend shows for a hovered name.

_POPOVER = """
// The popover is a glass pane: a widget at the top of a shadow root, with
// the value in it.
const primitive = '.object-value-string, .object-value-number, .object-value-boolean';
const pane = vt.all('.widget').find((w) => w.parentNode instanceof ShadowRoot
    && w.querySelector(primitive) && vt.visible(w));
if (!pane) return null;
const value = pane.querySelector(primitive);
const box = (e) => { const b = e.getBoundingClientRect();
  return {left: b.left, top: b.top, right: b.right, bottom: b.bottom}; };
return {text: vt.text(value), pane: box(pane), value: box(value),
        client: [pane.clientWidth, pane.clientHeight],
        scroll: [pane.scrollWidth, pane.scrollHeight]};
"""


def popover(page):
    """The shown value popover: its value's text, the boxes of the popover
    and of the value, and the popover's client and scroll sizes; or None."""
    return page.js(_POPOVER)


def hover_for_popover(frontend, selector, text, attempts=3, seconds=8):
    """Rests the pointer on the element SELECTOR with TEXT, as a user does,
    until the frontend shows its value popover; returns popover()."""
    page = frontend.page
    for attempt in range(attempts):
        target = page.wait_for(selector, text, exact=True)
        middle_y = target["y"] + target["height"] / 2
        # The frontend asks for the value once the pointer moves onto the
        # name and rests there.
        page.move_to(target["x"] - 3, middle_y)
        page.move_to(target["x"] + target["width"] / 2, middle_y)
        try:
            return wait_until(lambda: popover(page), seconds, "no popover")
        except Exception:  # noqa: BLE001 - tried again below
            if attempt == attempts - 1:
                raise
        # Away to the gutter, which shows no popover, and back again.
        away = frontend.line_number(1)
        page.move_to(away["x"] + away["width"] / 2, away["y"] + away["height"] / 2)
        wait_until(lambda: not popover(page), seconds, "the popover does not go away")
    return None


def check_box_holds(shown, what):
    """Fails unless the popover SHOWN has room for its value: nothing in it
    scrolls or is cut off, and the value's box lies inside the popover's."""
    (client_w, client_h), (scroll_w, scroll_h) = shown["client"], shown["scroll"]
    if scroll_w > client_w or scroll_h > client_h:
        fail(f"{what}: the popover's content is {scroll_w}x{scroll_h} in a"
             f" {client_w}x{client_h} box: {shown}")
    pane, value = shown["pane"], shown["value"]
    if (value["left"] < pane["left"] or value["right"] > pane["right"] or
            value["top"] < pane["top"] or value["bottom"] > pane["bottom"]):
        fail(f"{what}: the value sticks out of the popover: {shown}")


# The breakpoint editor in Sources' gutter.

BREAKPOINT_EDITOR = ".sources-edit-breakpoint-dialog"

_BREAKPOINT_EDITOR_HEADER = """
const host = vt.find(arguments[0])[0];
if (!host || !host.shadowRoot) return null;
const header = host.shadowRoot.querySelector('.dialog-header');
const bar = header && header.querySelector('.toolbar');
const close = header && header.querySelector(':scope > devtools-icon');
if (!bar || !close) return null;
const box = (e) => { const b = e.getBoundingClientRect();
  return {left: b.left, top: b.top, right: b.right, bottom: b.bottom}; };
return {header: box(header), toolbar: box(bar), close: box(close), title: vt.text(bar)};
"""


def open_breakpoint_editor(frontend, line, kind="Add conditional breakpoint"):
    """Opens the breakpoint editor on LINE from the gutter's context menu."""
    page = frontend.page
    page.click(LINE_NUMBER, str(line), exact=True, button=3)
    page.click(".soft-context-menu-item", kind)
    return page.wait_for(BREAKPOINT_EDITOR)


def breakpoint_editor_header(page):
    """The breakpoint editor's header: the boxes of the header, of its
    toolbar (line and kind) and of its close button, and the toolbar's text."""
    return page.js(_BREAKPOINT_EDITOR_HEADER, BREAKPOINT_EDITOR)


# The clipboard and the user's browser, as the desktop has them.

def clipboard(ws):
    """The CLIPBOARD selection's text, or None when nobody holds it."""
    try:
        result = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=ws.env,
                                capture_output=True, text=True, timeout=5)
    except subprocess.TimeoutExpired:
        return None
    return result.stdout if result.returncode == 0 else None


def register_stand_in_browser(ws):
    """A stand-in registered in the private profile as the handler for web
    addresses; each address it is asked to open becomes a line of the
    returned file."""
    opened = ws.path("browser.opened")
    browser = ws.path("browser")
    browser.write_text(f"#!/bin/sh\nprintf '%s\\n' \"$@\" >>'{opened}'\n")
    browser.chmod(0o755)
    applications = pathlib.Path(ws.env["XDG_DATA_HOME"]) / "applications"
    applications.mkdir(parents=True, exist_ok=True)
    (applications / "stand-in-browser.desktop").write_text(
        "[Desktop Entry]\nType=Application\nName=Stand-in browser\n"
        f"Exec={browser} %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n")
    (pathlib.Path(ws.env["XDG_CONFIG_HOME"]) / "mimeapps.list").write_text(
        "[Default Applications]\n"
        "x-scheme-handler/http=stand-in-browser.desktop\n"
        "x-scheme-handler/https=stand-in-browser.desktop\n")
    return opened
