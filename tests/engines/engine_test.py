"""One case of the engine matrix: engine_test.py CASE PROGRAM.

Starts the case's engine with its inspector on a free loopback port and runs
the same checks on each: --print-url against the engine's own /json, the
window attaching, a breakpoint set in the window pausing the script (for
--inspect-brk: paused before its first line, then resumed), and closing the
window giving status 0. With VORBEK_ENGINE_RESULTS set, each check's result
goes to CASE.tsv there (table.py prints them as a table)."""
import os
import pathlib
import shutil
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import (Frontend, Workspace, engine_binary, expected_diagnostics, fail,  # noqa: E402
                     run_program, start_engine, start_viewer, start_xvfb, ws_target)
from harness.engines import ENGINE_MODULES, ENGINES_DIR, start_workerd  # noqa: E402

CASE, PROGRAM = sys.argv[1], sys.argv[2]
RESULTS = os.environ.get("VORBEK_ENGINE_RESULTS")
NODE_CASES = {"node22", "node24", "node26"}


def engine_name():
    return CASE if CASE in NODE_CASES | {"deno", "workerd"} else "node26"


def engine_label():
    name = engine_name()
    version = subprocess.run([str(engine_binary(name)), "--version"], capture_output=True,
                             text=True).stdout.split("\n")[0]
    version = version.split()[1] if name in ("deno", "workerd") else version.lstrip("v")
    return f"{name} {version}"


class Checks:
    """Each check's result is recorded against its name."""

    def __init__(self):
        self.label = engine_label()
        if RESULTS:
            pathlib.Path(RESULTS).mkdir(parents=True, exist_ok=True)
            self.file = pathlib.Path(RESULTS) / f"{CASE}.tsv"
            self.file.unlink(missing_ok=True)

    def record(self, check, result):
        print(f"check {CASE}: {check}: {result}")
        if RESULTS:
            with self.file.open("a") as out:
                out.write(f"{CASE}\t{self.label}\t{check}\t{result}\n")

    def run(self, check, action):
        try:
            action()
        except BaseException:
            self.record(check, "fail")
            raise
        self.record(check, "pass")


def start_case_engine(ws):
    """The case's engine on its script; returns (engine, file to open, line)."""
    work = ws.dir
    for name in ("tick.js", "tick.ts"):
        shutil.copy(ENGINES_DIR / "scripts" / name, work)
    # `--import tsx` resolves from the script's directory, as in a project.
    (work / "node_modules").symlink_to(ENGINE_MODULES)

    def tsc(*flags):
        if subprocess.run([str(engine_binary("tsc")), *flags, "tick.ts"], cwd=work).returncode:
            fail(f"tsc {' '.join(flags)}")

    node = [str(engine_binary(engine_name()))] if CASE not in ("deno", "workerd") else []
    script, source, line, flags = work / "tick.js", "tick.js", 6, ["--inspect=127.0.0.1:0"]
    if CASE == "deno":
        return start_engine(ws, [engine_binary("deno"), "run", "--inspect=127.0.0.1:0", script]), \
            source, line
    if CASE == "workerd":
        shutil.copy(ENGINES_DIR / "scripts" / "worker.js", work)
        shutil.copy(ENGINES_DIR / "scripts" / "worker.capnp", work)
        return start_workerd(ws, work), "worker.js", 6
    if CASE == "tsx":
        # By path: node resolves a bare --import from the working directory.
        flags += ["--import", f"file://{ENGINE_MODULES}/tsx/dist/loader.mjs"]
        script, source, line = work / "tick.ts", "tick.ts", 10
    elif CASE in ("tsc-inline", "tsc-external"):
        tsc("--inlineSourceMap" if CASE == "tsc-inline" else "--sourceMap")
        flags = ["--enable-source-maps", *flags]
        source, line = "tick.ts", 10
    elif CASE == "inspect-brk":
        flags = ["--inspect-brk=127.0.0.1:0"]
    elif CASE == "ipv6":
        flags = ["--inspect=[::1]:0"]
    elif CASE == "localhost":
        flags = ["--inspect=localhost:0"]
    elif CASE not in NODE_CASES:
        fail(f"unknown case {CASE}")
    engine = start_engine(ws, [*node, *flags, script], attach_message="Debugger attached.")
    return engine, source, line


def main():
    checks = Checks()
    with Workspace(f"engine_test {CASE}") as ws:
        engine, source, line = start_case_engine(ws)
        if CASE != "inspect-brk":
            engine.wait_for_output(2, 60, since=0)
        target = None

        def print_url():
            nonlocal target
            target = ws_target(engine.address)
            status, out, err = run_program(ws, PROGRAM, "--print-url", engine.address)
            if status != 0 or err:
                fail(f"--print-url: status {status}: {err}")
            if out != expected_diagnostics(target):
                fail(f"--print-url lines differ: {out!r}")
        checks.run("print-url", print_url)

        start_xvfb(ws)
        viewer = None
        frontend = None

        def attach():
            nonlocal viewer, frontend
            viewer = start_viewer(ws, PROGRAM, engine.address)
            frontend = Frontend(viewer)
            frontend.wait_attached(engine)
        checks.run("attach", attach)

        if CASE == "inspect-brk":
            def paused_at_start():
                # The frontend shows the script stopped before its first line.
                frontend.open_panel("Sources")
                frontend.wait_paused("Debugger paused", 60)
                if engine.output_lines():
                    fail("the script ran before it was resumed")
            checks.run("paused-at-start", paused_at_start)

            def resume():
                frontend.page.focus()
                frontend.page.key("F8")
                engine.wait_for_output(2, 30, since=0)
            checks.run("resume", resume)
        else:
            def breakpoint():
                engine.wait_for_output(2, 20)
                frontend.open_file(source)
                frontend.click_gutter_line(line)
                frontend.wait_paused("Paused on breakpoint", 60)
                engine.wait_paused()
                if not engine.alive():
                    fail("the engine ended")
            checks.run("breakpoint", breakpoint)

        def close():
            viewer.close()
            if viewer.name == "vorbek_inspector" and viewer.stdout() != expected_diagnostics(target):
                fail(f"stdout is not exactly the three lines: {viewer.stdout()!r}")
        checks.run("close", close)


main()
