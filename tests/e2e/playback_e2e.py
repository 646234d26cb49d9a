#!/usr/bin/env python3
"""Recording and playing back, end to end, in one build of the monitor.

The monitor's COM2 is on a wire (scripts/cable-rig wire) whose other end,
COM12, is written here: sentences of a capture in bursts with silences
between them, noise and a UBX frame among them. File > Record must keep
exactly those bytes, with the path in the log pane, and a timing file
beside them. Then the recording, and every capture in data/captures, is
handed to the running monitor by a second start with the file on its
command line; each must end with the readout trelvane-decode.exe gives for
the same file, and with its last sentence the last in the log pane as soon
as the position reads "end". The recording is played while the link is still
open: Start GPS must then read "Start GPS". Last, a capture paced by fix
cycles is paused (the page and the position hold), stepped (one cycle on),
made faster and, on the desktop, sought to its middle: the page must then
show what the capture's cycles up to there show, as trelvane-decode.exe
reads them, and after three more Steps the log pane's RMC times must still
run in the receiver's order.

  playback_e2e.py --monitor EXE --driver EXE --decode EXE --captures DIR
                  [--pocket --desktop-script FILE]

Needs what families_e2e.py needs.
"""
import argparse
import glob
import json
import os
import re
import subprocess
import sys
import termios
import time
import tty

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_e2e as common  # noqa: E402  the same processes, driver and checks
import pocket_e2e  # noqa: E402  the handheld's registry and screen
from desktop_e2e import check, require, wait_until  # noqa: E402

PORT, RECEIVER_PORT = 2, 12
RECORD, PAUSE, STEP, FASTER, STOP_PLAYING = 40010, 40012, 40013, 40014, 40016
READOUT_KEYS = ["date", "utc", "direction", "speed", "status", "hdop", "pdop", "northSouth", "latitude",
                "eastWest", "longitude"]
# A UBX-ACK-ACK for CFG-MSG, its Fletcher sum included.
UBX_ACK = bytes([0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x01, 0x0F, 0x38])


class Build:
    """Where each build shows what this test reads."""

    def __init__(self, drive, pocket):
        self.drive, self.pocket = drive, pocket
        self.start = 1027 if pocket else 1004

    def position(self):
        """The playing file's position text; the handheld's has no name."""
        return self.drive.value("text", 1050) if self.pocket else self.drive.value("main-text", 1021)

    def readout(self):
        # The handheld fills its readout's boxes only while their page shows:
        # it is shown for the reading, then the page that showed comes back.
        shown = self.drive.value("page") if self.pocket else "info"
        if shown != "info":
            self.drive.ok("tab", 1)
        # The desktop keeps code page 950 text; its degree sign reads back
        # through the system's code page as these two characters.
        text = self.drive.value("readout").replace("\u00a2X", "\u00b0")
        if shown != "info":
            self.drive.ok("tab", ["setup", "info", "accuracy", "charts", "health"].index(shown))
        return text


