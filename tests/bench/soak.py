#!/usr/bin/env python3
"""Soaks both monitors under Wine (run by scripts/soak).

The real trelvane.exe, then the real trelvane-pocket.exe, each for half the
run, on COM3 of the soak's prefix: a socat cable to the native trelvane-sim
(--fast --noise 0.2, 57600 baud). trelvane-drive works the window at random
(seeded): Start/Close GPS, tab switches, on the desktop a port scan closed
with its OK, and the receiver unplugged and plugged back in (the cable and
the simulator ended and started again on the same link names).

A warm-up goes through every kind of event once, so that what a monitor
builds on first use (the scan's dialog, the other page, a second link) is in
the baseline; the baseline is sampled right after it, and then a sample every
interval. Each sample is taken with the link open, so that like is compared
with like: the working set (VmRSS of the monitor's Wine process), its handles
(GetProcessHandleCount through trelvane-drive), its threads (/proc/PID/task)
and its GDI objects (the monitor's own census, asked for by a private
message). The window must answer
a sent message within 1 s at every sample and every few seconds between; a
monitor that ends on its own has crashed.

At scale (--scale), the monitor also records whenever its link is open, the
desktop shares its receiver with eight clients that come back whenever they
are dropped (four watching gpsd's JSON, one taking the sentences, one
reading slowly through a small buffer, one never reading, one sending
garbage), and a further event hands the monitor an hour's timed recording
(10 Hz, 72 MB, made at the start), seeks in it a few times (the desktop) or
lets it play (the handheld), and stops playing.
"""
import argparse
import os
import random
import signal
import socket
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from monitor_bench import WINE, Bench  # noqa: E402  the same process keeping

FIGURES = ("working set KiB", "handles", "threads", "GDI objects")
# Flat: the mean working set of the last ten samples is within 512 KiB of the
# mean of the first ten (the working set breathes with the heap and Wine's
# caches, so single samples are not compared), and handles, threads and GDI
# objects end where they began. A count may catch something in flight (a
# reader thread ending, a probe's event, a paint), so it has grown only when
# every one of the last samples is above every one of the first. A run too
# short for ten samples at each end (the minute scripts/test runs) compares
# its halves, and lets the working set move 5 % too: its few samples still see
# the heap settle.
WINDOW = 10
WORKING_SET_KIB = 512
SHORT_RUN_SHARE = 0.05
COUNTS = ("handles", "threads", "GDI objects")
PORT = 3
BUILDS = {
    # build: (Start GPS control id, driver flags, events)
    "desktop": (1004, [], ("gps", "tab", "scan", "replug")),
    "pocket": (1027, ["--pocket"], ("gps", "tab", "replug")),
}
SCAN_BUTTON = 1002
RECORD, STOP_PLAYING, SHARE = 40010, 40016, 40020
SHARED_TEXT = 1030  # "Shared: N clients"
GPSD_PORT, NMEA_PORT = 2947, 10110


