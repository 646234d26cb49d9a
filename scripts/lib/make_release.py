#!/usr/bin/env python3
"""Packs the Windows programs of a built tree into trelvane-VERSION-win64.zip.

  make_release.py --build build/win --out out [--version VERSION]

The zip holds one folder, trelvane-VERSION-win64/, with the six programs, a
README.txt for Windows users, the licences and the bundled captures. Texts
get CR LF line ends, as Windows editors expect. Prints the zip's path.
"""
import argparse
import glob
import os
import subprocess
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PROGRAMS = [  # where each program lies in the Windows build tree
    "desktop/trelvane.exe",
    "pocket/trelvane-pocket.exe",
    "tools/portname/portname.exe",
    "tools/drvclean/drvclean.exe",
    "tools/sim/trelvane-sim.exe",
    "tools/decode/trelvane-decode.exe",
]
RUNTIME_NOTICE = "/usr/share/doc/mingw-w64-x86-64-dev/copyright"


def version_from_git():
    """v0.3.0 gives 0.3.0, three commits later 0.3.0-3-gabc1234; with no tag,
    snapshot-abc1234."""
    def git(*args):
        result = subprocess.run(["git", "-C", ROOT] + list(args), capture_output=True, text=True)
        return result.stdout.strip() if result.returncode == 0 else ""
    described = git("describe", "--tags", "--match", "v[0-9]*")
    if described:
        return described[1:]
    commit = git("rev-parse", "--short", "HEAD")
    return "snapshot-" + commit if commit else "snapshot"


def text_with_crlf(path, version=None):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if version is not None:
        text = text.replace("@VERSION@", version)
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def contents(build, version):
    """(name in the zip, bytes or a file to copy) for every member."""
    members = []
    for program in PROGRAMS:
        path = os.path.join(build, program)
        if not os.path.isfile(path):
            sys.exit("make_release: %s is not built" % path)
        members.append((os.path.basename(program), path))
    members.append(("README.txt", text_with_crlf(os.path.join(ROOT, "release/README.txt"), version)))
    members.append(("LICENSE.txt", text_with_crlf(os.path.join(ROOT, "LICENSE"))))
    if os.path.isfile(RUNTIME_NOTICE):
        members.append(("licences/mingw-w64-runtime.txt", text_with_crlf(RUNTIME_NOTICE)))
    captures = os.path.join(ROOT, "data/captures")
    for capture in sorted(glob.glob(os.path.join(captures, "*.log")) + glob.glob(os.path.join(captures, "*/*.log"))):
        members.append(("captures/" + os.path.relpath(capture, captures).replace(os.sep, "/"), capture))
    members.append(("captures/SOURCES.md", text_with_crlf(os.path.join(captures, "SOURCES.md"))))
    members.append(("captures/COPYING.captures.txt", text_with_crlf(os.path.join(captures, "COPYING.captures"))))
    return members


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--version")
    args = parser.parse_args()
    version = args.version or version_from_git()
    top = "trelvane-%s-win64" % version
    os.makedirs(args.out, exist_ok=True)
    zip_path = os.path.join(args.out, top + ".zip")
    with zipfile.ZipFile(zip_path + ".part", "w", zipfile.ZIP_DEFLATED) as archive:
        for name, source in contents(args.build, version):
            if isinstance(source, bytes):
                archive.writestr(top + "/" + name, source)
            else:
                archive.write(source, top + "/" + name)
    os.replace(zip_path + ".part", zip_path)
    print(zip_path)


if __name__ == "__main__":
    main()
