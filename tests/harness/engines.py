"""Script engines with their inspector on a free loopback port: Debian's
node, and the engines pinned in tests/engines (installed by
scripts/setup.sh)."""
import json
import re
import shutil
import socket
import time
import urllib.request

from .core import REPO, fail, line_count, read_text, wait_until

ENGINES_DIR = REPO / "tests" / "engines"
ENGINE_MODULES = ENGINES_DIR / "node_modules"

_BINARIES = {
    "node22": "node22/bin/node",
    "node24": "node24/bin/node",
    "node26": "node26/bin/node",
    "deno": "@deno/linux-x64-glibc/deno",
    "workerd": "@cloudflare/workerd-linux-64/bin/workerd",
    "tsc": ".bin/tsc",
}


def engine_binary(name):
    """The path of a pinned engine or tool; "node" is Debian's."""
    if name == "node":
        return shutil.which("node") or fail("node is not installed")
    path = ENGINE_MODULES / _BINARIES[name]
    if not path.exists():
        fail(f"{name} is not installed at {path} (run scripts/setup.sh)")
    return path


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def fetch_json(address, path="/json"):
    with urllib.request.urlopen(f"http://{address}{path}", timeout=10) as reply:
        return json.load(reply)


def ws_target(address):
    """Element 0's webSocketDebuggerUrl at ADDRESS, without "ws://"."""
    url = fetch_json(address)[0]["webSocketDebuggerUrl"]
    return re.sub(r"^wss?://", "", url)


class Engine:
    """A running engine: its process, the inspector's address, and its
    output in files (stdout, stderr)."""

    def __init__(self, ws, process, host, port, out, err, attach_message=None):
        self.ws, self.process, self.host, self.port = ws, process, host, port
        self.out, self.err = out, err
        # What the engine prints when a debugger attaches, if anything.
        self.attach_message = attach_message

    @property
    def address(self):
        return f"{self.host}:{self.port}"

    def stderr(self):
        return read_text(self.err)

    def stdout(self):
        return read_text(self.out)

    def output_lines(self):
        return line_count(self.out)

    def wait_for_stderr(self, text, seconds, what=None):
        wait_until(lambda: text in self.stderr(), seconds,
                   lambda: f"{what or repr(text)} not in the engine's stderr within {seconds} s:"
                           f" {self.stderr()[-2000:]}")

    def wait_for_output(self, more, seconds, since=None):
        """Waits for MORE lines of stdout beyond SINCE (default: now)."""
        base = self.output_lines() if since is None else since
        wait_until(lambda: self.output_lines() >= base + more, seconds,
                   lambda: f"the script wrote {self.output_lines() - base} of {more} lines in"
                           f" {seconds} s; stderr: {self.stderr()[-1000:]}")

    def output_stalls(self, seconds):
        """True if the script writes nothing for SECONDS: it is paused."""
        before = self.output_lines()
        time.sleep(seconds)
        return self.output_lines() == before

    def wait_paused(self, quiet=3, seconds=30):
        """Waits until stdout stops growing for QUIET seconds."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if self.output_stalls(quiet):
                return
        fail(f"the script did not stop within {seconds} s")

    def alive(self):
        return self.process.poll() is None

    def attached(self):
        """Whether some socket holds an established TCP connection to the
        inspector's port (the frontend's WebSocket)."""
        port = f":{self.port:04X}"
        for table in ("/proc/net/tcp", "/proc/net/tcp6"):
            for line in read_text(table).splitlines()[1:]:
                cols = line.split()
                if cols[3] == "01" and cols[1].endswith(port):
                    return True
        return False


_LISTENING = re.compile(r"Debugger listening on ws://(\[[^\]]+\]|[^:/ ]+):(\d+)/")


def start_engine(ws, args, name="engine", cwd=None, env=None, attach_message=None):
    """Starts a V8 engine (node, Deno) whose ARGS ask for its inspector on
    port 0, and reads the port from the line it prints on stderr."""
    out, err = ws.path(f"{name}.out"), ws.path(f"{name}.err")
    process = ws.spawn(args, stdout=out, stderr=err, cwd=cwd, env=env)

    def listening():
        if process.poll() is not None:
            fail(f"{args[0]} ended: {read_text(err)}")
        return _LISTENING.search(read_text(err))
    match = wait_until(listening, 20, lambda: f"no listening line from {args}: {read_text(err)}")
    host = match.group(1)
    return Engine(ws, process, host, int(match.group(2)), out, err, attach_message)


def start_node(ws, script, node="node", flags=("--inspect=127.0.0.1:0",), name="node", env=None,
               cwd=None):
    """node (Debian's, or a pinned one) with its inspector on a free port."""
    return start_engine(ws, [engine_binary(node), *flags, script], name=name, env=env, cwd=cwd,
                        attach_message="Debugger attached.")


def start_workerd(ws, config_dir):
    """workerd names no inspector port on its own, so it gets a free one; a
    poller sends its HTTP socket a request every 200 ms and writes each answer
    to the engine's stdout, as a script's output."""
    port = free_port()
    err = ws.path("workerd.err")
    process = ws.spawn([engine_binary("workerd"), "serve", "worker.capnp", "--verbose",
                        f"--inspector-addr=127.0.0.1:{port}"],
                       stdout=ws.path("workerd.out"), stderr=err, cwd=config_dir)
    wait_until(lambda: "Inspector is listening" in read_text(err), 20,
               lambda: f"workerd did not start its inspector: {read_text(err)}")
    http = wait_until(lambda: re.search(r"Listening on (http://127\.0\.0\.1:\d+)", read_text(err)),
                      20, lambda: f"workerd did not open its HTTP socket: {read_text(err)}")
    out = ws.path("engine.out")
    ws.spawn([engine_binary("node"), ENGINES_DIR / "scripts" / "poll.js", http.group(1) + "/"],
             stdout=out, stderr=ws.path("poll.err"))
    return Engine(ws, process, "127.0.0.1", port, out, err)
