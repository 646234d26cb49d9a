#!/usr/bin/env python3
"""The handheld monitor end to end, as a person uses it.

trelvane-pocket.exe runs under Wine in a 240 x 320 virtual desktop, the
handheld's screen. Its port list comes from the active drivers in the
registry, where an entry names COM2, whose wire with a rate (scripts/cable-rig
wire) ends at COM12, played by trelvane-sim.exe from a receiver capture.
trelvane-drive --pocket picks the rate and clicks "Start GPS"; then the
information page's edit controls must show the capture's last $GPRMC, worked
out here from the capture's bytes, and the Setup page's link state must go
through its five states (closed, waiting, receiving, silent after the capture,
bytes without sentences from a receiver at another rate). A
second start must bring the first forward and end with 0; with a process
named tarnwick.exe running, the monitor must not start at all and end with 0.
The main window keeps the foreground from start-up on (the menu bar never
takes it), so a port chosen in the list survives a queued click on "Start
GPS", and a real Ctrl+Q closes the program.

  pocket_e2e.py --monitor EXE --driver EXE --sim EXE --tarnwick EXE
                --capture FILE --desktop-script FILE [--baud N]

Needs WINEPREFIX (a booted prefix whose COM2 and COM12 are the links
$TRELVANE_CABLES/com2 and com12, with its wineserver running) and DISPLAY.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_e2e as common  # noqa: E402  the same processes, driver and checks
from desktop_e2e import Abort, check, require, wait_until  # noqa: E402

PORT, RECEIVER_PORT = 2, 12
START_GPS, LOG, COM_PORT = 1027, 1020, 1040
LINK_STATE = 1050
IDC_DATE, IDC_UTC, IDC_LON_HEMISPHERE, IDC_LAT_HEMISPHERE, IDC_LON, IDC_LAT = 1021, 1022, 1028, 1029, 1031, 1032
DRIVER_KEY = r"HKLM\Drivers\Active\05"
# Listed first (the list is sorted), with no cable behind it: the port the
# user does not choose.
OTHER_DRIVER_KEY, OTHER_PORT = r"HKLM\Drivers\Active\03", 1
SAVED_KEY = r"HKCU\Software\Trelvane"
# Programs shown on the handheld's screen (tests/win/pocket/pocket-desktop):
# the driver must share the monitor's desktop to find its windows.
DESKTOP_PROGRAMS = ["trelvane-pocket.exe", "trelvane-drive.exe"]


def last_rmc(capture):
    """The readout texts the capture's last checksum-valid $GPRMC gives."""
    with open(capture, "rb") as f:
        lines = [l.strip() for l in f.read().split(b"\n")]
    rmcs = [l.decode("ascii") for l in lines if b"$GPRMC" in l and common.accepted(l + b"\r\n")]
    require(rmcs, "the capture has no $GPRMC the monitor accepts")
    f = rmcs[-1].split("*")[0].split(",")
    utc, latitude, north_south, longitude, east_west, date = f[1], f[3], f[4], f[5], f[6], f[9]
    return {
        IDC_DATE: "20%s/%s/%s" % (date[4:6], date[2:4], date[0:2]),
        IDC_UTC: "%s:%s:%s" % (utc[0:2], utc[2:4], utc[4:6]),
        IDC_LAT_HEMISPHERE: north_south,
        IDC_LAT: "%s\u00b0%s'" % (latitude[0:2], latitude[2:]),
        IDC_LON_HEMISPHERE: east_west,
        IDC_LON: "%s\u00b0%s'" % (longitude[0:3], longitude[3:]),
    }


