"""The Windows installer and .zip under Wine: a silent install puts the .zip's
files under Program Files, the folder on the machine's PATH and the program
in Add/Remove Programs; the installed program runs from a terminal and gives
the window's report without a runtime; a reinstall adds nothing twice; the
uninstaller that entry names, run silently, leaves nothing behind and takes
only its own entry off PATH; and a PATH too long to edit is left whole.
Usage: installer_test.py WINE SETUP ZIP VERSION NODE; WINEPREFIX comes from the fixture."""
import pathlib
import re
import subprocess
import sys
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import REPO, Workspace, expected_diagnostics, fail, start_node, ws_target  # noqa: E402
from harness.wine import Wine  # noqa: E402

WINE, SETUP, ZIP, VERSION, NODE = sys.argv[1:6]
ENV_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\vorbek_inspector"
INSTDIR = r"C:\Program Files\vorbek_inspector"
SHIPPED = {"vorbek_inspector.exe", "WebView2Loader.dll", "copyright.txt", "LICENSE.chii.txt",
           "LICENSE.chromium.txt", "LICENSE.WebView2.txt", "LICENSE.mingw-w64.txt"}


def registry(wine, key):
    """KEY's values as {name in lower case: (type, data)}, None without the key."""
    status, out, _ = wine.run("reg", "query", key)
    if status != 0:
        return None
    found = re.findall(r"(?m)^    (\S.*?)    (REG_\w+)    (.*?)\r?$", out.decode(errors="replace"))
    return {name.lower(): (kind, data) for name, kind, data in found}


def machine_path(wine):
    return registry(wine, ENV_KEY)["path"][1]


def set_machine_path(wine, value):
    status, _, err = wine.run("reg", "add", ENV_KEY, "/v", "PATH", "/t", "REG_EXPAND_SZ",
                              "/d", value, "/f")
    if status != 0:
        fail(f"reg add PATH: {err}")


def install(wine, what):
    status, _, err = wine.run(SETUP, "/S", timeout=120)
    if status != 0:
        fail(f"{what}: setup /S gave status {status}: {err}")


def uninstall(wine, what):
    """Runs the entry's quiet uninstall, which copies itself elsewhere and
    returns at once; the copy's end is the prefix's last process ending."""
    entry = registry(wine, UNINSTALL_KEY)
    command = re.fullmatch(r'"([^"]+)" (/S)', entry["quietuninstallstring"][1])
    if not command:
        fail(f"{what}: QuietUninstallString {entry['quietuninstallstring']}")
    status, _, err = wine.run(*command.groups(), timeout=120)
    if status != 0:
        fail(f"{what}: uninstall gave status {status}: {err}")
    subprocess.run([str(wine.wineserver), "-w"], env=wine.ws.env, timeout=120)


