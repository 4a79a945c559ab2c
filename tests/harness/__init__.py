"""The window tests' one helper library: a private display and profile, the
script engines, the program and Chromium driven through WebDriver, and the
debugger frontend's state read from its page as data.

A test is a script: `with Workspace() as ws: ...`; a failed check raises
TestFailure, which the workspace prints as "FAIL: ..." before it exits 1.
"""
from .core import TestFailure, Workspace, fail, wait_until, REPO
from .display import start_xvfb
from .engines import Engine, start_node, start_engine, engine_binary, ws_target, free_port
from .viewer import start_viewer, run_program, expected_diagnostics
from .frontend import Frontend

__all__ = [
    "TestFailure", "Workspace", "fail", "wait_until", "REPO", "start_xvfb", "Engine", "start_node",
    "start_engine", "engine_binary", "ws_target", "free_port", "start_viewer", "run_program",
    "expected_diagnostics", "Frontend",
]
