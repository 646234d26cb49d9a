#!/usr/bin/env python3
"""The release zip and the setup program: what the zip holds, and that each
program in it starts under Wine and ends cleanly when closed, run from the
unpacked zip; then the setup, in a Wine prefix of its own that Trelvane was
never on, installed for everyone and for one user, each time with its files,
shortcuts and registry read back, and uninstalled to nothing but the user's
settings (and those too when asked). The monitor installed for everyone is
started as "Open with" starts it on a recording, and must show its position.

  release_smoke.py --build BUILD_DIR --driver trelvane-drive.exe

Needs WINEPREFIX (a booted prefix with its wineserver running) and DISPLAY;
the setup's own prefix is made and removed here.
"""
import argparse
import functools
import getpass
import json
import os
import pathlib
import re
import shutil
import subprocess
import time
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import desktop_e2e as common  # noqa: E402  the same processes, driver and checks
from desktop_e2e import Abort, check, require, wait_until  # noqa: E402
from playback_e2e import READOUT_KEYS  # noqa: E402

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
                           "--out", folder, "--version", VERSION, "--setup"], capture_output=True, text=True,
                          timeout=180)
    require(made.returncode == 0, "make_release failed: %s" % made.stderr.strip())
    path, setup = (made.stdout.splitlines() + ["", ""])[:2]
    check(os.path.basename(path) == "trelvane-%s-win64.zip" % VERSION, "the zip is named %s" % path)
    require(os.path.basename(setup) == "trelvane-%s-setup.exe" % VERSION and os.path.isfile(setup),
            "no setup program beside the zip: %r" % made.stdout)
    with zipfile.ZipFile(path) as archive:
        members = sorted(archive.namelist())
        files = {m.split("/", 1)[1]: archive.read(m) for m in members}  # what the setup must install
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
    install_and_uninstall(args, setup, files, processes, folder)


# ---------------------------------------------------------------------------
# The setup program, in a prefix of its own.

CLASSES, UNINSTALL = "software\\classes\\", "software\\microsoft\\windows\\currentversion\\uninstall\\trelvane"
OTHER_PROGRAM = "OtherTool.Log"  # .nmea's default program, the user's choice: the setup must leave it


