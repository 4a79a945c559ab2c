"""Runs the window tests that honour VIEWER in our window and in Chromium's
app mode on the same frontend files, and prints which pass where. A test
that passes in Chromium and fails in ours is our fault; one that fails in
both is the frontend's (or the test's).

Not part of the suite: it needs Debian's chromium and chromium-driver,
which scripts/setup.sh leaves out on purpose.

Usage: /usr/bin/python3 tests/e2e/compare_chromium.py [path/to/vorbek_inspector] [test ...]
(a test by its file's name without "_test.py", e.g. workflow_debug)."""
import os
import pathlib
import shutil
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
REPO = HERE.parents[1]
TESTS = ["workflow_console", "workflow_debug", "workflow_profile",
         "compat_tree_click", "compat_popover", "compat_copy_object", "compat_style"]
VIEWERS = {"ours": "vorbek", "chromium": "chromium"}


def main():
    args = sys.argv[1:]
    program = REPO / "build" / "inspector" / "vorbek_inspector"
    if args and (os.sep in args[0] or pathlib.Path(args[0]).is_file()):
        program = pathlib.Path(args.pop(0))
    tests = args or TESTS
    missing = [tool for tool in ("/usr/bin/chromium", "/usr/bin/chromedriver")
               if not shutil.which(tool)]
    if missing:
        sys.exit(f"needs {' and '.join(missing)} (apt-get install chromium chromium-driver)")
    if not program.exists():
        sys.exit(f"no program at {program} (build it, or name it first)")

    print(f"{'test':<24} {'ours':<10} {'chromium':<10}", flush=True)
    failed = False
    for test in tests:
        row = []
        for viewer in VIEWERS.values():
            env = dict(os.environ, VIEWER=viewer, PYTHONDONTWRITEBYTECODE="1")
            try:
                script = HERE / f"{test}_test.py"
                result = subprocess.run([sys.executable, str(script), str(program)], env=env,
                                        capture_output=True, text=True, timeout=300)
                passed, log = result.returncode == 0, result.stdout + result.stderr
            except subprocess.TimeoutExpired as timeout:
                passed, log = False, f"timed out after 300 s\n{timeout.stderr or ''}"
            row.append("pass" if passed else "FAIL")
            if not passed:
                failed = True
                sys.stderr.write("".join(f"    {line}\n" for line in str(log).splitlines()))
        print(f"{test:<24} {row[0]:<10} {row[1]:<10}", flush=True)
    return 1 if failed else 0


sys.exit(main())
