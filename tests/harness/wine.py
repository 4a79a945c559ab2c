"""The Windows build under Wine in the fixture's private WINEPREFIX: its
programs run with the workspace's environment, and a display of their own
where they open windows."""
import pathlib
import subprocess

from .display import start_xvfb


class Wine:
    def __init__(self, ws, wine):
        self.ws = ws
        self.wine = pathlib.Path(wine)
        self.wineserver = self.wine.with_name("wineserver")
        # This prefix's wineserver outlives its programs and holds the display.
        ws.at_exit(lambda: subprocess.run([str(self.wineserver), "-k"], env=ws.env,
                                          stderr=subprocess.DEVNULL))

    def run(self, *args, stdout=subprocess.PIPE, timeout=60):
        """(status, stdout, stderr) of a Windows program; stdout as bytes
        where line endings matter."""
        result = subprocess.run([str(self.wine), *map(str, args)], env=self.ws.env,
                                stdout=stdout, stderr=subprocess.PIPE, timeout=timeout, cwd="/")
        return result.returncode, result.stdout, result.stderr.decode(errors="replace")

    def use_display(self):
        """A private display; Wine's desktop process was started without one,
        so a fresh wineserver is made to pick it up."""
        start_xvfb(self.ws)
        subprocess.run([str(self.wineserver), "-k"], env=self.ws.env, stderr=subprocess.DEVNULL)
        subprocess.run([str(self.wineserver), "-w"], env=self.ws.env, stderr=subprocess.DEVNULL)
