#!/usr/bin/env python3
"""The release zip: what it holds, and that each program in it starts under
Wine and ends cleanly when closed, run from the unpacked zip.

  release_smoke.py --build BUILD_DIR --driver trelvane-drive.exe

Needs WINEPREFIX (a booted prefix with its wineserver running) and DISPLAY.
"""
import argparse
import os
import subprocess
import time
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import desktop_e2e as common  # noqa: E402  the same processes, driver and checks
from desktop_e2e import Abort, check, require  # noqa: E402

VERSION = "0.0.0-smoke"
PROGRAMS = ["trelvane.exe", "trelvane-pocket.exe", "portname.exe", "drvclean.exe", "trelvane-sim.exe",
            "trelvane-decode.exe"]


def expected_members():
    folder = os.path.join(ROOT, "data/captures")
    captures = [f for f in os.listdir(folder) if f.endswith(".log")]
    captures += ["multi/" + f for f in os.listdir(os.path.join(folder, "multi")) if f.endswith(".log")]
    names = PROGRAMS + ["README.txt", "LICENSE.txt", "captures/SOURCES.md", "captures/COPYING.captures.txt"]
    names += ["captures/" + c for c in captures]
    if os.path.isfile("/usr/share/doc/mingw-w64-x86-64-dev/copyright"):
        names.append("licences/mingw-w64-runtime.txt")
    return sorted("trelvane-%s-win64/%s" % (VERSION, n) for n in names)


def closes_cleanly(wine, drive, exe, processes, pocket=False):
    """A monitor: its window comes up, and it ends with 0 once closed. A
    monitor that ended without a window never ran (under load Wine now and
    then fails to start a program): it is started once more."""
    name = os.path.basename(exe)
    driver = common.Driver(wine, drive.argv[1])
    if pocket:
        driver.argv.append("--pocket")
    for attempt in range(2):
        said = tempfile.TemporaryFile()
        monitor = processes.start(name, [wine, exe], stdout=said)
        shown = driver.run("wait-window", 60, timeout=90)[0] == 0
        if shown or monitor.poll() is None:
            break
    if not shown:
        said.seek(0)
        require(False, "%s showed no window within 60 s (%s); it said: %s" % (
            name, "still running" if monitor.poll() is None else "ended with %d" % monitor.returncode,
            said.read()[-2000:].decode("utf-8", "replace").strip() or "nothing"))
    driver.ok("close", 20)
    monitor.wait(timeout=20)
    check(monitor.returncode == 0, "%s ended with %d" % (name, monitor.returncode))


def answers_in_a_box(wine, drive, exe, processes, codes):
    """A one-shot tool: it reports in a box and ends once the box is closed."""
    tool = processes.start(os.path.basename(exe), [wine, exe])
    drive.ok("press-ok", "Notification", 30)
    tool.wait(timeout=20)
    check(tool.returncode in codes, "%s ended with %d" % (os.path.basename(exe), tool.returncode))


def scenario(args, folder, processes):
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    made = subprocess.run([sys.executable, os.path.join(ROOT, "scripts/lib/make_release.py"), "--build", args.build,
                           "--out", folder, "--version", VERSION], capture_output=True, text=True, timeout=120)
    require(made.returncode == 0, "make_release failed: %s" % made.stderr.strip())
    path = made.stdout.strip()
    check(os.path.basename(path) == "trelvane-%s-win64.zip" % VERSION, "the zip is named %s" % path)
    with zipfile.ZipFile(path) as archive:
        members = sorted(archive.namelist())
        check(members == expected_members(), "the zip holds %s" % members)
        readme = archive.read("trelvane-%s-win64/README.txt" % VERSION).decode("utf-8")
        check(VERSION in readme and "\r\n" in readme and "Software\\Trelvane" in readme,
              "README.txt lacks its version, its CR LF ends or the handheld's setting")
        archive.extractall(folder)
    unpacked = os.path.join(folder, "trelvane-%s-win64" % VERSION)
    drive = common.Driver(wine, args.driver)
    require(drive.value("windows") == "0", "a monitor window exists before the test starts one")

    closes_cleanly(wine, drive, os.path.join(unpacked, "trelvane.exe"), processes)
    closes_cleanly(wine, drive, os.path.join(unpacked, "trelvane-pocket.exe"), processes, pocket=True)
    answers_in_a_box(wine, drive, os.path.join(unpacked, "portname.exe"), processes, (0, 1))  # result or error
    answers_in_a_box(wine, drive, os.path.join(unpacked, "drvclean.exe"), processes, (0,))
    decoded = run_tool([wine, os.path.join(unpacked, "trelvane-decode.exe"),
                        os.path.join(unpacked, "captures", "nd-1005.log")])
    check(decoded.returncode == 0 and decoded.stdout.count(b'"decoded":"RMC"') > 0,
          "trelvane-decode.exe ended with %d and decoded no RMC" % decoded.returncode)
    usage = run_tool([wine, os.path.join(unpacked, "trelvane-sim.exe")])
    check(usage.returncode == 2 and b"usage: trelvane-sim" in usage.stderr,
          "trelvane-sim.exe without a port ended with %d" % usage.returncode)


def run_tool(argv):
    """Runs a console tool from the zip. Both tools always say something; one
    that ended without a word never ran (under load Wine now and then fails
    to start a program), so it is started once more."""
    for _ in range(2):
        done = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        if done.returncode == 0 or done.stdout.strip() or done.stderr.strip():
            break
        time.sleep(0.5)
    return done


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--driver", required=True)
    args = parser.parse_args()
    for name in ("WINEPREFIX", "DISPLAY"):
        if not os.environ.get(name):
            print("release_smoke: %s is not set (run under ctest's wine fixture and an X display)" % name)
            return 1
    processes = common.Processes()
    with tempfile.TemporaryDirectory(prefix="trelvane-release-") as folder:
        try:
            scenario(args, folder, processes)
        except Abort as stop:
            common.failures.append(str(stop))
        except subprocess.TimeoutExpired as late:
            common.failures.append("no answer in time from: %s" % " ".join(map(str, late.cmd)))
        finally:
            processes.stop_all()
    for failure in common.failures:
        print("release_smoke: FAILED: %s" % failure)
    if not common.failures:
        print("release_smoke: all checks passed")
    return 1 if common.failures else 0


if __name__ == "__main__":
    sys.exit(main())
