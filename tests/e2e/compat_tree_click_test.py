"""Clicks that the frontend handles by asking a shadow root for the
selection: the triangle of a console object expands it, and a search result
opens its file in the editor. The search field draws no more than a plain
search field does (no native magnifier beside the frontend's own)."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail  # noqa: E402
from harness.compat import (SEARCH_FIELD, SEARCH_MATCH, search_field_layout,  # noqa: E402
                            search_sources)
from harness.frontend import EDITOR_TAB, start_window_session  # noqa: E402

PROGRAM = sys.argv[1]
ROOT = "li.object-properties-section-root-element"

with Workspace() as ws:
    node, app, frontend = start_window_session(ws, PROGRAM, "compat.js")
    page = app.page

    frontend.show_console()
    frontend.console_eval("probe")
    frontend.console_result("alpha: 1, nested")
    root = page.wait_for(ROOT, "alpha: 1, nested")
    if page.find("li", "nested: {gamma: 2}", exact=True):
        fail("the object is expanded before the click")
    # The triangle is the root's first few pixels, left of the preview.
    page.click(ROOT, "alpha: 1, nested", at=(6, root["height"] / 2))
    page.wait_for("li", "nested: {gamma: 2}", seconds=20, exact=True)

    frontend.open_panel("Sources")
    page.wait_for(".expandable-view-title", "Breakpoints")
    message = search_sources(frontend, "hoverable")
    if "Found 2 matching lines" not in message:
        fail(f"the search reports: {message}")
    field, plain = search_field_layout(page)
    # A native decoration (the magnifier) would take room from the text.
    if field > plain:
        fail(f"the search field lays out a long text {field} px wide, a plain search field"
             f" {plain} px: it draws something more")
    if page.find(EDITOR_TAB + ".selected", "compat.js"):
        fail("compat.js is open before the search result is clicked")
    page.click(SEARCH_MATCH, "const hoverable")
    page.wait_for(EDITOR_TAB + ".selected", "compat.js", seconds=20)
    page.wait_for(".cm-line", "const hoverable = {", seconds=20)

    app.close()