def verdict(samples, crashed=None, hang=None):
    """'flat', or what went wrong. samples: dicts of FIGURES (the first is the
    baseline, taken after the warm-up)."""
    problems = []
    if crashed is not None:
        problems.append("crashed (%s)" % crashed)
    if hang is not None:
        problems.append("hung (%s)" % hang)
    if len(samples) >= 2:
        k = min(WINDOW, len(samples) // 2)
        first, last = samples[:k], samples[-k:]
        before = sum(s["working set KiB"] for s in first) / k
        after = sum(s["working set KiB"] for s in last) / k
        allowed = WORKING_SET_KIB if k == WINDOW else max(WORKING_SET_KIB, before * SHORT_RUN_SHARE)
        if after - before > allowed:
            problems.append("working set KiB grew %.0f -> %.0f (means of the first and last %d samples)" %
                            (before, after, k))
        for figure in COUNTS:
            began, ended = max(s[figure] for s in first), min(s[figure] for s in last)
            if ended > began:
                problems.append("%s grew %s -> %s" % (figure, began, ended))
    elif crashed is None and hang is None:
        problems.append("too few samples to judge")
    return "flat" if not problems else "; ".join(problems)


def table(build, samples):
    lines = ["%s:" % build, "  minute  " + "  ".join("%15s" % f for f in FIGURES)]
    for s in samples:
        lines.append("  %6.1f  " % s["minute"] + "  ".join("%15d" % s[f] for f in FIGURES))
    return "\n".join(lines)


def plot(results, path):
    """One panel per figure, a line per build, with ImageMagick's -draw."""
    colours = {"desktop": "#1f5fbf", "pocket": "#c03020"}
    width, height, left, top, panel_h = 720, 760, 90, 40, 150
    draw = ["-font", "DejaVu-Sans", "-pointsize", "12", "-fill", "black",
            "-draw", "text 10,20 'trelvane soak: desktop (blue), pocket (red); x: minutes'"]
    end = max([s["minute"] for r in results.values() for s in r["samples"]] + [0.1])
    for i, figure in enumerate(FIGURES):
        y0 = top + i * (panel_h + 30)
        values = [s[figure] for r in results.values() for s in r["samples"]]
        low, high = (min(values), max(values)) if values else (0, 1)
        if high - low < 1:
            high = low + 1
        draw += ["-fill", "none", "-stroke", "#888888", "-draw",
                 "rectangle %d,%d %d,%d" % (left, y0, width - 20, y0 + panel_h), "-stroke", "none", "-fill", "black",
                 "-draw", "text 10,%d '%s'" % (y0 + 14, figure),
                 "-draw", "text 10,%d '%d'" % (y0 + 34, high),
                 "-draw", "text 10,%d '%d'" % (y0 + panel_h, low),
                 "-draw", "text %d,%d '%.1f'" % (width - 50, y0 + panel_h + 14, end)]
        for build, result in results.items():
            points = ["%d,%d" % (left + (width - 20 - left) * s["minute"] / end,
                                 y0 + panel_h - (panel_h - 10) * (s[figure] - low) / (high - low))
                      for s in result["samples"]]
            if len(points) >= 2:
                draw += ["-fill", "none", "-stroke", colours[build], "-strokewidth", "2",
                         "-draw", "polyline " + " ".join(points), "-stroke", "none", "-strokewidth", "1"]
            for p in points:
                x, y = map(int, p.split(","))
                draw += ["-fill", colours[build], "-draw", "circle %d,%d %d,%d" % (x, y, x + 3, y)]
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "xc:white"] + draw + [path],
                   check=True, timeout=60)


