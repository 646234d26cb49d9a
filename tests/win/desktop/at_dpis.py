#!/usr/bin/env python3
"""Runs a test program under Wine at 96, 144 and 192 DPI, each in a prefix of
its own that differs from the shared one only in its LogPixels: the DPI a
Windows program reads when it starts. Such a prefix shares the shared one's
drive C (its system files and fonts) and copies its registry, so it costs a
wineserver start rather than a Wine boot. Each runs on an X screen of its own,
large enough for the window at 200 %.

  at_dpis.py PROGRAM.exe [ARGUMENTS...]

Needs WINEPREFIX (the shared prefix), WINE and WINESERVER. The program learns
the DPI it runs at from TRELVANE_TEST_DPI. Exit status: the first failing
run's, else 0.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

DPIS = (96, 144, 192)


def make_prefix(shared, folder, dpi):
    os.makedirs(os.path.join(folder, "dosdevices"))
    os.symlink(os.path.join(shared, "drive_c"), os.path.join(folder, "drive_c"))
    os.symlink("../drive_c", os.path.join(folder, "dosdevices", "c:"))
    os.symlink("/", os.path.join(folder, "dosdevices", "z:"))
    for name in ("system.reg", "user.reg", "userdef.reg", ".update-timestamp"):
        if not os.path.exists(os.path.join(shared, name)):
            continue
        with open(os.path.join(shared, name), "rb") as f:
            text = f.read()
        text = re.sub(rb'"LogPixels"=dword:[0-9a-f]{8}', b'"LogPixels"=dword:%08x' % dpi, text)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(text)
        shutil.copystat(os.path.join(shared, name), os.path.join(folder, name))


def main():
    shared = os.environ["WINEPREFIX"]
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    server = os.environ.get("WINESERVER", "/usr/lib/wine/wineserver")
    status = 0
    with tempfile.TemporaryDirectory(prefix="trelvane-dpi-") as top:
        for dpi in DPIS:
            folder = os.path.join(top, str(dpi))
            make_prefix(shared, folder, dpi)
            env = dict(os.environ, WINEPREFIX=folder, TRELVANE_TEST_DPI=str(dpi))
            print("at_dpis: %d DPI" % dpi, flush=True)
            # A screen that holds the window at 200 %, on an X server of its own.
            try:
                done = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1600x1200x24", wine] + sys.argv[1:],
                                      env=env, timeout=240)
                code = done.returncode
            except subprocess.TimeoutExpired:
                print("at_dpis: no end within 240 s at %d DPI" % dpi)
                code = 1
            subprocess.run([server, "-k"], env=env, stderr=subprocess.DEVNULL)
            subprocess.run([server, "-w"], env=env, stderr=subprocess.DEVNULL)
            if code != 0 and status == 0:
                status = code
    return status


if __name__ == "__main__":
    sys.exit(main())
