"""Reads a window's screen with OCR, so tests can look for text the way a user does.

usage: python3 screen.py text WINDOW [--region X0 Y0 X1 Y1]
                                             prints the window's text, line by line
       python3 screen.py find WINDOW PHRASE [--nth N] [--exact] [--digits]
                                             [--region X0 Y0 X1 Y1]
                                             prints "X Y", the centre of the Nth match of
                                             PHRASE on one line, in window coordinates,
                                             or exits 1 when there is none
       python3 screen.py line WINDOW N --region X0 Y0 X1 Y1
                                             prints "X Y" of line number N in a column
                                             of line numbers, such as an editor's gutter

DISPLAY names the X server. Matching ignores case and the spacing between words.
"""
import argparse
import os
import subprocess
import sys
import tempfile

# DevTools' small fonts read far better scaled up. Where one reading misses
# a phrase another often finds it: plain grey, then stretched grey levels,
# which lift text off coloured banners and highlighted rows.
READINGS = [(2, []), (3, ["-level", "20%,80%"])]


def grab(window, crop):
    """One screenshot of the window, or of its part crop = (x0, y0, x1, y1)."""
    handle, shot = tempfile.mkstemp(suffix=".png")
    os.close(handle)
    subprocess.run(["import", "-window", window, shot], check=True, stderr=subprocess.DEVNULL)
    if crop:
        x0, y0, x1, y1 = crop
        subprocess.run(["convert", shot, "-crop", f"{x1 - x0}x{y1 - y0}+{x0}+{y0}", "+repage",
                        shot], check=True)
    return shot


def read(shot, crop, reading, digits=False):
    """Words with their boxes in window pixels: (line key, text, left, top, width, height)."""
    scale, extra = reading
    x0, y0 = (crop[0], crop[1]) if crop else (0, 0)
    scaled = shot + ".ocr.png"
    subprocess.run(["convert", shot, "-resize", f"{scale * 100}%", "-colorspace", "Gray", *extra,
                    scaled], check=True)
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    try:
        only = ["-c", "tessedit_char_whitelist=0123456789"] if digits else []
        out = subprocess.run(["tesseract", scaled, "-", "--psm", "6", *only, "tsv"], check=True,
                             capture_output=True, text=True, env=env).stdout
    finally:
        os.unlink(scaled)
    words = []
    for row in out.splitlines()[1:]:
        cols = row.split("\t")
        if len(cols) < 12 or not cols[11].strip():
            continue
        left, top, width, height = (int(c) / scale for c in cols[6:10])
        words.append(((cols[2], cols[3], cols[4]), cols[11], left + x0, top + y0, width, height))
    return words


def lines(words):
    grouped = {}
    for key, text, left, top, width, height in words:
        grouped.setdefault(key, []).append((text, left, top, width, height))
    return list(grouped.values())


def matches(words, phrase, exact):
    wanted = phrase.lower().split()
    for line in lines(words):
        texts = [w[0].lower() for w in line]
        for start in range(len(texts) - len(wanted) + 1):
            same = (lambda a, b: a == b) if exact else (lambda a, b: a in b)
            if all(same(wanted[i], texts[start + i]) for i in range(len(wanted))):
                span = line[start:start + len(wanted)]
                left = span[0][1]
                right = span[-1][1] + span[-1][3]
                top = min(w[2] for w in span)
                bottom = max(w[2] + w[4] for w in span)
                yield round((left + right) / 2), round((top + bottom) / 2)


def numbered_line(words, number):
    """Where line NUMBER of a column of line numbers is, from the numbers that
    read well: a misread or hidden number is placed between its neighbours."""
    seen = sorted((int(text), left + width / 2, top + height / 2)
                  for _, text, left, top, width, height in words if text.isdigit())
    # Consecutive readings agree on one row height; outliers are misreadings.
    steps = sorted((b[2] - a[2]) / (b[0] - a[0]) for a, b in zip(seen, seen[1:]) if b[0] > a[0])
    if not steps:
        return None
    height = steps[len(steps) // 2]
    anchors = [n for n in seen if n[0] == number] or seen
    anchor = min(anchors, key=lambda n: abs(n[0] - number))
    return round(anchor[1]), round(anchor[2] + (number - anchor[0]) * height)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=["text", "find", "line"])
    parser.add_argument("window")
    parser.add_argument("phrase", nargs="?")
    parser.add_argument("--nth", type=int, default=1)
    parser.add_argument("--exact", action="store_true", help="whole words only")
    parser.add_argument("--digits", action="store_true", help="read nothing but digits")
    parser.add_argument("--region", type=int, nargs=4, metavar=("X0", "Y0", "X1", "Y1"),
                        help="read only this part of the window")
    args = parser.parse_args()
    shot = grab(args.window, args.region)
    try:
        if args.command == "text":
            for line in lines(read(shot, args.region, READINGS[0])):
                print(" ".join(w[0] for w in line))
            return
        if args.command == "line":
            at = numbered_line(read(shot, args.region, READINGS[0], digits=True), int(args.phrase))
            if not at:
                sys.exit(1)
            print(*at)
            return
        for reading in READINGS:
            words = read(shot, args.region, reading, args.digits)
            found = list(matches(words, args.phrase, args.exact))
            if len(found) >= args.nth:
                print(*found[args.nth - 1])
                return
        sys.exit(1)
    finally:
        os.unlink(shot)

if __name__ == "__main__":
    main()
