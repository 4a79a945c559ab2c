"""A long source in Sources: the editor keeps the height of its pane and
draws only the lines in view, Ctrl+End scrolls to the last line, and the
file's end is reached without the whole file being laid out. (On WebKit the
split panes' size containment once left the editor as tall as the file, with
every line of it in the page.)"""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Frontend, Workspace, fail, start_node, start_viewer, start_xvfb  # noqa: E402

PROGRAM = sys.argv[1]
LINES = 3000

# The source editor's scroller (the tallest editor shown; the console's
# prompt is one too) and the lines it has drawn.
EDITOR_STATE = """
const height = (e) => e.getBoundingClientRect().height;
const editor = vt.all('devtools-text-editor').filter((e) => vt.visible(e))
    .sort((a, b) => height(b) - height(a))[0];
if (!editor) return null;
const scroller = editor.shadowRoot.querySelector('.cm-scroller');
const lines = [...editor.shadowRoot.querySelectorAll('.cm-line')];
return {scrollerHeight: scroller.clientHeight, scrollHeight: scroller.scrollHeight,
        paneHeight: editor.getBoundingClientRect().height, viewport: innerHeight,
        drawn: lines.length,
        shown: lines.filter((l) => vt.visible(l)).map((l) => l.textContent)};
"""

with Workspace() as ws:
    start_xvfb(ws)
    script = ws.path("long_source.js")
    script.write_text("".join(f"function f{n}(a, b) {{ return a * {n % 97} + b; }}\n"
                              for n in range(LINES)) + "setInterval(() => {}, 1 << 30);\n")
    node = start_node(ws, script)
    app = start_viewer(ws, PROGRAM, node.address)
    frontend = Frontend(app)
    frontend.wait_attached(node)
    frontend.open_file(script.name)

    state = app.page.wait_js(EDITOR_STATE, 30, "no editor shown")
    if (state["scrollerHeight"] > state["viewport"] or
            state["scrollerHeight"] > state["paneHeight"] + 1):
        fail(f"the editor is {state['scrollerHeight']} px tall in a {state['paneHeight']} px pane"
             f" of a {state['viewport']} px page")
    if state["scrollHeight"] <= state["scrollerHeight"]:
        fail(f"the editor does not scroll: {state['scrollHeight']} px of content in"
             f" {state['scrollerHeight']} px")
    if state["drawn"] > 200:
        fail(f"the editor drew {state['drawn']} of {LINES} lines")

    # Ctrl+End in the editor: the last function comes into view.
    first = app.page.wait_for(".cm-line", "function f0(")
    app.page.click_at(first["x"] + 40, first["y"] + first["height"] / 2)
    app.page.key("ctrl+End")
    last = f"function f{LINES - 1}("
    app.page.wait_js(EDITOR_STATE.replace("return {", "const s = {") +
                     "; return s.shown.some((t) => t.startsWith(arguments[0]))", 30,
                     lambda: f"after Ctrl+End the editor shows"
                             f" {(app.page.js(EDITOR_STATE) or {}).get('shown', [])[-3:]}", last)
    state = app.page.js(EDITOR_STATE)
    if state["drawn"] > 200:
        fail(f"at the file's end the editor drew {state['drawn']} of {LINES} lines")
