"""What the user sees, read off the screen: the window draws the frontend
legibly, with its panels, the opened file's tab, its source text and the
paused banner where the page says they are. The suite's one OCR test; its
fonts are pinned (harness/fonts.conf)."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import (REPO, Frontend, Workspace, fail, start_node, start_viewer,  # noqa: E402
                     start_xvfb, wait_until)
from harness import ocr  # noqa: E402
from harness.core import descendants, read_text  # noqa: E402

PROGRAM = sys.argv[1]

with Workspace() as ws:
    start_xvfb(ws)
    node = start_node(ws, REPO / "demo" / "demo.js")
    app = start_viewer(ws, PROGRAM, node.address, env=ocr.pinned_fonts_env())
    frontend = Frontend(app)
    frontend.wait_attached(node)

    def reads(box, *phrases, name, seconds=15):
        """Waits until tesseract reads PHRASES in BOX: the page reports an
        element a frame or two before the screen shows it."""
        seen = []

        def legible():
            seen.append(ocr.read_text(ws, app.window, box, name))
            return all(p.lower() in seen[-1].lower() for p in phrases)
        wait_until(legible, seconds, lambda: f"{list(phrases)} not read on screen in {box};"
                                             f" tesseract read: {seen[-1]!r}", interval=0.5)

    tabs = app.page.js("return vt.find('.tabbed-pane-header-tab').filter((t) => t.id.startsWith('tab-'))"
                       ".map(vt.describe)")
    strip = {"x": 0, "y": min(t["y"] for t in tabs), "width": max(t["x"] + t["width"] for t in tabs),
             "height": max(t["height"] for t in tabs)}
    reads(strip, "Console", "Sources", "Memory", "Performance", name="tabs")

    frontend.open_file("demo.js")
    reads(app.page.find(".tabbed-pane-header-tab.closeable.selected"), "demo.js", name="file-tab")
    line = app.page.wait_for(".cm-line", "function fibonacci(n)")
    reads({**line, "width": min(line["width"], 300)}, "function fibonacci(n)", name="source")

    frontend.click_gutter_line(15)
    reads(frontend.wait_paused("Paused on breakpoint"), "Paused on breakpoint", name="paused")

    # The pin holds: every face the viewer's processes opened is DejaVu.
    faces = {line.split()[-1] for pid in descendants(app.pid)
             for line in read_text(f"/proc/{pid}/maps").splitlines()
             if "/fonts/" in line and line.split()[-1].startswith("/")}
    if not faces or any("/dejavu/" not in face for face in faces):
        fail(f"the viewer rendered with {sorted(faces)}")

    shot = ocr.screenshot(ws, app.window, "window")
    if ocr.colours(ws, shot) <= 50:
        fail(f"the window is nearly blank ({ocr.colours(ws, shot)} colours)")
    app.close()
