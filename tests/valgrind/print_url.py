"""The --print-url paths under valgrind's memcheck: a success against a live
node inspector and a failure after discovery's deadline. Any memcheck error
or definite leak fails.
  /usr/bin/python3 tests/valgrind/print_url.py path/to/vorbek_inspector"""
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import REPO, Workspace, fail, free_port, start_node, ws_target  # noqa: E402
from harness.core import read_text  # noqa: E402

PROGRAM = str(pathlib.Path(sys.argv[1]).resolve())

with Workspace("valgrind print_url") as ws:
    def memcheck(*args, error_exit):
        """(status, stdout, stderr) of the program under memcheck, whose own
        report goes to a file, so stderr is the program's alone."""
        log = ws.path("valgrind")
        result = subprocess.run(
            ["valgrind", "-q", f"--error-exitcode={error_exit}", "--leak-check=full",
             "--errors-for-leak-kinds=definite", "--show-leak-kinds=definite",
             f"--log-file={log}", PROGRAM, *args],
            env=ws.env, capture_output=True, text=True, timeout=120)
        if read_text(log):
            fail(f"memcheck on {args}: {read_text(log)}")
        return result.returncode, result.stdout, result.stderr

    node = start_node(ws, REPO / "demo" / "demo.js")
    target = ws_target(node.address)
    status, out, err = memcheck("--print-url", node.address, error_exit=1)
    if status != 0 or f"vorbek_inspector: ws target  = {target}\n" not in out:
        fail(f"success path: status {status}: {out!r} {err!r}")

    # The program's own failure status is 1, so memcheck's must differ here.
    port = free_port()
    status, out, err = memcheck("--print-url", f"127.0.0.1:{port}", error_exit=99)
    if status != 1 or out or not err.startswith(
            f"Error: failed to read inspector targets from http://127.0.0.1:{port}/json\n"):
        fail(f"failure path: status {status}: {out!r} {err!r}")
