#!/usr/bin/env python3
"""Corrections for an RTK receiver, end to end, in one build of the monitor.

The monitor's COM2 is on the rig's wire; COM12 is trelvane-sim.exe
--receiver ublox8 --rtk, a rover that takes RTCM 3 on its port and acts on
what it is fed. The casters are
Debian's str2str (NTRIP 1.0, fed from here, handing back what its client
sends) and ntrip_casters.ChunkedCaster (NTRIP 2.0, chunked).

- Get List fills the mountpoint list from str2str's table, with the distance
  from the receiver; Connect starts the corrections: the log says so, the
  status line under the log pane names the mountpoint, the rate, the types
  and the receiver's answer, which goes from RTK float to RTK fixed; the
  accuracy page's shares show both.
- The receiver gets exactly the caster's frames: the caster's count of what
  it fed, the monitor's "Corrections stopped: N bytes in M frames" and the
  simulator's own count agree, and the simulator saw no bad frame though
  the stream was garbled; the monitor counted what it dropped.
- The caster gets the receiver's own GGA at the chosen interval, each one a
  line the log pane shows.
- Port Rate moves the rover to 230400 and leaves its RTCM 3 input on: it
  reaches RTK fixed again on the next caster's corrections.
- The settings are kept in the registry, the password only encrypted.
- A caster that stops and returns is followed; a wrong password and a wrong
  mountpoint give their texts; the chunked version 2 caster's frames arrive
  whole.

  corrections_e2e.py --monitor EXE --driver EXE --sim EXE [--pocket --desktop-script FILE]
"""
import argparse
import os
import re
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_e2e as common  # noqa: E402
import pocket_e2e  # noqa: E402
from desktop_e2e import check, require, wait_until  # noqa: E402
from ntrip_casters import ChunkedCaster, Str2strCaster  # noqa: E402

PORT, RECEIVER_PORT = 2, 12
CASTER_PORT, FEED_PORT, CHUNKED_PORT = 12101, 12102, 12103
CORRECTIONS, STOP_CORRECTIONS = 40070, 40071
PAUSE = 40012
PORT_RATE_230400 = 40038
HOST, CASTER_PORT_EDIT, MOUNT, USER, PASSWORD, GGA_SECONDS, GET_LIST, LIST_STATUS = range(1201, 1209)
DESKTOP = {"start": 1004, "status": 1031}
POCKET = {"start": 1027, "status": 1051}
DIALOG = "Corrections"
SETTINGS_KEY = r"HKCU\Software\Trelvane\Corrections"


class Run:
    def __init__(self, args, drive, sim_out):
        self.args, self.drive, self.sim_out = args, drive, sim_out
        self.ids = POCKET if args.pocket else DESKTOP
        self.casters = []
        self.last_stop = None

    def caster(self, kind, *args, **options):
        """A caster started for the scenario, closed with it at the latest."""
        made = kind(*args, **options)
        self.casters.append(made)
        if kind is Str2strCaster:
            require(not common_listening(args[0]), "port %d is taken before str2str starts" % args[0])
            made.start()
        return made

    def status(self):
        return self.drive.value("text", self.ids["status"])

    def wait_status(self, pattern, seconds):
        return wait_until(seconds, lambda: re.search(pattern, self.status()) is not None, step=0.3)

    def connect(self, fields=None):
        """Receiver > Corrections..., the fields ({control: text}) typed, Connect."""
        self.drive.ok("command", CORRECTIONS)
        typed = ["%d=%s" % (control, value) for control, value in (fields or {}).items()]
        self.drive.ok("dialog", DIALOG, 15, *typed, "press=1")
        require(wait_until(10, lambda: self.drive.run("dialog-text", DIALOG, HOST, "", 0.1)[0] != 0),
                "the Corrections dialog did not close on Connect")

    def stop(self, counted=True):
        """Stop Corrections: the counts from the log's last line (`counted`),
        else only the status line emptied."""
        if not counted:
            self.drive.ok("command", STOP_CORRECTIONS)
            check(wait_until(10, lambda: self.status() == ""), "Stop Corrections left %r" % self.status())
            return None
        # The pane empties itself every hundred lines: the stop is asked for
        # just after it did, so that its line stands long enough to be read.
        wait_until(15, lambda: self.drive.ok("log").count("\r\n") < 40, step=0.2)
        self.drive.ok("command", STOP_CORRECTIONS)
        # The line as the driver saw it (the pane empties itself every hundred
        # lines); an earlier stop's line may still stand there a moment.
        seen = []

        def new_line():
            seen[:] = re.findall(r"Corrections stopped: (\d+) bytes in (\d+) frames, (\d+) dropped",
                                 self.drive.run("wait-log", "Corrections stopped:", 10)[1])
            return seen and seen[-1] != self.last_stop
        wait_until(3, new_line, step=0.05)
        require(seen, "no 'Corrections stopped: N bytes in M frames, K dropped' line")
        self.last_stop = seen[-1]
        return tuple(int(n) for n in seen[-1])

    def sim_totals(self):
        """The simulator's "== rtcm" lines: bytes of good frames, bad, types."""
        total = bad = 0
        types = set()
        for line in common.read(self.sim_out).decode(errors="replace").splitlines():
            m = re.match(r"== rtcm ([\d ]+) \((\d+) bytes, (\d+) bad\)", line)
            if m:
                types.update(int(t) for t in m[1].split())
                total += int(m[2])
                bad += int(m[3])
        return total, bad, types


