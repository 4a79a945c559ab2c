"""A frontend from VORBEK_INSPECTOR_FRONTEND at another origin cannot read
the user's files through the host's file:// loader, which is the embedded
frontend's alone. About the program's own loader, so always in the program,
whatever VIEWER says."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import (REPO, Workspace, expected_diagnostics, fail, start_node,  # noqa: E402
                     start_viewer, start_xvfb, ws_target)
from harness.viewer import serve_directory  # noqa: E402

PROGRAM = sys.argv[1]
MARKER = "private-marker"

with Workspace() as ws:
    secret = ws.path("private.txt")
    secret.write_text(MARKER + "\n")
    site = ws.path("site")
    site.mkdir()
    # The page asks the loader for the file and shows what it got.
    (site / "probe.html").write_text(f"""<!DOCTYPE html>
<body>
<p id="out">waiting</p>
<script>
  const out = document.getElementById('out');
  const host = window.webkit?.messageHandlers?.vorbekHost;
  if (!host) out.textContent = 'NOLOADER';
  else host.postMessage(JSON.stringify({{request: 'loadFile', url: 'file://{secret}'}})).then(
      (text) => {{ out.textContent = 'READ ' + text; }},
      (error) => {{ out.textContent = 'REFUSED ' + (error?.message ?? error); }});
</script>
""")
    port = serve_directory(ws, site)
    template = f"http://127.0.0.1:{port}/probe.html?ws={{ws}}"

    start_xvfb(ws)
    node = start_node(ws, REPO / "demo" / "demo.js")
    target = ws_target(node.address)
    app = start_viewer(ws, PROGRAM, node.address, env={"VORBEK_INSPECTOR_FRONTEND": template},
                       viewer="vorbek")
    page = app.page
    answer = page.wait_js("const t = document.getElementById('out')?.textContent;"
                          "return t && t !== 'waiting' ? t : null", 30, "no answer on the page")
    # The host's channel reaches every page; only the answer keeps the file
    # from this one.
    if answer.startswith("READ") or MARKER in answer:
        fail(f"the foreign page read the file: {answer}")
    if answer == "NOLOADER":
        fail("the page finds no host channel; this probe no longer asks the host")
    if not answer.startswith("REFUSED"):
        fail(f"the page shows {answer!r}")
    print(f"page: {answer}")
    if not page.url().startswith(f"http://127.0.0.1:{port}/probe.html?ws="):
        fail(f"the window shows {page.url()}")

    app.close()
    frontend = template.replace("{ws}", target)
    if app.stdout() != expected_diagnostics(target, frontend):
        fail(f"stdout is not exactly the three lines: {app.stdout()!r}")
