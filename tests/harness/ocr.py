"""What the user sees, read off the screen with tesseract, for the few smoke
tests that check the frontend is drawn legibly. They run the viewer under
fonts.conf, which lets it render with the DejaVu faces of fonts-dejavu-core
alone, whatever else the machine has: OCR is tuned to what it reads, and
another face (Liberation's Arial stand-in) reads differently."""
import os
import pathlib
import subprocess

FONTS_CONF = pathlib.Path(__file__).with_name("fonts.conf")


def pinned_fonts_env():
    """The environment addition that pins the viewer's fonts (their cache
    goes to the workspace's private XDG cache directory)."""
    return {"FONTCONFIG_FILE": str(FONTS_CONF)}


def screenshot(ws, window, name):
    shot = ws.path(f"{name}.png")
    subprocess.run(["import", "-window", str(window), str(shot)], env=ws.env, check=True,
                   stderr=subprocess.DEVNULL)
    return shot


def colours(ws, shot):
    out = subprocess.run(["convert", str(shot), "-format", "%k", "info:"], env=ws.env,
                         capture_output=True, text=True, check=True).stdout
    return int(out.strip())


def read_text(ws, window, box, name="ocr"):
    """The text tesseract reads in BOX ({x, y, width, height}, window
    pixels, as the page reports an element), scaled up, since DevTools'
    small fonts read far better so."""
    shot = screenshot(ws, window, name)
    x, y = max(0, int(box["x"])), max(0, int(box["y"]))
    width, height = int(box["width"]), int(box["height"])
    scaled = ws.path(f"{name}.scaled.png")
    subprocess.run(["convert", str(shot), "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                    "-resize", "300%", "-colorspace", "Gray", str(scaled)], check=True)
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    out = subprocess.run(["tesseract", str(scaled), "-", "--psm", "6"], env=env,
                         capture_output=True, text=True, check=True).stdout
    return " ".join(out.split())