def common_listening(port):
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", port)) == 0


def gga_ok(line):
    text = line.decode(errors="replace")
    m = re.match(r"^\$(G[NP]GGA,[^*]*)\*([0-9A-F]{2})$", text)
    if not m:
        return False
    checksum = 0
    for c in m[1].encode():
        checksum ^= c
    return checksum == int(m[2], 16)


def list_and_flow(run, caster):
    drive = run.drive
    drive.ok("command", CORRECTIONS)
    drive.ok("dialog", DIALOG, 15, "%d=127.0.0.1" % HOST, "%d=%d" % (CASTER_PORT_EDIT, CASTER_PORT), "%d=user" % USER,
             "%d=pass" % PASSWORD, "%d=2" % GGA_SECONDS, "press=%d" % GET_LIST)
    check(drive.run("dialog-text", DIALOG, LIST_STATUS, "1 mountpoints found", 15)[0] == 0,
          "Get List: the status reads %r" % drive.run("dialog-text", DIALOG, LIST_STATUS, "", 1)[1])
    items = drive.ok("dialog-items", DIALOG, MOUNT).split("\n")
    check(re.fullmatch(r"TEST \(RTCM 3\.3, DEU, \d+ km\)", items[0] or "") is not None,
          "Get List: the list holds %r" % items)
    drive.ok("dialog", DIALOG, 5, "%d=%s" % (MOUNT, items[0]), "press=1")
    check(drive.run("wait-log", "Corrections started from 127.0.0.1/TEST", 20)[0] == 0,
          "the log does not say the corrections started")
    check(run.wait_status(r"^Corrections: TEST \d+\.\d kB/s, 1005 1077 1087 1230, \d s old, receiver RTK float", 20),
          "the status line never showed RTK float: %r" % run.status())
    check(run.wait_status(r", receiver RTK fixed \(\d+\.\d s\)$", 25),
          "the status line never showed RTK fixed: %r" % run.status())
    # GGA at 2 s intervals meanwhile; the log pane's lines are kept as they
    # pass, since the pane empties itself every hundred lines.
    shown = set()
    for _ in range(30):
        shown.update(drive.ok("log").encode().split(b"\r\n"))
        time.sleep(0.2)
    shares = drive.ok("accuracy-texts")
    check("RTK fixed" in shares and "RTK float" in shares, "the accuracy page's shares: %r" % shares)
    save_pictures(run)
    caster.stop.set()  # nothing more is fed; what was fed reaches the receiver
    time.sleep(2.5)
    nbytes, frames, dropped = run.stop()
    caster.close()
    check(run.status() == "", "after Stop Corrections the status line reads %r" % run.status())
    sim_bytes, sim_bad, types = run.sim_totals()
    with caster.sent.lock:
        fed = (caster.sent.frame_bytes, caster.sent.frames, caster.sent.garbage)
        lines = list(caster.sent.lines)
    check((nbytes, frames) == fed[:2] and sim_bytes == nbytes and sim_bad == 0,
          "fed %d bytes in %d frames; the monitor wrote %d in %d; the receiver took %d, %d bad"
          % (fed[0], fed[1], nbytes, frames, sim_bytes, sim_bad))
    check(dropped >= fed[2] > 0, "%d garbage bytes fed, the monitor dropped %d" % (fed[2], dropped))
    check(types == {1005, 1077, 1087, 1230}, "the receiver saw the types %r" % sorted(types))
    gaps = [b[0] - a[0] for a, b in zip(lines, lines[1:])]
    # Each exactly a line the receiver sent, as the log pane showed it.
    check(len(lines) >= 5 and all(gga_ok(line) for _, line in lines) and
          sum(line in shown for _, line in lines) >= 2,
          "the caster got %r" % [line for _, line in lines][:6])
    check(gaps and all(1.0 <= gap <= 3.5 for gap in gaps), "GGA intervals %r, not about 2 s" % gaps)