class Soak(Bench):
    def __init__(self, args):
        super().__init__(args)
        self.rng = random.Random(args.seed)
        cables = os.environ["TRELVANE_CABLES"]
        self.program_end = os.path.join(cables, "com%d" % PORT)
        self.rx = os.path.join(cables, "soak-receiver")
        self.cable = self.receiver = None
        self.flags = []
        self.recording = False
        self.clients = None
        self.played = None
        self.seeks = 0

    def call(self, *words):
        """(exit status, output, error) of one trelvane-drive action. The
        driver explains every failure of its own; one without a word never
        ran (Wine now and then fails to start a program under load), and is
        started once more."""
        for attempt in range(2):
            try:
                done = subprocess.run([WINE, self.args.driver] + self.flags + [str(w) for w in words],
                                      capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=60)
            except subprocess.TimeoutExpired:
                return 1, "", "trelvane-drive %s gave no result in 60 s" % words[0]
            if done.returncode == 0 or done.stdout.strip() or done.stderr.strip():
                break
            time.sleep(0.5)
        return done.returncode, done.stdout.strip(), done.stderr.strip()

    def plug(self):
        for path in (self.program_end, self.rx):
            if os.path.islink(path):
                os.unlink(path)
        self.cable = self.start(["socat", "pty,raw,echo=0,link=" + self.program_end,
                                 "pty,raw,echo=0,link=" + self.rx])
        deadline = time.monotonic() + 5
        while not (os.path.exists(self.program_end) and os.path.exists(self.rx)):
            if time.monotonic() > deadline:
                raise RuntimeError("socat made no cable")
            time.sleep(0.02)
        self.receiver = self.start([self.args.sim, "--fast", "--noise", "0.2", "--seed", str(self.args.seed),
                                    "--baud", "57600", self.rx, self.args.capture])

    def unplug(self):
        for proc in (self.receiver, self.cable):
            self.stop(proc)
            self.procs.remove(proc)

    def gps_open(self, start_id):
        return self.call("text", start_id)[1] == "Close GPS"

    def set_gps(self, start_id, wanted_open):
        if self.gps_open(start_id) == wanted_open:
            self.keep_recording(wanted_open)
            return True
        self.call("click", start_id)
        label = "Close GPS" if wanted_open else "Start GPS"
        done = self.call("wait-text", start_id, label, 10)[0] == 0
        self.recording = self.recording and wanted_open  # a closed link ends its recording
        self.keep_recording(wanted_open and done)
        return done

    def keep_recording(self, link_open):
        """At scale, an open link is recorded."""
        if self.args.scale and link_open and not self.recording:
            self.recording = self.call("command", RECORD)[0] == 0

    def play(self, build):
        """An hour's recording handed to the monitor, sought in (the desktop)
        or left to play, then stopped: the link is closed by it."""
        self.recording = False
        second = self.start([WINE, self.args.pocket if build == "pocket" else self.args.monitor,
                             "Z:" + self.played.replace("/", "\\")])
        try:
            second.wait(timeout=60)
        except subprocess.TimeoutExpired:
            return "play (the second start did not end)"
        finally:
            self.stop(second)
            self.procs.remove(second)
        if build == "desktop":
            sought = sum(self.call("seek", self.rng.randint(0, 1000))[0] == 0 for _ in range(self.rng.randint(2, 5)))
            time.sleep(self.rng.uniform(0.5, 2))
        else:
            sought = 0
            time.sleep(self.rng.uniform(2, 5))
        self.call("command", STOP_PLAYING)
        self.seeks += sought
        return "play and seek" if sought else "play"

    def event(self, kind, start_id):
        if kind == "gps":
            return "gps" if self.set_gps(start_id, not self.gps_open(start_id)) else "gps (refused)"
        if kind == "tab":
            page = self.call("page")[1]
            self.call("tab", 0 if page == "info" else 1)
            return "tab"
        if kind == "scan":  # the button is greyed out while the link is open
            self.set_gps(start_id, False)
            self.call("post-click", SCAN_BUTTON)
            time.sleep(self.rng.uniform(1, 4))  # OK mid-scan or after it
            ok = self.call("scan-ok", 20)[0] == 0
            # The list now holds the ports scanned, each with what was found.
            # (blank when the OK came before its probe).
            chosen = any(self.call("select-port", "COM%d:%s" % (PORT, status))[0] == 0
                         for status in ("  GPS Receiver", "  NO GPS Receiver", "  NO DEVICE", "  ", ""))
            if not ok:
                return "scan (no dialog to close)"
            return "scan" if chosen else "scan (COM%d not listed after it)" % PORT
        if kind == "play":
            return self.play("pocket" if self.flags else "desktop")
        self.unplug()
        self.recording = False
        time.sleep(self.rng.uniform(0.5, 3))
        self.plug()
        return "replug"

    def check(self, monitor):
        """None, or the reason the monitor counts as crashed or hung."""
        if monitor.poll() is not None:
            return "crash", "the process ended with %d" % monitor.returncode
        code, _, error = self.call("gdi-census")
        if code != 0:
            if monitor.poll() is not None:
                return "crash", "the process ended with %d" % monitor.returncode
            return "hang", error or "trelvane-drive gdi-census ended with %d and said nothing" % code
        return None

    def sample(self, monitor, start_id, minute):
        self.set_gps(start_id, True)
        time.sleep(1)  # the reader settles
        trouble = self.check(monitor)  # an ended process has no figures left to read
        if trouble:
            raise SoakEnded(*trouble)
        figures = {"minute": minute}
        with open("/proc/%d/status" % monitor.pid) as f:
            rss = [line for line in f if line.startswith("VmRSS:")]
        figures["working set KiB"] = int(rss[0].split()[1])
        code, out, error = self.call("handle-count")
        if code == 0:
            figures["handles"] = int(out)
        else:  # Wine without GetProcessHandleCount: the Wine process's open fds
            figures["handles"] = len(os.listdir("/proc/%d/fd" % monitor.pid))
            self.handle_source = "open fds of the Wine process (%s)" % error
        figures["threads"] = len(os.listdir("/proc/%d/task" % monitor.pid))
        code, out, error = self.call("gdi-census")
        if code != 0:
            raise SoakEnded("hang", "no census at a sample: %s" % (error or "exit status %d" % code))
        figures["GDI objects"] = int(out)
        return figures

    def soak(self, build, seconds, interval):
        start_id, self.flags, events = BUILDS[build]
        if self.args.scale:
            events = events + ("play",)
            if self.played is None:
                self.played = make_recording(os.path.join(os.environ["TRELVANE_CABLES"], "..", "hour.nmea"))
        monitor_path = self.args.pocket if build == "pocket" else self.args.monitor
        self.handle_source = "GetProcessHandleCount"
        result = {"samples": [], "events": {}, "crashed": None, "hang": None}
        self.plug()
        monitor = self.start([WINE, monitor_path])
        try:
            if self.call("wait-window", 60)[0] != 0:
                raise SoakEnded("crash", "no window within 60 s")
            if build == "desktop":
                self.call("select-port", "COM%d:" % PORT)
            self.call("select-baud", "57600")
            self.recording = False
            self.set_gps(start_id, True)
            if self.args.scale and build == "desktop":
                # Sharing is kept from one start to the next, and its text
                # follows a start (or a posted command) a moment later: it is
                # switched only when the text has said for 5 s that sharing is
                # off (empty) or on but not listening ("Sharing failed").
                deadline = time.monotonic() + 30
                toggled = time.monotonic()
                shared = self.call("text", SHARED_TEXT)[1]
                while not shared.startswith("Shared:") and time.monotonic() < deadline:
                    if time.monotonic() - toggled >= 5:
                        self.call("command", SHARE)
                        toggled = time.monotonic()
                    time.sleep(0.5)
                    shared = self.call("text", SHARED_TEXT)[1]
                if not shared.startswith("Shared:"):
                    print("soak: the desktop does not share: %r" % shared)
                self.clients = ShareClients(self.args.seed)
            for kind in events:
                self.event(kind, start_id)
            began = time.monotonic()
            next_sample = began
            while True:
                now = time.monotonic()
                if now >= next_sample:
                    result["samples"].append(self.sample(monitor, start_id, (now - began) / 60))
                    print("soak: %s at %.1f min: " % (build, result["samples"][-1]["minute"]) +
                          ", ".join("%s %d" % (f, result["samples"][-1][f]) for f in FIGURES), flush=True)
                    next_sample += interval
                    if next_sample > began + seconds + 1:
                        break
                    continue
                done = self.event(self.rng.choice(events), start_id)
                result["events"][done] = result["events"].get(done, 0) + 1
                trouble = self.check(monitor)
                if trouble:
                    raise SoakEnded(*trouble)
                time.sleep(max(0.0, min(self.rng.uniform(2, 5), next_sample - time.monotonic())))
        except SoakEnded as ended:
            result["crashed" if ended.kind == "crash" else "hang"] = ended.reason
        if self.clients is not None:
            result["clients"] = self.clients.stop()
            self.clients = None
        if self.seeks:
            result["events"]["seeks within them"] = self.seeks
            self.seeks = 0
        result["handle source"] = self.handle_source
        if monitor.poll() is None and self.call("close", 20)[0] != 0:
            self.stop(monitor)
        self.unplug()
        self.flags = []
        return result


