"""The Windows .exe imports the WebView2 loader, which ships beside it, and
no longer carries the web-view-less build's text.
Usage: imports_test.py OBJDUMP EXE"""
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail  # noqa: E402

OBJDUMP, EXE = sys.argv[1:3]

with Workspace("win64 imports_test"):
    imports = subprocess.run([OBJDUMP, "-p", EXE], capture_output=True, text=True, check=True).stdout
    if "DLL Name: WebView2Loader.dll" not in imports:
        fail("no WebView2Loader.dll import")
    if "CreateCoreWebView2EnvironmentWithOptions" not in imports:
        fail("the loader's entry point is not imported")
    if b"no WebView2 support" in pathlib.Path(EXE).read_bytes():
        fail("the .exe still says it has no WebView2 support")
    if not (pathlib.Path(EXE).parent / "WebView2Loader.dll").is_file():
        fail("no WebView2Loader.dll beside the .exe")