def save_pictures(run):
    """With TRELVANE_E2E_PICTURES set (a folder): the Setup page with its
    status line and the accuracy page of the receiver at RTK fixed, as the
    README shows them."""
    folder = os.environ.get("TRELVANE_E2E_PICTURES")
    if not folder:
        return
    build = "pocket" if run.args.pocket else "desktop"
    for tab, name in ((0, "setup"), (2, "accuracy")):
        run.drive.ok("tab", tab)
        time.sleep(1.5)
        left, top, right, bottom = (int(n) for n in run.drive.ok("window-rect").split())
        shot = os.path.join(folder, "screen.ppm")
        subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:" + shot], check=True, timeout=30)
        subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, max(left, 0), max(top, 0)),
                        "+repage", os.path.join(folder, "%s-corrections-%s.png" % (build, name))], check=True, timeout=30)
        os.unlink(shot)
    run.drive.ok("tab", 0)


def port_rate(run):
    """Port Rate on a rover set up for corrections: only the rate changes."""
    run.drive.ok("command", PORT_RATE_230400)
    check(run.drive.run("wait-log", "Receiver now at 230400", 25)[0] == 0,
          "after Port Rate 230400 the log does not say 'Receiver now at 230400'")
    said = common.read(run.sim_out)
    check(b"== port rate 230400" in said and b"RTCM 3 in off" not in said,
          "the rover's port after Port Rate: %r" % said[-300:])


def registry(run):
    """The settings kept, the password sealed."""
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    shown = subprocess.run([wine, "reg", "query", SETTINGS_KEY], capture_output=True, timeout=60).stdout
    shown = shown.decode("utf-8", "replace")
    check(re.search(r"Host\s+REG_SZ\s+127\.0\.0\.1", shown) and re.search(r"Mountpoint\s+REG_SZ\s+TEST", shown)
          and re.search(r"Password\s+REG_BINARY", shown), "the registry holds %r" % shown)
    check("pass" not in shown.replace("Password", "") and "70617373" not in shown.upper(),
          "the password is readable in the registry: %r" % shown)


def losses(run):
    drive = run.drive
    caster = run.caster(Str2strCaster, CASTER_PORT, FEED_PORT)
    # The dialog opens with the saved settings: only Connect is pressed.
    run.connect()
    check(drive.run("wait-log", "Corrections started from 127.0.0.1/TEST", 20)[0] == 0,
          "the saved settings did not reconnect")
    caster.close()
    check(drive.run("wait-log", "Corrections lost: ", 15)[0] == 0, "a caster gone: the log does not say so")
    check(run.wait_status(r"^Corrections: reconnecting in \d+ s \(", 5),
          "a caster gone: the status line reads %r" % run.status())
    caster = run.caster(Str2strCaster, CASTER_PORT, FEED_PORT)
    check(drive.run("wait-log", "Corrections started from 127.0.0.1/TEST", 30)[0] == 0
          and run.wait_status(r"^Corrections: TEST \d+\.\d kB/s, ", 5),
          "the caster came back but the corrections did not: %r" % run.status())
    check(run.wait_status(r", receiver RTK fixed \(\d+\.\d s\)$", 30),
          "at its new rate the rover never got back to RTK fixed: %r" % run.status())
    run.stop(counted=False)
    caster.close()

    caster = run.caster(Str2strCaster, CASTER_PORT, FEED_PORT)
    for fields, text, log in (({PASSWORD: "wrong"}, "Corrections: caster refused the login",
                               "Corrections lost: the caster refused the login"),
                              ({PASSWORD: "pass", MOUNT: "NOPE"}, "Corrections: no mountpoint NOPE",
                               "Corrections lost: no mountpoint NOPE")):
        logged = drive.watch_log(log, 25)
        run.connect(fields)
        check(run.wait_status("^" + re.escape(text) + "$", 15), "expected %r, the status reads %r" % (text, run.status()))
        check(logged(), "the log does not say %r" % log)
        check(run.wait_status("^" + re.escape(text) + "$", 5), "expected %r, the status reads %r" % (text, run.status()))
        run.stop(counted=False)
    caster.close()

    chunked = run.caster(ChunkedCaster, CHUNKED_PORT)
    sim_before = run.sim_totals()[0]
    logged = drive.watch_log("Corrections started from 127.0.0.1/CHUNK", 25)
    run.connect({CASTER_PORT_EDIT: CHUNKED_PORT, MOUNT: "CHUNK"})
    check(run.wait_status(r"^Corrections: CHUNK \d+\.\d kB/s, ", 15) and logged(),
          "the version 2 caster's corrections did not start: %r, it got %r" % (run.status(), chunked.requests))
    time.sleep(4)
    chunked.stop.set()
    time.sleep(2)
    nbytes, frames, dropped = run.stop()
    sim_bytes, sim_bad, _ = run.sim_totals()
    check((nbytes, frames, dropped) == (chunked.sent.frame_bytes, chunked.sent.frames, 0)
          and sim_bytes - sim_before == nbytes and sim_bad == 0,
          "chunked: fed %d bytes in %d frames; the monitor wrote %d in %d (%d dropped); the receiver took %d"
          % (chunked.sent.frame_bytes, chunked.sent.frames, nbytes, frames, dropped, sim_bytes - sim_before))
    check(any("Ntrip-Version: Ntrip/2.0" in r and "User-Agent: NTRIP Trelvane/" in r for r in chunked.requests),
          "the version 2 caster got %r" % chunked.requests)