with Workspace("win64 installer_test") as ws:
    wine = Wine(ws, WINE)
    ws.env["PATH"] = f"{pathlib.Path(NODE).parent}:{ws.env['PATH']}"
    drive_c = pathlib.Path(ws.env["WINEPREFIX"]) / "drive_c"
    installed = drive_c / "Program Files" / "vorbek_inspector"
    original_path = machine_path(wine)
    ws.at_exit(lambda: set_machine_path(wine, original_path))

    # The .zip: one folder with the program, its loader and the licences,
    # each licence file named in the copyright file.
    with zipfile.ZipFile(ZIP) as archive:
        zipped = {pathlib.PurePosixPath(n): archive.read(n) for n in archive.namelist()
                  if not n.endswith("/")}
    folders = {name.parent for name in zipped}
    if len(folders) != 1 or {name.name for name in zipped} != SHIPPED:
        fail(f"the .zip holds {sorted(map(str, zipped))}")
    copyright_text = next(data for name, data in zipped.items() if name.name == "copyright.txt")
    for name in SHIPPED:
        if name.startswith("LICENSE.") and name.encode() not in copyright_text:
            fail(f"copyright.txt does not name {name}")

    # Silent install: the .zip's files and the uninstaller, the folder last on PATH.
    set_machine_path(wine, original_path + r";C:\before")
    install(wine, "install")
    files = {p.name: p.read_bytes() for p in installed.iterdir()}
    if set(files) != SHIPPED | {"uninstall.exe"}:
        fail(f"installed {sorted(files)}")
    for name, data in zipped.items():
        if files[name.name] != data:
            fail(f"the installed {name.name} differs from the .zip's")
    if machine_path(wine) != original_path + r";C:\before;" + INSTDIR:
        fail(f"PATH after install: {machine_path(wine)!r}")
    entry = registry(wine, UNINSTALL_KEY) or fail("no Add/Remove Programs entry")
    expected = {
        "displayname": ("REG_SZ", "vorbek_inspector"),
        "displayversion": ("REG_SZ", VERSION),
        "installlocation": ("REG_SZ", INSTDIR),
        "uninstallstring": ("REG_SZ", f'"{INSTDIR}\\uninstall.exe"'),
        "quietuninstallstring": ("REG_SZ", f'"{INSTDIR}\\uninstall.exe" /S'),
    }
    for name, value in expected.items():
        if entry.get(name) != value:
            fail(f"{name} is {entry.get(name)}, not {value}")
    if not entry.get("publisher", ("", ""))[1]:
        fail("no Publisher")
    size_kb = sum(len(data) for data in files.values()) // 1024
    kind, estimate = entry.get("estimatedsize", ("", "0"))
    if kind != "REG_DWORD" or abs(int(estimate, 16) - size_kb) > len(files):
        fail(f"EstimatedSize {kind} {estimate}, the files have {size_kb} KB")

    # Installed again over itself: the folder is on PATH once.
    install(wine, "reinstall")
    if machine_path(wine) != original_path + r";C:\before;" + INSTDIR:
        fail(f"PATH after reinstall: {machine_path(wine)!r}")

    # From a terminal, found through PATH: the three lines against a live node.
    node = start_node(ws, REPO / "demo" / "demo.js")
    lines = expected_diagnostics(ws_target(node.address)).encode()
    status, out, err = wine.run("cmd", "/c", "vorbek_inspector", "--print-url", node.address)
    if status != 0 or out != lines:
        fail(f"installed --print-url: status {status}, stdout {out!r}: {err}")
    # The window on a display, and no runtime here: the program's own report.
    wine.use_display()
    status, out, err = wine.run(INSTDIR + r"\vorbek_inspector.exe", node.address)
    if status != 1 or out != lines or not err.startswith(
            "Error: failed to create webview (is the WebView2 runtime installed?)\n\nCaused by:\n"):
        fail(f"installed window: status {status}, stdout {out!r}: {err}")

    # A program installed later puts its folder after ours; uninstalling
    # takes ours out of the middle and leaves the rest as it was.
    set_machine_path(wine, machine_path(wine) + r";C:\after")
    uninstall(wine, "uninstall")
    if installed.exists():
        fail(f"left after uninstall: {sorted(p.name for p in installed.iterdir())}")
    if registry(wine, UNINSTALL_KEY) is not None:
        fail("the Add/Remove Programs entry is left after uninstall")
    if machine_path(wine) != original_path + r";C:\before;C:\after":
        fail(f"PATH after uninstall: {machine_path(wine)!r}")

    # A PATH longer than the installer's strings: installed without a PATH
    # entry and uninstalled again, the PATH whole both times.
    long_path = original_path + "".join(f";C:\\tools\\{n:04}" for n in range(100))
    set_machine_path(wine, long_path)
    install(wine, "install with a long PATH")
    if not (installed / "vorbek_inspector.exe").is_file() or machine_path(wine) != long_path:
        fail(f"install with a long PATH: PATH is {len(machine_path(wine))} characters")
    uninstall(wine, "uninstall with a long PATH")
    if installed.exists() or machine_path(wine) != long_path:
        fail("uninstall with a long PATH: left files or changed PATH")
