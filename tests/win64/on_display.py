"""Runs a Windows program under Wine on a private display, for tests that
need real windows; its status is the program's.
Usage: on_display.py WINE EXE [ARGS...]; WINEPREFIX comes from the fixture."""
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace  # noqa: E402
from harness.wine import Wine  # noqa: E402

status = 1
with Workspace("win64 on_display") as ws:
    wine = Wine(ws, sys.argv[1])
    wine.use_display()
    status = subprocess.run([sys.argv[1], *sys.argv[2:]], env=ws.env, timeout=120).returncode
sys.exit(status)