def refusals(run):
    """What can never make a request is said in the dialog, which stays
    open: a user name with ':' and a mountpoint with a space."""
    drive = run.drive
    drive.ok("command", CORRECTIONS)
    for fields, said in (({USER: "a:b", MOUNT: "TEST"}, "A user name cannot hold ':'"),
                         ({USER: "user", MOUNT: "MY MOUNT"}, "A mountpoint holds no spaces or control characters")):
        typed = ["%d=%s" % (control, value) for control, value in fields.items()]
        drive.ok("dialog", DIALOG, 15, *typed, "press=1")
        check(drive.run("dialog-text", DIALOG, LIST_STATUS, said, 10)[0] == 0,
              "the dialog did not say %r: %r" % (said, drive.run("dialog-text", DIALOG, LIST_STATUS, "", 1)[1]))
    drive.ok("dialog", DIALOG, 5, "%d=TEST" % MOUNT, "press=2")
    require(wait_until(10, lambda: drive.run("dialog-text", DIALOG, HOST, "", 0.1)[0] != 0),
            "the Corrections dialog did not close on Cancel")


def handed_over_meanwhile(run, args, processes):
    """A second start hands a file over while the Corrections dialog is
    open: the link it was opened for is closed by then, so Connect starts
    no client, and the log says why."""
    drive = run.drive
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    capture = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "data", "captures",
                                           "bundg_zeus_9.log"))
    drive.ok("command", CORRECTIONS)
    drive.ok("dialog", DIALOG, 15)
    second = processes.start("second start", [wine, args.monitor, "Z:" + capture.replace("/", "\\")])
    check(second.wait(timeout=60) == 0, "the second start did not end with 0")
    check(wait_until(15, lambda: drive.value("text", run.ids["start"]) != "Close GPS"),
          "the hand-over did not close the link")
    # Paused first, posted ahead of the click: the played file's lines would
    # otherwise empty the pane within a second or two of the answer.
    drive.ok("command", PAUSE)
    drive.ok("dialog", DIALOG, 5, "press=1")
    check(drive.run("wait-log", "Corrections not started: a file is playing", 30)[0] == 0,
          "Connect after the hand-over: the log does not say why nothing started")
    time.sleep(2)
    check(run.status() == "" and "Corrections started" not in drive.ok("log"),
          "a client started on a closed link: the status reads %r" % run.status())


def scenario(args, work, processes):
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    pocket_e2e.wine_reg(wine, "delete", SETTINGS_KEY, "/f")
    drive = pocket_e2e.start_on_cable(args.pocket, args.driver, processes, PORT, RECEIVER_PORT)
    processes.start("monitor", [wine, args.monitor])
    require(drive.run("wait-window", 60)[0] == 0, "the monitor showed no window within 60 s")
    drive.ok("select-port", "COM%d:  Serial" % PORT if args.pocket else "COM%d:" % PORT)
    drive.ok("select-baud", "115200")
    ids = POCKET if args.pocket else DESKTOP
    drive.ok("click", ids["start"])
    require(drive.run("wait-text", ids["start"], "Close GPS", 10)[0] == 0, "Start GPS did not open")
    sim_out = os.path.join(work, "sim.out")
    with open(sim_out, "wb") as out:
        processes.start("trelvane-sim.exe", [wine, args.sim, "--receiver", "ublox8", "--baud", "115200", "--rtk",
                                             "COM%d" % RECEIVER_PORT], stdout=out)
    require(drive.run("wait-log", "GGA,", 30)[0] == 0, "no GGA reached the log pane")
    run = Run(args, drive, sim_out)
    try:
        list_and_flow(run, run.caster(Str2strCaster, CASTER_PORT, FEED_PORT, garble=True))
        port_rate(run)
        registry(run)
        refusals(run)
        losses(run)
        handed_over_meanwhile(run, args, processes)
    finally:
        for caster in run.casters:
            caster.close()
    drive.run("close", 20)


def main():
    parser = argparse.ArgumentParser()
    for name in ("--monitor", "--driver", "--sim"):
        parser.add_argument(name, required=True)
    parser.add_argument("--pocket", action="store_true")
    parser.add_argument("--desktop-script", default="")
    args = parser.parse_args()
    return pocket_e2e.run_in_either_build("corrections_e2e", args, scenario)


if __name__ == "__main__":
    sys.exit(main())
