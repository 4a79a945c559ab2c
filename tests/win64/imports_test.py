"""The Windows .exe opens the WebView2 loader at run time, so it does not
import it (Windows would refuse to start it without the DLL), and ships with
the loader beside it.
Usage: imports_test.py OBJDUMP EXE"""
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail  # noqa: E402

OBJDUMP, EXE = sys.argv[1:3]

with Workspace("win64 imports_test"):
    imports = subprocess.run([OBJDUMP, "-p", EXE], capture_output=True, text=True, check=True).stdout
    if "WebView2Loader.dll" in imports:
        fail("the .exe imports WebView2Loader.dll at load time")
    if "LoadLibraryExW" not in imports or "GetProcAddress" not in imports:
        fail("the .exe does not load its libraries at run time")
    if b"no WebView2 support" in pathlib.Path(EXE).read_bytes():
        fail("the .exe still says it has no WebView2 support")
    if not (pathlib.Path(EXE).parent / "WebView2Loader.dll").is_file():
        fail("no WebView2Loader.dll beside the .exe")
