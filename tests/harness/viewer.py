"""The viewers a test drives: the program, which WebKit's WebDriver starts
and attaches to, and Chromium's app mode on the same frontend files over
loopback HTTP (VIEWER=chromium), to tell our faults from the frontend's.
Both hand the test a Page on the frontend and the X window it is shown in."""
import os
import pathlib
import re
import shlex
import subprocess
import threading
import time

from selenium.webdriver.chrome.options import Options as ChromeOptions
from selenium.webdriver.chrome.service import Service as ChromeService
from selenium.webdriver.remote.webdriver import WebDriver as RemoteWebDriver
from selenium.webdriver.webkitgtk.service import Service as WebKitService

from . import display
from .core import REPO, fail, process_ended, read_text, wait_until
from .engines import ws_target
from .page import Page

FRONTEND_DIR = REPO / "frontend" / "node_modules" / "chii" / "public" / "front_end"
WEBKIT_DRIVER = "/usr/bin/WebKitWebDriver"
CHROMEDRIVER = "/usr/bin/chromedriver"


def expected_diagnostics(target, frontend=None):
    """The three lines the program prints for TARGET, the frontend's URL
    being FRONTEND (with an override in force) or the embedded one. The
    third line is the same either way."""
    url = frontend or f"http://devtools.localhost/js_app.html?ws={target}&experiments=true&v8only=true"
    return (f"vorbek_inspector: ws target  = {target}\n"
            f"vorbek_inspector: devtools   = {url}\n"
            "vorbek_inspector: (frontend is embedded; override with VORBEK_INSPECTOR_FRONTEND)\n")


def run_program(ws, program, *args, env=None, timeout=30):
    """Runs the program to its end; (status, stdout, stderr)."""
    result = subprocess.run([str(pathlib.Path(program).resolve()), *map(str, args)], env=env or ws.env,
                            capture_output=True, timeout=timeout, cwd="/")
    return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(
        errors="replace")


def start_viewer(ws, program, address, env=None, viewer=None):
    """The frontend on the inspector at ADDRESS in the viewer the run asks
    for: the program (default) or VIEWER=chromium. ENV adds to (or, with
    None values, removes from) the program's environment."""
    viewer = viewer or os.environ.get("VIEWER", "vorbek")
    if viewer == "chromium":
        return Chromium(ws, address)
    return Program(ws, program, address, env or {})


class Viewer:
    """What both viewers share: the page, the window and closing it."""
    name = "viewer"
    page = None
    window = None
    pid = None

    def report(self):
        return ""

    def _attach_window(self):
        self.window = display.find_window(self.ws, self.pid, report=self.report)
        self.page.window = self.window
        self.ws.failure_hooks.append(self.keep_evidence)

    def keep_evidence(self, prefix):
        """A screenshot of the window and the page's address, for a failure."""
        subprocess.run(["import", "-window", str(self.window), f"{prefix}.png"], env=self.ws.env,
                       stderr=subprocess.DEVNULL, timeout=20)
        pathlib.Path(f"{prefix}.txt").write_text(f"{self.name}: {self.page.url()}\n")

    def ended(self):
        return process_ended(self.pid)