class FreshPrefix:
    """A Wine prefix booted here, with a wineserver of its own; Wine's menu
    builder is off (it would copy each shortcut into the host's menus)."""

    def __init__(self, folder):
        self.path, self.user = os.path.join(folder, "prefix"), getpass.getuser()
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        self.wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
        self.server = os.environ.get("WINESERVER", "/usr/lib/wine/wineserver")

    def run(self, *argv, timeout=120):
        """(exit code, output, errors), through files, not pipes: the first
        program after the server stopped starts it and the prefix's services
        again, and they hold its output open while they run."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([self.wine, *argv], env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout).returncode
            return (code,) + tuple(f.seek(0) or f.read().decode("utf-8", "replace") for f in (out, err))

    def run_settled(self, *argv):
        """A setup or uninstaller, to the end of what it started; once more
        if it failed (under load Wine now and then fails to start one)."""
        for _ in range(2):
            code, _, errors = self.run(*argv)
            self.settle()
            if code == 0:
                break
            print("release_smoke: %s ended with %d (%s)" % (" ".join(argv), code, errors.strip() or "no word"))
        return code

    def settle(self):
        """Until every program has ended (uninstall.exe returns at once and
        goes on from a copy in TEMP) and the server wrote the registry out."""
        subprocess.run([self.server, "-w"], env=self.env, timeout=120)

    def unix(self, windows_path):
        return os.path.join(self.path, "drive_c", *windows_path[3:].split("\\"))

    def registry(self):
        """{"hklm"|"hkcu": {key: {value: data}}}, names in lower case: a
        string, a DWORD as int, REG_NONE as b""."""
        unquote = functools.partial(re.sub, r"\\(.)", r"\1")
        hives = {"hklm": {}, "hkcu": {}}
        for root, name in (("hklm", "system.reg"), ("hkcu", "user.reg")):
            with open(os.path.join(self.path, name), encoding="utf-8", errors="replace") as f:
                for line in f.read().replace("\\\n  ", "").splitlines():
                    if line.startswith("["):
                        values = hives[root].setdefault(line[1:line.rindex("]")].replace("\\\\", "\\").lower(), {})
                    elif m := re.match(r'(?:@|"((?:[^"\\]|\\.)*)")=(?:"(.*)"|dword:(\w+)|(hex\(0\):)|.*)$', line):
                        values[unquote(m[1] or "").lower()] = (unquote(m[2]) if m[2] is not None else
                                                               int(m[3], 16) if m[3] else b"" if m[4] else m[0])
        return hives


def split_command(line):
    """A command line from the registry, cut into arguments as Windows does."""
    return [quoted or bare for quoted, bare in re.findall(r'"([^"]*)"|(\S+)', line)]


def check_installed(prefix, everyone, files):
    """One installation's files, shortcuts and registry; returns its folder,
    its Start menu folder and its uninstall entry."""
    hives = prefix.registry()
    hive, other = (hives["hklm"], hives["hkcu"]) if everyone else (hives["hkcu"], hives["hklm"])
    instdir = "C:\\Program Files\\Trelvane" if everyone else "C:\\users\\%s\\AppData\\Local\\Programs\\Trelvane" % prefix.user
    entry = hive.get(UNINSTALL, {})
    require(entry.get("installlocation") == instdir and UNINSTALL not in other, "the uninstall entry is %r" % entry)
    folder = prefix.unix(instdir)
    installed = {os.path.relpath(os.path.join(d, f), folder).replace(os.sep, "/"): pathlib.Path(d, f).read_bytes()
                 for d, _, names in os.walk(folder) for f in names}
    check(installed.pop("uninstall.exe", None) and installed == files,
          "%s holds %s, not the zip's files and uninstall.exe" % (instdir, sorted(installed)))
    quoted = '"%s\\uninstall.exe"' % instdir
    expected = {"displayname": "Trelvane", "displayversion": VERSION, "publisher": "The Trelvane developers",
                "displayicon": instdir + "\\trelvane.exe,0", "uninstallstring": quoted,
                "quietuninstallstring": quoted + " /S", "installlocation": instdir, "nomodify": 1, "norepair": 1,
                "estimatedsize": sum(os.path.getsize(os.path.join(d, f)) for d, _, n in os.walk(folder) for f in n) // 1024}
    check(entry == expected, "the uninstall entry is %r, not %r" % (entry, expected))
    menu = prefix.unix("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Trelvane" if everyone else
                       "C:\\users\\%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Trelvane" % prefix.user)
    links = {"Trelvane.lnk": "trelvane.exe", "Trelvane Pocket.lnk": "trelvane-pocket.exe"}
    check(os.path.isdir(menu) and sorted(os.listdir(menu)) == sorted(links) and all(  # the target's path, as the link's LinkInfo holds it
        ("%s\\%s\0" % (instdir, exe)).encode() in pathlib.Path(menu, link).read_bytes() for link, exe in links.items()),
        "the Start menu folder %s holds %s" % (menu, os.listdir(menu) if os.path.isdir(menu) else "nothing"))
    progid = CLASSES + "trelvane.recording"
    check(hive.get(progid, {}).get("") and hive.get(progid + "\\defaulticon") == {"": instdir + "\\trelvane.exe,0"} and
          hive.get(CLASSES + ".nmea\\openwithprogids", {}).get("trelvane.recording") in (b"", ""),
          "no Open with entry for .nmea: %r" % {k: v for k, v in hive.items() if k.startswith(CLASSES + ".nmea")})
    check(hive.get(CLASSES + ".nmea", {}).get("") == (OTHER_PROGRAM if everyone else None),
          ".nmea's default program became %r" % hive.get(CLASSES + ".nmea", {}).get(""))
    return instdir, menu, entry, hive.get(progid + "\\shell\\open\\command", {}).get("")


def check_removed(prefix, instdir, menu, everyone):
    """Nothing of the installation is left; the user's settings only
    without /REMOVESETTINGS, and .nmea's key with the other program's."""
    hives = prefix.registry()
    left = [k for h in hives.values() for k in h if "trelvane" in k and k != "software\\trelvane"]
    left += [p for p in (prefix.unix(instdir), menu) if os.path.exists(p)]
    check(not left, "uninstalling left %s" % left)
    nmea = {k: v for k, v in hives["hklm" if everyone else "hkcu"].items() if k.startswith(CLASSES + ".nmea")}
    check(nmea == ({CLASSES + ".nmea": {"": OTHER_PROGRAM}} if everyone else {}), "uninstalling left %s" % nmea)
    settings = hives["hkcu"].get("software\\trelvane")
    check(settings == ({"chartspan": 3600} if everyone else None), "after uninstalling the settings are %r" % settings)


def open_recording(prefix, args, processes, instdir, command):
    """trelvane.exe started as "Open with" starts it, on a bundled capture
    named .nmea: it plays the file and shows one of its positions, as the
    installed trelvane-decode.exe reads them."""
    recording = "C:\\users\\%s\\Documents\\nd-1005.nmea" % prefix.user
    shutil.copyfile(prefix.unix(instdir + "\\captures\\nd-1005.log"), prefix.unix(recording))
    readouts = [json.loads(line)["readout"] for line in
                prefix.run(instdir + "\\trelvane-decode.exe", "--build", "desktop", recording)[1].splitlines()
                if line.startswith("{")]
    positions = {"|".join(r[k] for k in READOUT_KEYS) for r in readouts if r["latitude"]}
    require(positions, "the installed trelvane-decode.exe found no position in %s" % recording)
    argv = [prefix.wine] + split_command(command.replace("%1", recording))
    monitor = processes.start("installed trelvane.exe", argv, env=prefix.env)
    drive = common.Driver(prefix.wine, args.driver)
    drive.run = lambda *a, timeout=60: prefix.run(args.driver, *map(str, a), timeout=timeout)
    drive.ok("wait-window", 60, timeout=90)
    shown = []  # the desktop's code page 950 degree sign reads back as these two characters
    check(wait_until(20, lambda: shown.append(drive.value("readout").replace("\u00a2X", "\u00b0")) or
                     shown[-1] in positions, step=0.5), "opened with %s the monitor shows %r" % (recording, shown[-1:]))
    check(drive.value("main-text", 1021).startswith("nd-1005.nmea"), "the monitor plays no nd-1005.nmea")
    drive.ok("close", 20)
    check(monitor.wait(timeout=20) == 0, "the installed trelvane.exe ended with %d" % monitor.returncode)


def install_and_uninstall(args, setup, files, processes, folder):
    """For everyone, then for the user alone, each time installed, checked
    and uninstalled with the command lines the setup wrote."""
    prefix = FreshPrefix(folder)
    try:
        require(prefix.run("wineboot", "-i", timeout=180)[0] == 0, "the setup's prefix did not boot")
        # As on a user's computer: .nmea opens with another program, and an
        # earlier Trelvane left the user's settings.
        pathlib.Path(folder, "before.reg").write_text(
            'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\.nmea]\n@="%s"\n\n'
            '[HKEY_CURRENT_USER\\Software\\Trelvane]\n"ChartSpan"=dword:00000e10\n' % OTHER_PROGRAM)
        prefix.run("regedit", "/S", "Z:" + os.path.join(folder, "before.reg"))
        for everyone, options in ((True, ["/S"]), (False, ["/S", "/CURRENTUSER"])):
            require(prefix.run_settled(setup, *options) == 0, "setup.exe %s failed" % " ".join(options))
            instdir, menu, entry, command = check_installed(prefix, everyone, files)
            if everyone:
                open_recording(prefix, args, processes, instdir, command)
            uninstall = split_command(entry["quietuninstallstring"]) + ([] if everyone else ["/REMOVESETTINGS"])
            require(prefix.run_settled(*uninstall) == 0, "%s failed" % " ".join(uninstall))
            check_removed(prefix, instdir, menu, everyone)
    finally:
        subprocess.run([prefix.server, "-k"], env=prefix.env)


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