def make_recording(path, cycles=36000):
    """An hour at 10 Hz of the four-system capture's cycles, with its timing
    beside it (one read a cycle, 100 ms apart); made once."""
    path = os.path.normpath(path)
    if os.path.exists(path + ".timing"):
        return path
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    with open(os.path.join(root, "data", "captures", "multi", "ublox-zed-f9p-nmea.log"), "rb") as f:
        lines = [line.rstrip(b"\r\n") + b"\r\n" for line in f.read().splitlines() if line.startswith(b"$")]
    blocks = []
    for line in lines:
        if line[3:6] == b"RMC" or not blocks:
            blocks.append(b"")
        blocks[-1] += line
    offset = 0
    with open(path, "wb") as data, open(path + ".timing", "wb") as timing:
        timing.write(b"TRVTIME1")
        for i in range(cycles):
            block = blocks[i % len(blocks)]
            timing.write(struct.pack("<II", offset, i * 100))
            data.write(block)
            offset += len(block)
    return path


class ShareClients:
    """Eight clients of the shared receiver, each on a thread of its own and
    back within a second whenever it is dropped or refused."""
    KINDS = ("json", "json", "json", "json", "nmea", "slow", "silent", "garbage")

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.running = True
        self.counts = {kind: {"connects": 0, "bytes": 0} for kind in set(self.KINDS)}
        self.threads = [threading.Thread(target=self.client, args=(kind,), daemon=True) for kind in self.KINDS]
        for thread in self.threads:
            thread.start()

    def client(self, kind):
        port = NMEA_PORT if kind in ("nmea", "silent") else GPSD_PORT
        while self.running:
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                    if kind == "slow":
                        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
                    self.counts[kind]["connects"] += 1
                    if port == GPSD_PORT and kind != "garbage":
                        s.sendall(b'?WATCH={"enable":true,"json":true,"nmea":%s};' %
                                  (b"true" if kind == "slow" else b"false"))
                    self.serve(kind, s)
            except OSError:
                pass
            time.sleep(1)

    def serve(self, kind, s):
        s.settimeout(1)
        while self.running:
            if kind == "silent":
                time.sleep(0.5)
                continue
            if kind == "garbage":
                s.sendall(bytes(self.rng.randrange(256) for _ in range(64)))
                time.sleep(0.1)
                continue
            try:
                got = s.recv(4096 if kind == "slow" else 65536)
            except socket.timeout:
                continue
            if not got:
                return
            self.counts[kind]["bytes"] += len(got)
            if kind == "slow":
                time.sleep(0.25)  # 16 KB a second at most: just ahead of the stream

    def stop(self):
        self.running = False
        for thread in self.threads:
            thread.join(timeout=10)
        return self.counts


