"""The npm packages (scripts/package_npm.sh) as a Node developer gets them:
installed offline into an empty project with a fresh HOME and npm cache,
then run through npx: --print-url against a live node, the window attaching
and closed, a failure's report and status, a signal passed to the program,
and the one line when the platform's package is missing. Also what the
tarballs carry: one version, the licences, and the glibc and libstdc++ the
Linux program needs, as its README states them.
Usage: npm_packages_test.py PACKAGES_DIR (build-npm/); skipped without packages."""
import pathlib
import re
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import (REPO, Workspace, expected_diagnostics, fail, free_port, start_node,  # noqa: E402
                     start_xvfb, wait_until, ws_target)
from harness.core import process_ended, read_text, descendants  # noqa: E402
from harness.display import send_wm_delete, xdotool  # noqa: E402
from harness.npm import install_offline, npm_env, packages, tarball_files  # noqa: E402

found = packages(sys.argv[1])
launcher_name = next(name for name, (_, m) in found.items() if "bin" in m)
tarball, launcher = found[launcher_name]
platforms = {name: m for name, (_, m) in found.items() if name != launcher_name}
linux = next(name for name, m in platforms.items() if m["os"] == ["linux"])


def newest(versions):
    return max(versions, key=lambda v: tuple(map(int, v.split("."))))


with Workspace() as ws:
    # One version, and the launcher pins each platform package to it.
    if launcher["optionalDependencies"] != {name: launcher["version"] for name in platforms}:
        fail(f"optionalDependencies {launcher['optionalDependencies']}, packages "
             f"{ {n: m['version'] for n, m in platforms.items()} }")
    # Licences: the launcher's own; a platform package's copyright file and
    # exactly the LICENSE files it names.
    for name, (path, _) in found.items():
        files = tarball_files(path)
        notices = [f for f in files if f.startswith("LICENSE")]
        named = b"".join(data for f, data in files.items() if f.startswith("copyright"))
        cited = {n.decode() for n in re.findall(rb"LICENSE\.[\w-]+(?:\.txt)?", named)}
        if not notices or name != launcher_name and cited != set(notices):
            fail(f"{name}'s licences: {sorted(files)}")

    # All three installed offline; as optional dependencies, so that npm
    # leaves out the other platform's package as the launcher has it do.
    project = install_offline(ws, [path for path, _ in found.values()], "--save-optional")
    installed = {p.parent.name + "/" + p.name for p in (project / "node_modules").glob("@*/*")}
    if installed != {linux}:
        fail(f"installed platform packages: {installed}")

    # The floor the Linux package's README states is the one its program needs.
    folder = project / "node_modules" / linux
    symbols = subprocess.run(["objdump", "-T", folder / "bin" / "vorbek_inspector"],
                             capture_output=True, text=True).stdout
    needed = [newest(re.findall(rf"\({lib}_([0-9.]+)\)", symbols)) for lib in ("GLIBC", "GLIBCXX")]
    stated = re.findall(r"glibc ([0-9.]+) or newer|GLIBCXX_([0-9.]+)", (folder / "README.md").read_text())
    if [next(filter(None, s)) for s in stated] != needed:
        fail(f"the program needs glibc {needed[0]} and GLIBCXX_{needed[1]}; its README says {stated}")
    env = npm_env(ws)

    def npx(*args, timeout=30):
        result = subprocess.run(["npx", launcher_name, *args], cwd=project, env=env,
                                capture_output=True, text=True, timeout=timeout)
        return result.returncode, result.stdout, result.stderr

    node = start_node(ws, REPO / "demo" / "demo.js")
    lines = expected_diagnostics(ws_target(node.address))
    status, out, err = npx("--print-url", node.address)
    if (status, out, err) != (0, lines, ""):
        fail(f"npx --print-url: status {status}, stdout {out!r}, stderr {err!r}")

    # A failure's report and status, with an argument that a shell would
    # split or expand reaching the program as it was given.
    address = f"127.0.0.1:{free_port()} 'a\"$HOME"
    status, out, err = npx("--print-url", address)
    if status != 1 or out or not err.startswith(
            f"Error: failed to read inspector targets from http://{address}/json\n\nCaused by:\n"):
        fail(f"npx, nothing listening: status {status}, stdout {out!r}, stderr {err!r}")

    # The window attaches to the engine, and closing it ends npx with status 0.
    start_xvfb(ws)
    out_file, err_file = ws.path("npx.out"), ws.path("npx.err")
    # The display and its session bus, in the environment from here on.
    env = npm_env(ws)
    run = ws.spawn(["npx", launcher_name, node.address], stdout=out_file, stderr=err_file, env=env,
                   cwd=project)
    wait_until(lambda: "Debugger attached." in node.stderr(), 60,
               lambda: f"node reports no debugger attached; npx's stderr: {read_text(err_file)}")
    window = wait_until(lambda: xdotool(ws, "search", "--onlyvisible", "--name", "^vorbek — script inspector$",
                                        check=False).split(), 30, "no window")[0]
    send_wm_delete(ws, window)
    try:
        run.wait(15)
    except subprocess.TimeoutExpired:
        fail("npx still runs 15 s after the window was closed")
    if run.returncode != 0 or read_text(out_file) != lines:
        fail(f"window through npx: status {run.returncode}, stdout {read_text(out_file)!r}, "
             f"stderr {read_text(err_file)!r}")

    # A signal to the launcher reaches the program, which it outlives only
    # to end by the same signal (the program alone would end 5 s later
    # with status 1, nothing being there).
    bin_path = project / "node_modules" / ".bin" / launcher_name
    started = subprocess.Popen([bin_path, "--print-url", f"127.0.0.1:{free_port()}"], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    program = wait_until(lambda: [p for p in descendants(started.pid)[1:]
                                  if "vorbek_inspector" in read_text(f"/proc/{p}/cmdline")
                                  and "node" not in read_text(f"/proc/{p}/comm")], 10, "no program")[0]
    started.send_signal(signal.SIGTERM)
    out, err = started.communicate(timeout=10)
    if started.returncode != -signal.SIGTERM or out or err:
        fail(f"SIGTERM: status {started.returncode}, stdout {out!r}, stderr {err!r}")
    if not process_ended(program):
        fail("the program outlived its launcher's SIGTERM")

    # Without the platform's package: one line naming it, status 1.
    shutil.rmtree(project / "node_modules" / linux)
    status, out, err = npx("--print-url", node.address)
    if status != 1 or out or err.count("\n") != 1 or not err.startswith("Error: ") or \
            f"linux-x64" not in err or f"npm install {linux}@{launcher['version']}" not in err:
        fail(f"without {linux}: status {status}, stdout {out!r}, stderr {err!r}")
