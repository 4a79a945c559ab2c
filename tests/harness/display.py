"""A private X display (Xvfb) and what a user does to a window through it:
the pointer and the keyboard through xdotool, the window manager's close."""
import ctypes
import ctypes.util
import os
import subprocess
import time

from .core import fail, read_text, wait_until


def start_session_bus(ws):
    """A desktop's session bus, private to the workspace. Without one, GLib
    autolaunches a bus through dbus-launch on first use, and that start can
    hang for good: the program's main thread once waited in g_bus_get_sync
    behind it, before its window."""
    socket = ws.path("runtime/bus")
    ws.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
              f"--address=unix:path={socket}"], stderr=ws.path("dbus.err"))
    wait_until(socket.exists, 10, lambda: f"no session bus: {read_text(ws.path('dbus.err'))}",
               interval=0.02)
    ws.env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={socket}"


def start_xvfb(ws):
    """Starts an Xvfb on a display number it picks itself and puts DISPLAY
    into the workspace's environment once a client can connect, with a
    session bus beside it, as on a desktop."""
    for _ in range(3):
        display_file = ws.path("xvfb.display")
        display_file.unlink(missing_ok=True)
        read_end, write_end = os.pipe()
        # -noreset: once its last client leaves (the readiness probe below),
        # an X server resets and turns away a client that connects meanwhile.
        process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=open(ws.path("xvfb.err"), "ab"), start_new_session=True)
        os.close(write_end)
        ws.processes.append(process)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            number = pipe.readline().strip()
        if number:
            ws.env["DISPLAY"] = ":" + number.decode()
            for _ in range(50):
                probe = subprocess.run(["xdpyinfo"], env=ws.env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
                if probe.returncode == 0:
                    start_session_bus(ws)
                    return ws.env["DISPLAY"]
                if process.poll() is not None:
                    break
                time.sleep(0.1)
        process.kill()
    fail(f"Xvfb did not start: {read_text(ws.path('xvfb.err'))}")


def xdotool(ws, *args, check=True):
    result = subprocess.run(["xdotool", *map(str, args)], env=ws.env, capture_output=True,
                            text=True, timeout=30)
    if check and result.returncode != 0:
        fail(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
    return result.stdout


def find_window(ws, pid, seconds=30, report=lambda: ""):
    """The visible top-level window of process PID."""
    def search():
        # A search may trip over a window that goes away while it walks the tree.
        out = xdotool(ws, "search", "--onlyvisible", "--pid", pid, check=False)
        return out.split()[0] if out.split() else None
    return wait_until(search, seconds, lambda: f"no window of process {pid} within {seconds} s"
                      f"{report()}")


def window_property(ws, window, name):
    return subprocess.run(["xprop", "-id", str(window), "-notype", name], env=ws.env,
                          capture_output=True, text=True).stdout.strip()


def window_geometry(ws, window):
    """(x, y, width, height) of WINDOW on the screen."""
    info = subprocess.run(["xwininfo", "-id", str(window)], env=ws.env, capture_output=True,
                          text=True).stdout
    values = {}
    for line in info.splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
            int(values["Width"]), int(values["Height"]))


def send_wm_delete(ws, window):
    """WM_DELETE_WINDOW, as a window manager's close sends it."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                    ("pad", ctypes.c_long * 12)]

    display = x11.XOpenDisplay(ws.env["DISPLAY"].encode())
    if not display:
        fail("cannot open the display to close the window")
    try:
        event = ClientMessage()
        event.type = 33  # ClientMessage
        event.window = int(window, 0) if isinstance(window, str) else window
        event.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.format = 32
        event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        if not x11.XSendEvent(display, event.window, 0, 0, ctypes.byref(event)):
            fail("XSendEvent failed")
        x11.XFlush(display)
    finally:
        x11.XCloseDisplay(display)
