"""Profiling a live node: a CPU profile recorded for a few seconds and its
summary, a heap snapshot (parsed by the frontend in a web worker) and its
summary, and both saved without a prompt into the test's own download
directory, never replacing a file already there; the program says on
stderr where each went."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail, wait_until  # noqa: E402
from harness.frontend import start_window_session  # noqa: E402
from harness.viewer import Chromium  # noqa: E402

PROGRAM = sys.argv[1]
SAVE = '[aria-label="Save profile…"]'

with Workspace() as ws:
    downloads = ws.home / "Downloads"

    def saved(pattern):
        # A download is written under a temporary name first.
        return sorted((p for p in downloads.glob(pattern) if p.stat().st_size > 0),
                      key=lambda p: p.stat().st_mtime)

    def wait_for_download(pattern, count):
        """Waits for more than COUNT files matching PATTERN; the newest."""
        return wait_until(lambda: len(saved(pattern)) > count and saved(pattern)[-1], 20,
                          lambda: f"nothing saved as {downloads}/{pattern}:"
                                  f" {sorted(p.name for p in ws.home.rglob('*'))}")

    node, app, frontend = start_window_session(ws, PROGRAM, "workflow.js")
    page = app.page

    frontend.open_panel("Performance")
    page.wait_for("*", "Click the record button")
    page.focus()
    page.key("ctrl+e")
    page.wait_for("*", "Profiling")
    # A few seconds of the script's work: ten of its 300 ms ticks.
    node.wait_for_output(10, 60)
    page.key("ctrl+e")
    for heading in ("Summary", "Scripting", "Total"):
        page.wait_for("*", heading, 60)

    page.click(SAVE)
    first = wait_for_download("*.cpuprofile", 0)
    if '"nodes"' not in first.read_text():
        fail(f"{first} is not a CPU profile")
    # Saving again keeps the first file as it is.
    first.write_text("keep-me")
    page.click(SAVE)
    second = wait_for_download("*.cpuprofile", 1)
    if first.read_text() != "keep-me":
        fail(f"saving again replaced {first}")
    if '"nodes"' not in second.read_text():
        fail(f"{second} is not a CPU profile")

    frontend.open_panel("Memory")
    page.click('[aria-label="Take heap snapshot"]')
    page.wait_for("*", "Snapshot 1", 90)
    page.wait_for("*", "Constructor", 60)
    page.wait_for("*", "(closure)", 30)
    page.click(SAVE)
    snapshot = wait_for_download("*.heapsnapshot", 0)
    if '"snapshot"' not in snapshot.read_text():
        fail(f"{snapshot} is not a heap snapshot")
    if any(p.is_file() for p in ws.home.iterdir()):
        fail(f"files saved outside the download directory: {list(ws.home.iterdir())}")
    # Chromium shows its own download bar instead.
    for path in (first, second, snapshot) if not isinstance(app, Chromium) else ():
        wait_until(lambda: f"vorbek_inspector: saved {path}\n" in app.stderr(), 20,
                   lambda: f"the program does not say where {path.name} went: {app.stderr()!r}")

    app.close()
