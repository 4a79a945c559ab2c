"""The npm packages that scripts/package_npm.sh makes in build-npm/, and an
install of them as a user would make one, except offline: an empty project,
the workspace's fresh HOME, an npm cache of its own and no registry."""
import json
import pathlib
import subprocess
import sys
import tarfile

from .core import fail

def packages(folder):
    """{package name: (tarball, its package.json)} of the tarballs in FOLDER;
    without any the test is skipped (status 77)."""
    found = {}
    for tarball in sorted(pathlib.Path(folder).glob("*.tgz")):
        with tarfile.open(tarball) as archive:
            manifest = json.load(archive.extractfile("package/package.json"))
        found[manifest["name"]] = (tarball, manifest)
    if not found:
        print(f"skipped: no npm packages in {folder} (bash scripts/package_npm.sh makes them)")
        sys.exit(77)
    return found


def tarball_files(tarball):
    """{path inside the package: its bytes} of TARBALL's files."""
    with tarfile.open(tarball) as archive:
        return {m.name.removeprefix("package/"): archive.extractfile(m).read()
                for m in archive.getmembers() if m.isfile()}


def npm_env(ws):
    """npm with nothing of the user's: its own cache and config, and a
    registry at a closed port, so that anything fetched fails at once."""
    return {**ws.env, "npm_config_cache": str(ws.path("npm-cache")),
            "npm_config_userconfig": str(ws.path("npmrc")),
            "npm_config_registry": "http://127.0.0.1:9/", "npm_config_update_notifier": "false",
            "npm_config_audit": "false", "npm_config_fund": "false"}


def install_offline(ws, tarballs, *flags):
    """A new project in the workspace with TARBALLS installed by npm
    --offline; its folder. FLAGS go to npm install."""
    project = ws.path("project")
    project.mkdir()
    (project / "package.json").write_text('{"name": "npm-user", "version": "1.0.0", "private": true}\n')
    tarballs = [str(pathlib.Path(t).resolve()) for t in tarballs]
    result = subprocess.run(["npm", "install", "--offline", *flags, *tarballs], cwd=project,
                            env=npm_env(ws), capture_output=True, text=True, timeout=300)
    if result.returncode != 0:
        fail(f"npm install --offline {' '.join(flags)}: status {result.returncode}: {result.stderr}")
    return project