def wine_reg(wine, *args):
    """reg.exe's exit status and output."""
    done = subprocess.run([wine, "reg"] + list(args), stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    return done.returncode, done.stdout.decode("utf-8", "replace")


def add_driver(wine, key, port):
    """An active driver entry naming COMport:, read back before the monitor
    starts: a port missing from its list must be the monitor's fault."""
    values = {"Name": "COM%d:" % port, "Key": r"Drivers\BuiltIn\Serial"}
    for _ in range(3):  # reg.exe is a whole Wine process: on a loaded machine it can fail to start
        for name, data in values.items():
            wine_reg(wine, "add", key, "/v", name, "/d", data, "/f")
        shown = wine_reg(wine, "query", key)[1]
        if all(data in shown for data in values.values()):
            return
    require(False, "the registry does not hold %s after three tries: %r" % (key, shown))


def scenario(args, processes):
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    cables = os.environ["TRELVANE_CABLES"]
    drive = common.Driver(wine, args.driver)
    drive.argv.append("--pocket")
    expected = last_rmc(args.capture)
    code, out, _ = drive.run("windows")
    require(code == 0 and out.strip() == "0", "a monitor window exists before the test starts one")

    # A first run: no port saved by an earlier test's link.
    wine_reg(wine, "delete", SAVED_KEY, "/f")
    # The handheld's table of active drivers: COM2, the cable's monitor end.
    add_driver(wine, DRIVER_KEY, PORT)
    add_driver(wine, OTHER_DRIVER_KEY, OTHER_PORT)

    # A running tarnwick.exe keeps the monitor from starting at all.
    tarnwick = processes.start("tarnwick.exe", [wine, args.tarnwick, "60"])
    require(wait_until(10, lambda: tarnwick.poll() is None and "tarnwick" in processes_named()), "no tarnwick.exe")
    blocked = subprocess.run([wine, args.monitor], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, timeout=60)
    check(blocked.returncode == 0, "beside tarnwick.exe the monitor ended with %d" % blocked.returncode)
    check(drive.value("windows") == "0", "beside tarnwick.exe the monitor showed a window")
    tarnwick.terminate()
    tarnwick.wait(timeout=10)

    ends = [os.path.join(cables, "com%d" % n) for n in (PORT, RECEIVER_PORT)]
    for end in ends:
        if os.path.islink(end):
            os.unlink(end)  # left by a run that was killed: this test's own ports
    processes.start("wire", [sys.executable, common.CABLE_RIG, "wire", ends[0], ends[1]])
    require(wait_until(10, lambda: all(os.path.exists(e) for e in ends)), "the wire made no cable")

    monitor = processes.start("trelvane-pocket.exe", [wine, args.monitor])
    require(drive.run("wait-window", 60)[0] == 0, "trelvane-pocket.exe showed no window within 60 s")
    rect = drive.value("window-rect")
    check(rect == "0 26 240 294", "the window is at %s, not the work area above the menu bar" % rect)
    # Nothing brought it forward: the main window has the foreground, and
    # keeps it (the menu bar is created beside it, and shown, after it).
    in_front = []
    for _ in range(6):  # over about two seconds: the bar used to take it half a second in
        in_front.append(drive.value("foreground"))
        time.sleep(0.3)
    check(in_front == ["yes"] * 6, "after start-up the main window is not in front: %s" % in_front)
    check(drive.value("text", COM_PORT) == "COM%d:  Serial" % OTHER_PORT,
          "the port list shows %r, not the first active driver's port" % drive.value("text", COM_PORT))

    def state():
        return drive.value("text", LINK_STATE)
    check(state() == "Closed", "before Start GPS the link's state is %r" % state())

    # The user's choice, then a click that arrives queued, as any input but
    # the mouse's does: no activation comes between them to rescan the list.
    drive.ok("select-port", "COM%d:  Serial" % PORT)
    drive.ok("select-baud", str(args.baud))
    drive.ok("post-click", START_GPS)
    require(drive.run("wait-text", START_GPS, "Close GPS", 10)[0] == 0, "Start GPS did not become Close GPS")
    check(drive.value("text", COM_PORT) == "COM%d:  Serial" % PORT,
          "the chosen port gave way to %r" % drive.value("text", COM_PORT))
    saved = wine_reg(wine, "query", SAVED_KEY, "/v", "ComPort")[1]
    check("COM%d:" % PORT in saved and "COM%d:" % OTHER_PORT not in saved, "the saved port reads %r" % saved)
    check(state() == "Waiting for data", "the open link with no byte yet is %r" % state())

    processes.start("trelvane-sim.exe", [wine, args.sim, "--baud", str(args.baud), "--once", "--fast",
                                         "COM%d" % RECEIVER_PORT, "Z:" + args.capture])
    require(drive.run("wait-log", "$GPRMC", 30)[0] == 0, "no $GPRMC reached the log pane")
    check(wait_until(3, lambda: state() == "Receiving"), "with sentences arriving the link's state is %r" % state())
    check(drive.value("tab", 1) == "info", "the TRELVANE tab did not open")

    def readout():
        return {id: drive.value("info-text", id) for id in expected}
    wait_until(30, lambda: readout() == expected, step=0.5)
    shown = readout()
    for id, text in expected.items():
        check(shown[id] == text, "control %d shows %r, the capture's last $GPRMC gives %r" % (id, shown[id], text))

    # After the capture the line is silent; a receiver at another rate then
    # gives bytes that form no sentence.
    check(wait_until(8, lambda: re.match(r"^Silent for ([3-9]|[1-9]\d+) s$", state())),
          "after the capture the link's state is %r" % state())
    other_rate = 4800 if args.baud != 4800 else 9600
    stranger = processes.start("trelvane-sim.exe at another rate",
                               [wine, args.sim, "--baud", str(other_rate), "COM%d" % RECEIVER_PORT, "Z:" + args.capture])
    check(wait_until(8, lambda: state() == "Bytes but no sentences: wrong rate?"),
          "with a receiver at %d the link's state is %r" % (other_rate, state()))
    stranger.terminate()
    stranger.wait(timeout=20)

    # A second start brings the first forward and ends with 0.
    holder = subprocess.Popen(drive.argv + ["hold-foreground", "20"], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    check(holder.stdout.readline().strip() == b"ready", "no other window took the foreground")
    second = subprocess.run([wine, args.monitor], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=60)
    check(second.returncode == 0, "the second start ended with %d" % second.returncode)
    check(wait_until(10, lambda: drive.value("foreground") == "yes"), "the second start did not bring the first forward")
    check(drive.value("windows") == "1", "there are %s monitor windows" % drive.value("windows"))
    holder.wait(timeout=30)

    # The About box hands the foreground back to the main window.
    drive.ok("about")
    check(wait_until(5, lambda: drive.value("foreground") == "yes"), "after About the main window is not in front")

    # A real Ctrl+Q, through the accelerator table, closes the program.
    drive.ok("ctrl-key", "q")
    try:
        monitor.wait(timeout=20)
        check(monitor.returncode == 0, "trelvane-pocket.exe exited with %d" % monitor.returncode)
    except subprocess.TimeoutExpired:
        check(False, "trelvane-pocket.exe still runs 20 s after Ctrl+Q")


def desktop_explorers():
    """This prefix's virtual desktop processes, which end about a second after
    their last window: one still showing the handheld's screen would shrink
    the screen of the next test's desktop."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                command = f.read()
            with open("/proc/%s/environ" % pid, "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:
            continue
        if b"explorer.exe" in command and b"/desktop" in command and \
                ("WINEPREFIX=" + os.environ["WINEPREFIX"]).encode() in environment:
            found.append(int(pid))
    return found


def processes_named():
    names = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                names.append(f.read().decode("utf-8", "replace"))
        except OSError:
            continue
    return " ".join(names)


def main():
    parser = argparse.ArgumentParser()
    for name in ("--monitor", "--driver", "--sim", "--tarnwick", "--capture", "--desktop-script"):
        parser.add_argument(name, required=True)
    parser.add_argument("--baud", type=int, default=4800)
    args = parser.parse_args()
    for name in ("WINEPREFIX", "TRELVANE_CABLES", "DISPLAY"):
        if not os.environ.get(name):
            print("pocket_e2e: %s is not set (run under ctest's wine fixture and an X display)" % name)
            return 1
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    processes = common.Processes()
    subprocess.run([args.desktop_script, "start"] + DESKTOP_PROGRAMS, check=True, timeout=120)
    try:
        scenario(args, processes)
    except Abort as stop:
        common.failures.append(str(stop))
    except subprocess.TimeoutExpired as late:
        common.failures.append("no answer in time from: %s" % " ".join(map(str, late.cmd)))
    finally:
        processes.stop_all()
        wine_reg(wine, "delete", r"HKLM\Drivers", "/f")  # made by this test alone (registry_drivers lock)
        wine_reg(wine, "delete", SAVED_KEY, "/f")
        subprocess.run([args.desktop_script, "stop"] + DESKTOP_PROGRAMS, timeout=120)
        if not wait_until(15, lambda: not desktop_explorers()):
            common.failures.append("the handheld screen's desktop is still up: %s" % desktop_explorers())
    for failure in common.failures:
        print("pocket_e2e: FAILED: %s" % failure)
    if not common.failures:
        print("pocket_e2e: all checks passed")
    return 1 if common.failures else 0


# ---------------------------------------------------------------------------
# A scenario run in either build, on a cable from COM2 to COM12 (families_e2e,
# playback_e2e).

def start_on_cable(pocket, driver_exe, processes, port=2, receiver_port=12):
    """The handheld's driver table (with --pocket), the wire and the monitor
    started; answers the driver for the build once its window is up."""
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    cables = os.environ["TRELVANE_CABLES"]
    drive = common.Driver(wine, driver_exe)
    if pocket:
        drive.argv.append("--pocket")
        wine_reg(wine, "delete", SAVED_KEY, "/f")
        add_driver(wine, DRIVER_KEY, port)
    ends = [os.path.join(cables, "com%d" % n) for n in (port, receiver_port)]
    for end in ends:
        if os.path.islink(end):
            os.unlink(end)
    processes.start("wire", [sys.executable, common.CABLE_RIG, "wire", ends[0], ends[1]])
    require(wait_until(10, lambda: all(os.path.exists(e) for e in ends)), "the wire made no cable")
    return drive


def run_in_either_build(tool, args, scenario):
    """Runs scenario(args, work, processes) in a work folder, under the
    handheld's desktop with --pocket, and reports; answers the exit status."""
    for name in ("WINEPREFIX", "TRELVANE_CABLES", "DISPLAY"):
        if not os.environ.get(name):
            print("%s: %s is not set (run under ctest's wine fixture and an X display)" % (tool, name))
            return 1
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    processes = common.Processes()
    if args.pocket:
        subprocess.run([args.desktop_script, "start"] + DESKTOP_PROGRAMS, check=True, timeout=120)
    with tempfile.TemporaryDirectory(prefix="trelvane-%s-" % tool) as work:
        try:
            scenario(args, work, processes)
        except Abort as stop:
            common.failures.append(str(stop))
        except subprocess.TimeoutExpired as late:
            common.failures.append("no answer in time from: %s" % " ".join(map(str, late.cmd)))
        finally:
            processes.stop_all()
            if args.pocket:
                wine_reg(wine, "delete", r"HKLM\Drivers", "/f")
                wine_reg(wine, "delete", SAVED_KEY, "/f")
                subprocess.run([args.desktop_script, "stop"] + DESKTOP_PROGRAMS, timeout=120)
    for failure in common.failures:
        print("%s: FAILED: %s" % (tool, failure))
    if not common.failures:
        print("%s: all checks passed" % tool)
    return 1 if common.failures else 0


if __name__ == "__main__":
    sys.exit(main())
