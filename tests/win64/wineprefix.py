"""The tests' private Wine prefix: `create DIR WINE WINESERVER` boots it once
(the slow part), `remove ...` stops its wineserver and deletes it."""
import os
import pathlib
import shutil
import subprocess
import sys

action, prefix, wine, wineserver = sys.argv[1:5]
env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
if action == "create":
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run([wine, "wineboot", "--init"], env=env, check=True)
    subprocess.run([wineserver, "-w"], env=env, check=True)
    if not (pathlib.Path(prefix) / "drive_c" / "windows").is_dir():
        sys.exit(f"wineboot made no prefix in {prefix}")
elif action == "remove" and pathlib.Path(prefix).is_dir():
    subprocess.run([wineserver, "-k"], env=env, stderr=subprocess.DEVNULL)
    shutil.rmtree(prefix)