class SoakEnded(Exception):
    def __init__(self, kind, reason):
        super().__init__(reason)
        self.kind, self.reason = kind, reason


def interval_for(seconds):
    """A minute; in a run too short for three, a quarter of the build's share."""
    return 60.0 if seconds >= 180 else seconds / 4


def main():
    parser = argparse.ArgumentParser()
    for name in ("monitor", "pocket", "driver", "sim", "capture", "plot", "desktop-script"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--only", choices=sorted(BUILDS), help="soak this build alone, for all the minutes")
    parser.add_argument("--scale", action="store_true",
                        help="record, share with eight clients, and play and seek an hour's recording as well")
    args = parser.parse_args()
    if args.seed is None:
        args.seed = random.SystemRandom().randrange(1, 1 << 31)
    builds = [args.only] if args.only else ["desktop", "pocket"]
    share = args.minutes * 60 / len(builds)
    interval = interval_for(share)
    print("soak: %.1f minutes, %.1f per build, a sample every %.0f s after a warm-up of one event of each "
          "kind; seed %d (scripts/soak %g --seed %d%s repeats it)" %
          (args.minutes, share / 60, interval, args.seed, args.minutes, args.seed,
           " --only " + args.only if args.only else ""), flush=True)
    soak = Soak(args)
    results = {}
    # The SIGTERM of a caller ending the run still cleans up.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    pocket_programs = ["trelvane-pocket.exe", "trelvane-drive.exe"]
    try:
        # A run cut short may have left the driver on the handheld's screen,
        # where it would not find the desktop monitor.
        subprocess.run([args.desktop_script, "stop", "--desktop"] + pocket_programs, timeout=60)
        if "desktop" in builds:
            results["desktop"] = soak.soak("desktop", share, interval)
        if "pocket" in builds:
            # The handheld's screen, shared with the driver so that it finds the windows.
            subprocess.run([args.desktop_script, "start"] + pocket_programs, check=True, timeout=60)
            try:
                results["pocket"] = soak.soak("pocket", share, interval)
            finally:
                subprocess.run([args.desktop_script, "stop", "--desktop"] + pocket_programs, timeout=60)
    finally:
        soak.cleanup()
    flat = True
    for build, result in results.items():
        print(table(build, result["samples"]))
        print("  events: " + ", ".join("%s %d" % item for item in sorted(result["events"].items())))
        if "clients" in result:
            print("  share clients: " + ", ".join("%s %d connects, %d bytes" % (kind, c["connects"], c["bytes"])
                                                  for kind, c in sorted(result["clients"].items())))
        print("  handles counted by " + result["handle source"])
        judged = verdict(result["samples"], result["crashed"], result["hang"])
        print("  verdict: " + judged)
        flat = flat and judged == "flat"
    plot(results, args.plot)
    print("soak: plot saved as " + args.plot)
    return 0 if flat and len(results) == len(builds) else 1


if __name__ == "__main__":
    sys.exit(main())
