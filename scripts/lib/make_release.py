#!/usr/bin/env python3
"""Packs the Windows programs of a built tree into trelvane-VERSION-win64.zip
and, with --setup, into the setup program trelvane-VERSION-setup.exe.

  make_release.py --build build/win --out out [--version VERSION] [--setup]

The zip holds one folder, trelvane-VERSION-win64/, with the six programs, a
README.txt for Windows users, the licences and the bundled captures. Texts
get CR LF line ends, as Windows editors expect. The setup program installs
the same files: they are laid out in a folder, and makensis builds
release/trelvane.nsi with that folder and a list of its files (what the
setup puts where, and what its uninstaller removes), both made from
contents() below. Prints the zip's path, then the setup's.
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
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


def file_version(version):
    """The four numbers Windows shows as the setup's file version: 0.3.0 and
    0.3.0-3-gabc1234 give 0.3.0.0; a snapshot gives 0.0.0.0."""
    numbers = re.match(r"(\d+)(?:\.(\d+))?(?:\.(\d+))?", version)
    fields = [int(n or 0) for n in numbers.groups()] if numbers else [0, 0, 0]
    return ".".join(str(min(n, 65535)) for n in fields + [0])


def files_list(names):
    """The NSIS script's list of the release's files: a macro that installs
    each from the staged folder into its place under $INSTDIR, and one that
    removes each again, then their folders, deepest first (a folder the user
    put files of their own in stays)."""
    install, remove, folders, current = [], [], set(), None
    for name in names:
        if not re.fullmatch(r"[A-Za-z0-9._ -]+(/[A-Za-z0-9._ -]+)*", name):
            sys.exit("make_release: %r cannot be named in the setup script" % name)
        folder = name.rpartition("/")[0]
        if folder != current:
            install.append('  SetOutPath "$INSTDIR%s"' % ("\\" + folder.replace("/", "\\") if folder else ""))
            current = folder
        install.append('  File "${STAGE}/%s"' % name)
        remove.append('  Delete "$INSTDIR\\%s"' % name.replace("/", "\\"))
        while folder:
            folders.add(folder)
            folder = folder.rpartition("/")[0]
    for folder in sorted(folders, key=lambda f: (-f.count("/"), f)):
        remove.append('  RMDir "$INSTDIR\\%s"' % folder.replace("/", "\\"))
    return "\n".join(["; The release's files, written by make_release.py from the zip's list.",
                      "!macro InstallReleaseFiles"] + install + ["  SetOutPath \"$INSTDIR\"", "!macroend", "",
                      "!macro RemoveReleaseFiles"] + remove + ["!macroend", ""])


def build_setup(members, version, out, icon):
    """Lays the members out in a folder and has makensis build the setup
    program from it, with `icon` when the build drew it; returns the setup's
    path."""
    setup_path = os.path.join(out, "trelvane-%s-setup.exe" % version)
    with tempfile.TemporaryDirectory(prefix="setup-", dir=out) as work:
        stage = os.path.join(work, "stage")
        for name, source in members:
            path = os.path.join(stage, *name.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if isinstance(source, bytes):
                with open(path, "wb") as f:
                    f.write(source)
            else:
                shutil.copyfile(source, path)
        files = os.path.join(work, "files.nsh")
        with open(files, "w", encoding="utf-8") as f:
            f.write(files_list([name for name, _ in members]))
        icon_define = ["-DICON=" + os.path.abspath(icon)] if os.path.isfile(icon) else []
        made = subprocess.run(["makensis", "-V2", "-INPUTCHARSET", "UTF8", "-DVERSION=" + version] + icon_define + [
                               "-DFILEVERSION=" + file_version(version), "-DSTAGE=" + os.path.abspath(stage),
                               "-DFILES=" + os.path.abspath(files), "-DOUTFILE=" + os.path.abspath(setup_path + ".part"),
                               os.path.join(ROOT, "release/trelvane.nsi")], capture_output=True, text=True)
        if made.returncode != 0:
            sys.exit("make_release: makensis failed:\n%s%s" % (made.stdout, made.stderr))
    os.replace(setup_path + ".part", setup_path)
    return setup_path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--version")
    parser.add_argument("--setup", action="store_true", help="also build the setup program (needs makensis)")
    args = parser.parse_args()
    version = args.version or version_from_git()
    top = "trelvane-%s-win64" % version
    os.makedirs(args.out, exist_ok=True)
    members = contents(args.build, version)
    zip_path = os.path.join(args.out, top + ".zip")
    with zipfile.ZipFile(zip_path + ".part", "w", zipfile.ZIP_DEFLATED) as archive:
        for name, source in members:
            if isinstance(source, bytes):
                archive.writestr(top + "/" + name, source)
            else:
                archive.write(source, top + "/" + name)
    os.replace(zip_path + ".part", zip_path)
    print(zip_path)
    if args.setup:
        print(build_setup(members, version, args.out, os.path.join(args.build, "desktop/art/trelvane.ico")))


if __name__ == "__main__":
    main()
