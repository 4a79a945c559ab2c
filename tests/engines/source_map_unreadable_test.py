"""A tsc map whose original is gone: Sources lists the .ts, and opening it
shows the failed load with the reason the program gave (the file is
missing), not empty text. The reason comes from the program's file loader,
so this runs in the program whatever VIEWER says."""
import pathlib
import shutil
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import (Frontend, Workspace, engine_binary, fail, start_engine,  # noqa: E402
                     start_viewer, start_xvfb)
from harness.engines import ENGINES_DIR  # noqa: E402

PROGRAM = sys.argv[1]

with Workspace() as ws:
    shutil.copy(ENGINES_DIR / "scripts" / "tick.ts", ws.dir)
    if subprocess.run([str(engine_binary("tsc")), "--sourceMap", "tick.ts"], cwd=ws.dir).returncode:
        fail("tsc --sourceMap")
    original = ws.dir / "tick.ts"
    original.unlink()
    engine = start_engine(ws, [engine_binary("node26"), "--enable-source-maps",
                               "--inspect=127.0.0.1:0", ws.dir / "tick.js"],
                          attach_message="Debugger attached.")
    engine.wait_for_output(2, 60, since=0)

    start_xvfb(ws)
    app = start_viewer(ws, PROGRAM, engine.address, viewer="vorbek")
    frontend = Frontend(app)
    frontend.wait_attached(engine)
    page = app.page
    # The map names tick.ts, so Sources lists it although it cannot be read.
    frontend.open_file("tick.ts")
    shown = page.wait_for(".cm-line", "Could not load content", seconds=30)["text"]
    expected = (f"Could not load content for file://{original}"
                f" (cannot read {original}: No such file or directory")
    if not shown.startswith(expected):
        fail(f"the editor shows {shown!r}, not the reason {expected!r}...")
    if not engine.alive():
        fail("the engine ended")

    app.close()
