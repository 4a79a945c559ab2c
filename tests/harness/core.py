"""A test's workspace: a scratch directory, a private profile (HOME and the
XDG directories, so the web engine's data of the user or of another test
never leaks in), and the background processes it started."""
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

REPO = pathlib.Path(__file__).resolve().parents[2]


class TestFailure(Exception):
    pass


def fail(message):
    raise TestFailure(message)


def wait_until(check, seconds, what, interval=0.1):
    """Polls CHECK until it returns something true, which it returns; fails
    after SECONDS with WHAT, which may be a callable giving the report."""
    deadline = time.monotonic() + seconds
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() >= deadline:
            fail(what() if callable(what) else f"{what} (waited {seconds} s)")
        time.sleep(interval)


class Workspace:
    """`with Workspace() as ws:` runs a test; on leaving, every process it
    started is stopped and the directory removed. A TestFailure becomes
    "FAIL: ..." on stderr and status 1."""

    def __init__(self, name=None, report=True):
        self.name = name or pathlib.Path(sys.argv[0]).stem
        # A bench prints its own results, not "all passed".
        self.report = report
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="vorbek-test-"))
        self.processes = []
        self.cleanups = []
        # Evidence kept when a check fails: each hook gets a path prefix.
        self.failure_hooks = []
        home = self.dir / "home"
        self.env = dict(os.environ)
        self.env.update(
            HOME=str(home),
            XDG_CONFIG_HOME=str(home / ".config"),
            XDG_DATA_HOME=str(home / ".local/share"),
            XDG_CACHE_HOME=str(home / ".cache"),
            XDG_RUNTIME_DIR=str(self.dir / "runtime"),
        )
        for key in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
            pathlib.Path(self.env[key]).mkdir(parents=True)
        (self.dir / "runtime").mkdir(mode=0o700)
        # Tests start from what the user would start from.
        self.env.pop("VORBEK_INSPECTOR_FRONTEND", None)
        self.env.pop("WAYLAND_DISPLAY", None)

    @property
    def home(self):
        return pathlib.Path(self.env["HOME"])

    def path(self, name):
        return self.dir / name

    def spawn(self, args, stdout=None, stderr=None, env=None, cwd=None):
        """Starts ARGS in the background with its output in the files named
        STDOUT and STDERR (paths, appended to); stopped when the test ends."""
        out = open(stdout, "ab") if stdout else subprocess.DEVNULL
        err = open(stderr, "ab") if stderr else subprocess.DEVNULL
        process = subprocess.Popen([str(a) for a in args], stdout=out, stderr=err,
                                   stdin=subprocess.DEVNULL, env=env or self.env, cwd=cwd,
                                   start_new_session=True)
        self.processes.append(process)
        return process

    def at_exit(self, action):
        self.cleanups.append(action)

    def __enter__(self):
        return self

    def keep_evidence(self):
        """On a failure, what the hooks capture goes to VORBEK_TEST_RESULTS."""
        results = os.environ.get("VORBEK_TEST_RESULTS")
        if not results:
            return
        folder = pathlib.Path(results)
        folder.mkdir(parents=True, exist_ok=True)
        for number, hook in enumerate(self.failure_hooks):
            try:
                hook(folder / f"{self.name.replace(' ', '-')}-{number}")
            except Exception:  # noqa: BLE001 - evidence is best effort
                pass

    def __exit__(self, kind, error, trace):
        if kind is not None:
            self.keep_evidence()
        for action in reversed(self.cleanups):
            try:
                action()
            except Exception:  # noqa: BLE001 - cleanup goes on whatever failed
                pass
        for process in reversed(self.processes):
            stop_process(process)
        keep = os.environ.get("VORBEK_KEEP_WORKSPACE")
        if keep:
            print(f"{self.name}: workspace kept in {self.dir}", file=sys.stderr)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)
        if kind is None:
            if self.report:
                print(f"{self.name}: all passed")
            return False
        if issubclass(kind, TestFailure):
            print(f"FAIL: {self.name}: {error}", file=sys.stderr)
            sys.exit(1)
        return False


def stop_process(process, grace=3):
    """SIGTERM to the process group, SIGKILL after GRACE seconds."""
    if process.poll() is not None:
        return
    try:
        os.killpg(process.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()


def descendants(pid):
    """PID and every process under it."""
    parents = {}
    for entry in pathlib.Path("/proc").iterdir():
        if entry.name.isdigit():
            stat = read_text(entry / "stat")
            if stat:
                parents[int(entry.name)] = int(stat.rpartition(")")[2].split()[1])
    found = [pid]
    for candidate in parents:
        ancestor = parents.get(candidate)
        while ancestor:
            if ancestor == pid:
                found.append(candidate)
                break
            ancestor = parents.get(ancestor)
    return found


def tree_memory_kb(pid):
    """{"Rss", "Pss"} in kB, summed over PID and every process under it."""
    total = {"Rss": 0, "Pss": 0}
    for each in descendants(pid):
        for line in read_text(f"/proc/{each}/smaps_rollup").splitlines():
            key, _, value = line.partition(":")
            if key in total:
                total[key] += int(value.split()[0])
    return total


def process_ended(pid):
    """Whether PID has ended: gone, or a zombie its parent has not reaped."""
    stat = read_text(f"/proc/{pid}/stat")
    return not stat or stat.rpartition(")")[2].split()[0] == "Z"


def read_text(path):
    try:
        return pathlib.Path(path).read_text(errors="replace")
    except FileNotFoundError:
        return ""


def line_count(path):
    return read_text(path).count("\n")