def decoded_readout(args, path):
    """trelvane-decode.exe's last readout for the file at `path`, '|' between."""
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    build = "pocket" if args.pocket else "desktop"
    done = subprocess.run([wine, args.decode, "--build", build, "Z:" + path], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
    lines = [line for line in done.stdout.decode("utf-8").splitlines() if line.startswith("{")]
    require(done.returncode == 0 and lines, "trelvane-decode gave nothing for %s" % path)
    readout = json.loads(lines[-1])["readout"]
    return "|".join(readout[key] for key in READOUT_KEYS)


def cycle_starts(data):
    """Where each fix cycle starts: at offset 0, then at each RMC line (a
    "$GPRMC" anywhere, or another talker's RMC at the line's start) with a
    receiver's line before it; notes and empty lines are no receiver's."""
    starts, content, at = [0], False, 0
    for line in data.splitlines(keepends=True):
        body = line.rstrip(b"\r\n")
        rmc = b"$GPRMC" in body or (body[:1] == b"$" and body[3:6] == b"RMC")
        if rmc and content and not body.startswith(b"#"):
            starts.append(at)
        content = content or (body != b"" and not body.startswith(b"#"))
        at += len(line)
    return starts


def sentences_in(lines):
    """The sentences the monitor accepts among `lines`, each from its "$" (a
    binary frame may stand before it) and ending in CR LF as it is logged."""
    ended = [line[line.find(b"$"):].rstrip(b"\r\n") + b"\r\n" for line in lines if b"$" in line]
    return [line for line in ended if common.accepted(line)]


def logged_rmc_lines(drive):
    """The log pane's RMC sentences, any talker's."""
    return [line for line in sentences_in(common.log_lines(drive.ok("log"))) if line[3:6] == b"RMC"]


def hand_over(args, processes, build, path):
    """A second start with the file: it goes to the running monitor, and the
    second copy ends."""
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    windows_path = "Z:" + path.replace("/", "\\")
    second = processes.start("second start", [wine, args.monitor, windows_path])
    check(second.wait(timeout=60) == 0, "the second start with %s did not end with 0" % path)
    name = os.path.basename(path)
    require(wait_until(15, lambda: "/" in build.position() and (build.pocket or build.position().startswith(name))),
            "after handing over %s the position reads %r" % (name, build.position()))


def record(args, build, work, cables):
    """Record bursts with silences, noise and a UBX frame; the file must hold
    exactly what was sent."""
    drive = build.drive
    with open(os.path.join(args.captures, "nd-1005.log"), "rb") as f:
        sentences = [line.rstrip(b"\r\n") + b"\r\n" for line in f.read().splitlines() if line.startswith(b"$")]
    # Noise of every byte value, a binary frame, and silences between bursts.
    every_byte = bytes((i * 97) & 0xFF for i in range(256)) + b"\r\n"
    bursts = [b"".join(sentences[0:5]), every_byte + b"".join(sentences[5:8]),
              UBX_ACK + b"".join(sentences[8:10]), b"".join(sentences[10:15])]
    sent = b"".join(bursts)
    build.drive.ok("click", build.start)
    require(drive.run("wait-text", build.start, "Close GPS", 10)[0] == 0, "Start GPS did not open the link")
    drive.ok("command", RECORD)
    require(drive.run("wait-log", "Recording to ", 10)[0] == 0, "the log shows no \"Recording to PATH\"")
    match = re.search(r"Recording to (.+?)\r\n", drive.ok("log"))
    require(match, "the log's recording line names no path")
    windows_path = match.group(1)
    check(re.search(r"\\Trelvane\\\d{8}-\d{6}\.nmea$", windows_path), "the recording is %r" % windows_path)
    receiver = os.open(os.path.realpath(os.path.join(cables, "com%d" % RECEIVER_PORT)), os.O_RDWR | os.O_NOCTTY)
    try:
        # The wire garbles what is sent at another rate than the monitor's.
        tty.setraw(receiver)
        mode = termios.tcgetattr(receiver)
        mode[4] = mode[5] = termios.B57600
        termios.tcsetattr(receiver, termios.TCSANOW, mode)
        for burst in bursts:
            os.write(receiver, burst)
            time.sleep(0.6)
    finally:
        os.close(receiver)
    last = sentences[14].decode().rstrip("\r\n")
    require(drive.run("wait-log", last, 15)[0] == 0, "the last sentence sent never reached the log")
    drive.ok("command", RECORD)
    done = "Recorded %d bytes to %s" % (len(sent), windows_path)
    check(drive.run("wait-log", done, 10)[0] == 0, "the log does not show %r: %r" % (done, drive.ok("log")[-300:]))

    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    path = subprocess.run([wine, "winepath.exe", "-u", windows_path], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=60).stdout.decode().strip()
    require(os.path.exists(path), "the recording %r is not at %r" % (windows_path, path))
    recorded = common.read(path)
    check(recorded == sent, "the recording differs from what was sent: %d bytes, %d sent, first difference at %s" % (
        len(recorded), len(sent), next((i for i, (a, b) in enumerate(zip(recorded, sent)) if a != b), "the end")))
    timing = common.read(path + ".timing")
    reads = [(int.from_bytes(timing[i:i + 4], "little"), int.from_bytes(timing[i + 4:i + 8], "little"))
             for i in range(8, len(timing), 8)]
    check(timing[:8] == b"TRVTIME1" and len(timing) % 8 == 0 and reads and reads[0] == (0, 0),
          "the timing file starts %r" % timing[:16])
    # Each read is whole and in order, as the reader reads (at most 1024
    # bytes), and the silences between the bursts are in the timing: three
    # gaps of about 0.6 s between reads.
    ends = [offset for offset, _ in reads[1:]] + [len(recorded)]
    check(all(0 < end - offset <= 1024 for (offset, _), end in zip(reads, ends)),
          "the timing's reads are not in order: %r" % reads[:20])
    gaps = [b[1] - a[1] for a, b in zip(reads, reads[1:])]
    check(all(gap >= 0 for gap in gaps), "the timing goes back in time: %r" % gaps)
    check(sum(1 for gap in gaps if gap >= 400) >= 3, "the timing shows gaps %r, not three silences" % gaps)
    kept = os.path.join(work, "recorded.nmea")
    for suffix in ("", ".timing"):
        os.replace(path + suffix, kept + suffix)
    return kept


def play_to_end(args, processes, build, path):
    """Played to its end, the page shows the file's readout, and the log pane
    already ends with its last sentence (nothing waits for the pane's next
    flush)."""
    hand_over(args, processes, build, path)
    for _ in range(5):
        build.drive.ok("command", FASTER)
    check(wait_until(60, lambda: build.position().endswith("end"), step=0.5),
          "%s: the position reads %r, not the end" % (path, build.position()))
    last = sentences_in(common.read(path).split(b"\n")[:-1])[-1:]  # a last line without its end is dropped
    logged = common.log_lines(build.drive.ok("log"))[-1:]
    check(logged == last, "%s: at the end the log pane's last line is %r, the file's %r" % (path, logged, last))
    expected = decoded_readout(args, path)
    check(wait_until(5, lambda: build.readout() == expected),
          "%s: played to the end the readout is %r, trelvane-decode's %r" % (path, build.readout(), expected))


def pause_step_seek(args, processes, build, work):
    """Pause holds, Step moves a cycle, Faster shows x2, a seek to the middle
    shows the cycles up to there."""
    drive = build.drive
    capture = os.path.join(args.captures, "nd-1005.log")
    hand_over(args, processes, build, capture)
    drive.ok("command", PAUSE)
    require(wait_until(5, lambda: build.position().endswith("paused")), "Pause: %r" % build.position())
    held, shown = build.position(), build.readout()
    time.sleep(2)
    check(build.position() == held and build.readout() == shown,
          "paused, the page moved: %r %r, then %r %r" % (held, shown, build.position(), build.readout()))
    seconds = int(re.search(r"(\d+):(\d\d) /", held).group(2))
    drive.ok("command", STEP)
    stepped = held.replace("0:00:%02d /" % seconds, "0:00:%02d /" % (seconds + 1))
    check(wait_until(5, lambda: build.position() == stepped), "Step: %r, not %r" % (build.position(), stepped))
    data = common.read(capture)
    starts = cycle_starts(data) + [len(data)]
    prefix = os.path.join(work, "cycles.log")
    with open(prefix, "wb") as f:
        f.write(data[:starts[seconds + 2]])
    expected = decoded_readout(args, prefix)
    check(wait_until(5, lambda: build.readout() == expected),
          "after Step the readout is %r, cycles 0 to %d give %r" % (build.readout(), seconds + 1, expected))
    drive.ok("command", PAUSE)
    drive.ok("command", FASTER)
    check(wait_until(5, lambda: build.position().endswith("x2")), "Faster: %r" % build.position())
    if not build.pocket:
        drive.ok("command", PAUSE)
        drive.ok("seek", 500)
        length = len(starts) - 1  # a second a cycle
        middle = length * 500 // 1000
        with open(prefix, "wb") as f:
            f.write(data[:starts[middle + 1]])
        expected = decoded_readout(args, prefix)
        check(wait_until(5, lambda: build.readout() == expected),
              "sought to the middle the readout is %r, cycles 0 to %d give %r" % (build.readout(), middle, expected))
        check(re.search(r" 0:00:%02d / " % middle, build.position()), "the middle reads %r" % build.position())
    else:
        drive.ok("command", PAUSE)
    at = build.position()
    for _ in range(3):
        drive.ok("command", STEP)
    check(wait_until(5, lambda: build.position() != at), "three Steps left the position at %r" % at)
    times = [line.split(b",")[1] for line in logged_rmc_lines(drive)]
    check(len(times) >= 4 and times == sorted(times), "after three Steps the log pane's RMC times read %r" % times)
    drive.ok("command", STOP_PLAYING)
    check(wait_until(5, lambda: drive.value("enabled", build.start) == "1"), "Stop Playing left Start GPS grey")
    check(drive.value("text", build.start) == "Start GPS", "after Stop Playing Start GPS reads %r" %
          drive.value("text", build.start))


def scenario(args, work, processes):
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    drive = pocket_e2e.start_on_cable(args.pocket, args.driver, processes, PORT, RECEIVER_PORT)
    processes.start("monitor", [wine, args.monitor])
    require(drive.run("wait-window", 60)[0] == 0, "the monitor showed no window within 60 s")
    build = Build(drive, args.pocket)
    drive.ok("select-port", "COM%d:  Serial" % PORT if args.pocket else "COM%d:" % PORT)
    drive.ok("select-baud", "57600")

    recorded = record(args, build, work, os.environ["TRELVANE_CABLES"])
    play_to_end(args, processes, build, recorded)  # the link is still open: playing closes it
    check(drive.value("text", build.start) == "Start GPS",
          "playing a file with the link open left Start GPS reading %r" % drive.value("text", build.start))
    captures = sorted(glob.glob(os.path.join(args.captures, "*.log")) +
                      glob.glob(os.path.join(args.captures, "multi", "*.log")))
    require(len(captures) >= 10, "only %d captures in %s" % (len(captures), args.captures))
    for capture in captures:
        play_to_end(args, processes, build, capture)
    check(drive.value("enabled", build.start) == "0", "Start GPS is enabled while a file plays")
    pause_step_seek(args, processes, build, work)
    drive.run("close", 20)


def main():
    parser = argparse.ArgumentParser()
    for name in ("--monitor", "--driver", "--decode", "--captures"):
        parser.add_argument(name, required=True)
    parser.add_argument("--pocket", action="store_true")
    parser.add_argument("--desktop-script", default="")
    args = parser.parse_args()
    return pocket_e2e.run_in_either_build("playback_e2e", args, scenario)


if __name__ == "__main__":
    sys.exit(main())