class Program(Viewer):
    """The program, started by WebKitWebDriver through a wrapper that keeps
    its output, its process id and its exit status in files."""
    name = "vorbek_inspector"
    launches = 0

    def __init__(self, ws, program, address, env):
        self.ws = ws
        Program.launches += 1
        tag = f"app{Program.launches}"
        self.out, self.err = ws.path(f"{tag}.out"), ws.path(f"{tag}.err")
        self.pid_file, self.status_file = ws.path(f"{tag}.pid"), ws.path(f"{tag}.status")
        wrapper = ws.path(f"{tag}.sh")
        settings = "".join(f"unset {k}\n" if v is None else f"export {k}={shlex.quote(str(v))}\n"
                           for k, v in env.items())
        wrapper.write_text(f"""#!/bin/sh
{settings}{shlex.quote(str(pathlib.Path(program).resolve()))} "$@" >{self.out} 2>{self.err} &
child=$!
echo "$child" >{self.pid_file}
trap 'kill -TERM "$child" 2>/dev/null' TERM INT HUP
wait "$child"; status=$?
while kill -0 "$child" 2>/dev/null; do wait "$child"; status=$?; done
echo "$status" >{self.status_file}
""")
        wrapper.chmod(0o755)
        self.driver_log = ws.path(f"{tag}.driver")
        service = WebKitService(WEBKIT_DRIVER, port=0, log_path=str(self.driver_log), env=ws.env)
        service.start()
        ws.at_exit(service.stop)
        capabilities = {
            "browserName": "vorbek_inspector",
            "webkitgtk:browserOptions": {"binary": str(wrapper), "args": [address]},
        }
        driver = self._new_session(service, capabilities)
        self.pid = int(self.pid_file.read_text())
        self.page = Page(ws, driver)
        self._attach_window()

    def _new_session(self, service, capabilities):
        """The driver waits for the program's web view; a program that ends
        first (a failure report) must end the wait too."""
        outcome = {}

        def connect():
            try:
                outcome["driver"] = RemoteWebDriver(command_executor=service.service_url,
                                                    desired_capabilities=capabilities)
            except Exception as error:  # noqa: BLE001 - reported below
                outcome["error"] = error
        thread = threading.Thread(target=connect, daemon=True)
        thread.start()
        deadline = time.monotonic() + 90
        while thread.is_alive() and time.monotonic() < deadline:
            if self.status_file.exists():
                fail(f"the program ended with status {self.status_file.read_text().strip()} "
                     f"before its window: {read_text(self.err)}")
            thread.join(0.1)
        if "driver" not in outcome:
            fail(self._start_report(outcome))
        return outcome["driver"]

    def _start_report(self, outcome):
        """What a start that never became a session left to see: a hang in
        the program shows as a window never made and its main thread's wait."""
        pid = read_text(self.pid_file).strip()
        windows = display.xdotool(self.ws, "search", "--pid", pid, check=False).split() if pid else []
        return (f"no WebDriver session on the program: {outcome.get('error', 'timed out')};"
                f" its windows: {windows}; its main thread waits in"
                f" {read_text(f'/proc/{pid}/wchan') if pid else '?'!r};"
                f" its stdout: {read_text(self.out)!r}; its stderr: {read_text(self.err)!r};"
                f" the driver's log ends: {read_text(self.driver_log)[-2000:]!r}")

    def report(self):
        return f"; program stderr: {read_text(self.err)}"

    def stdout(self):
        return read_text(self.out)

    def stderr(self):
        return read_text(self.err)

    def status(self):
        """The exit status once the program has ended, else None."""
        text = read_text(self.status_file).strip()
        return int(text) if text else None

    def wait_exit(self, seconds):
        return wait_until(lambda: self.status() is not None, seconds,
                          f"the program still runs {seconds} s later") is not None and self.status()

    def close(self, seconds=5):
        """Closes the window as a window manager does; fails unless the
        program then ends with status 0 within SECONDS."""
        display.send_wm_delete(self.ws, self.window)
        wait_until(lambda: self.status() is not None, seconds,
                   f"still running {seconds} s after WM_DELETE_WINDOW")
        if self.status() != 0:
            fail(f"status {self.status()} after close: {self.stderr()}")


class Chromium(Viewer):
    """Chromium's app mode on the frontend files served over loopback HTTP,
    attached through chromedriver."""
    name = "chromium"

    def __init__(self, ws, address):
        self.ws = ws
        port = serve_directory(ws, FRONTEND_DIR)
        url = (f"http://127.0.0.1:{port}/js_app.html?ws={ws_target(address)}"
               "&experiments=true&v8only=true")
        options = ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        # root cannot run its sandbox here; --test-type keeps the warning bar away.
        for arg in ("--no-sandbox", "--test-type", "--no-first-run", "--no-default-browser-check",
                    f"--user-data-dir={ws.path('chromium')}", "--window-size=800,600",
                    "--window-position=0,0", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", f"--app={url}"):
            options.add_argument(arg)
        self.service = ChromeService(CHROMEDRIVER, port=0, log_path=str(ws.path("chromedriver.log")),
                                     env=ws.env)
        self.service.start()
        ws.at_exit(self.service.stop)
        driver = RemoteWebDriver(command_executor=self.service.service_url, options=options)
        self.pid = wait_until(lambda: child_named(self.service.process.pid, "chromium"), 30,
                              "no chromium process under chromedriver")
        self.page = Page(ws, driver)
        self._attach_window()

    def stdout(self):
        return ""

    def stderr(self):
        return ""

    def status(self):
        return 0 if self.ended() else None

    def close(self, seconds=10):
        display.send_wm_delete(self.ws, self.window)
        wait_until(self.ended, seconds, f"chromium still runs {seconds} s after WM_DELETE_WINDOW")


def child_named(parent, name):
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        stat = read_text(entry / "stat")
        match = re.match(r"\d+ \((.*)\) \S (\d+)", stat)
        if match and int(match.group(2)) == parent and match.group(1) == name:
            return int(entry.name)
    return None


def serve_directory(ws, directory):
    """Serves DIRECTORY over loopback HTTP; returns the port."""
    log = ws.path("http.log")
    ws.spawn(["/usr/bin/python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1"],
             stdout=log, stderr=ws.path("http.err"), cwd=directory)
    match = wait_until(lambda: re.search(r"port (\d+)", read_text(log)), 10,
                       f"the HTTP server for {directory} did not start")
    return int(match.group(1))
