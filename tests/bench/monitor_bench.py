#!/usr/bin/env python3
"""Measures a running monitor under Wine (run by scripts/monitor-bench).

The real trelvane.exe (or with --pocket trelvane-pocket.exe) on COM9 of the Windows tree's test prefix, a socat cable
to the native trelvane-sim, and trelvane-drive working the window. Reports:
  - time from "Start GPS" to the first $GPRMC in the log (4800 baud, paced);
  - CPU of the monitor process (and of the prefix's wineserver) over a window
    with the port open and silent, with trelvane-sim --fast at 57600 (or with
    --hz N --baud B: N fix cycles of the capture a second at B baud, as a fast
    receiver sends them), and with the port left open after its cable was
    pulled (an unplugged receiver);
  - whether any line was lost at that rate (the log, sampled repeatedly, must
    always be an unbroken run of the capture's valid lines; on the desktop the
    link's counts must show no bad checksum and no cut line);
  - the monitor's peak resident set (Linux VmHWM of the Wine process);
  - the window's work a second in each window: timer messages, log-pane
    inserts, the pages' paints and the texts set (trelvane-drive work-census).
"""
import argparse
import os
import random
import signal
import statistics
import subprocess
import sys
import time

WINE = "/usr/lib/wine/wine64"
DESKTOP_START_GPS, POCKET_START_GPS = 1004, 1027
DESKTOP_LINK_COUNTS = 1015
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def thread_cpu_seconds(pid):
    """CPU of each thread of the process, by thread id."""
    result = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/stat" % (pid, tid)) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            result[int(tid)] = (int(fields[11]) + int(fields[12])) / TICKS
        except OSError:
            pass
    return result


def peak_rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def wineserver_pid():
    """The server of this prefix (other prefixes may have servers of their own)."""
    prefix = ("WINEPREFIX=" + os.environ["WINEPREFIX"]).encode()
    out = subprocess.run(["pgrep", "-x", "wineserver64"], capture_output=True, text=True).stdout.split()
    for pid in map(int, out):
        try:
            with open("/proc/%d/environ" % pid, "rb") as f:
                if prefix in f.read().split(b"\0"):
                    return pid
        except OSError:
            pass
    return None


def valid_lines(capture):
    lines = []
    with open(capture, "rb") as f:
        for raw in f:
            text = raw.rstrip(b"\r\n").decode("latin-1")
            if not text or text.startswith("#") or "*" not in text:
                continue
            body, _, tail = text[1:].rpartition("*")
            checksum = 0
            for ch in body:
                checksum ^= ord(ch)
            if tail[:2].upper() == "%02X" % checksum:
                lines.append(text)
    return lines


TIMED = ("GGA", "RMC", "GNS", "GST", "ZDA", "GBS", "GRS")


def shape(line):
    """A line without its fix time and checksum: trelvane-sim --hz gives each
    cycle a fix time of its own, so only the rest is the capture's."""
    fields = line.rpartition("*")[0].split(",")
    if len(fields) > 5 and fields[0][3:6] == "GLL":
        fields[5] = "T"
    elif len(fields) > 1 and fields[0][3:6] in TIMED:
        fields[1] = "T"
    return ",".join(fields)


def unbroken(log_lines, capture_lines):
    """True when log_lines (the complete ones) appear in the capture's cyclic
    order, fix times aside."""
    n = len(capture_lines)
    if not log_lines:
        return True
    log_lines = [shape(line) for line in log_lines]
    capture_lines = [shape(line) for line in capture_lines]
    starts = [i for i, line in enumerate(capture_lines) if line == log_lines[0]]
    return any(all(capture_lines[(s + k) % n] == log_lines[k] for k in range(len(log_lines))) for s in starts)


class Bench:
    def __init__(self, args):
        self.args = args
        self.procs = []

    def start(self, argv, **kw):
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, **kw)
        self.procs.append(proc)
        return proc

    def stop(self, proc):
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def drive(self, *words, check=True):
        flags = ["--pocket"] if getattr(self.args, "pocket", False) else []
        done = subprocess.run([WINE, self.args.driver] + flags + [str(w) for w in words], capture_output=True,
                              text=True, stdin=subprocess.DEVNULL)
        if check and done.returncode != 0:
            raise RuntimeError("trelvane-drive %s: %s" % (" ".join(map(str, words)), done.stderr.strip()))
        return done.stdout

    def sim(self, *extra):
        return self.start([self.args.sim] + list(extra) + [self.rx, self.args.capture])

    def run(self):
        cables = os.environ["TRELVANE_CABLES"]
        os.makedirs(cables, exist_ok=True)
        self.rx = os.path.join(cables, "bench-rx")
        program_end = os.path.join(cables, "com9")
        for path in (self.rx, program_end):
            if os.path.islink(path):
                os.unlink(path)
        cable = self.start(["socat", "pty,raw,echo=0,link=" + program_end, "pty,raw,echo=0,link=" + self.rx])
        deadline = time.monotonic() + 5
        while not (os.path.exists(program_end) and os.path.exists(self.rx)):
            if time.monotonic() > deadline:
                raise RuntimeError("socat made no cable")
            time.sleep(0.02)
        monitor = self.start([WINE, self.args.monitor])
        self.drive("wait-window", 20)
        # The handheld lists its ports with their driver's name.
        self.drive("select-port", "COM9:  Serial" if self.args.pocket else "COM9:")
        start_gps = POCKET_START_GPS if self.args.pocket else DESKTOP_START_GPS
        capture_lines = valid_lines(self.args.capture)

        # Start to first readout, paced at 4800 as a real receiver.
        self.drive("select-baud", "4800")
        sim = self.sim("--baud", "4800")
        firsts = []
        for _ in range(self.args.starts):
            # Each start at a fresh point of the receiver's fix cycle.
            time.sleep(random.uniform(0, 2))
            firsts.append(int(self.drive("click-until-log", start_gps, "$GPRMC", 10)) / 1000)
            self.drive("click", start_gps)  # Close GPS
        self.stop(sim)
        if firsts: print("start to first $GPRMC in the log, 4800 baud, %d starts: median %.2f s, min %.2f s, max %.2f s" %
              (len(firsts), statistics.median(firsts), min(firsts), max(firsts)))

        server = wineserver_pid()

        def busiest(threads0, threads1, seconds):
            top = sorted(((threads1[t] - threads0.get(t, 0), t) for t in threads1), reverse=True)[:3]
            return "  busiest threads: " + ", ".join(
                "%s %.2f %%" % ("UI" if t == monitor.pid else "tid %d" % t, 100 * used / seconds) for used, t in top)

        def census():
            counts = {}
            for line in self.drive("work-census").splitlines():
                name, _, count = line.partition(" ")
                counts[name] = int(count)
            return counts

        def work(before, after, seconds):
            return "  the window's work a second: " + ", ".join(
                "%s %.1f" % (name, (after[name] - before.get(name, 0)) / seconds) for name in after)

        def measure(label, seconds):
            w0 = census()
            c0, s0, t0 = cpu_seconds(monitor.pid), cpu_seconds(server) if server else 0, time.monotonic()
            threads0 = thread_cpu_seconds(monitor.pid)
            time.sleep(seconds)
            c1, s1, t1 = cpu_seconds(monitor.pid), cpu_seconds(server) if server else 0, time.monotonic()
            print("%s over %.0f s: monitor %.2f %% of a core, wineserver %.2f %%" %
                  (label, t1 - t0, 100 * (c1 - c0) / (t1 - t0), 100 * (s1 - s0) / (t1 - t0)))
            print(busiest(threads0, thread_cpu_seconds(monitor.pid), t1 - t0))
            print(work(w0, census(), t1 - t0))

        # Open and silent.
        self.drive("click", start_gps)
        measure("port open, receiver silent", self.args.seconds)
        self.drive("click", start_gps)

        # As fast as 57600 baud carries, with no pause between fixes; or a
        # receiver giving --hz fixes a second at --baud.
        baud = str(self.args.baud)
        self.drive("select-baud", baud)
        self.drive("click", start_gps)
        pace = ["--hz", str(self.args.hz)] if self.args.hz else ["--fast"]
        sim = self.sim("--baud", baud, *pace)
        fast = "trelvane-sim %s at %s" % (" ".join(pace), baud)
        if self.args.info_page:
            self.drive("tab", 1)
        elif self.args.charts_page:
            self.drive("tab", 3)
        elif self.args.health_page:
            self.drive("tab", 4)
        time.sleep(2)
        broken = empty = 0
        samples = 0
        w0 = census()
        c0, t0 = cpu_seconds(monitor.pid), time.monotonic()
        s0 = cpu_seconds(server) if server else 0
        threads0 = thread_cpu_seconds(monitor.pid)
        while time.monotonic() - t0 < self.args.seconds:
            time.sleep(self.args.seconds / 12)
            # The driver prints the pane's lines LF-ended; the last may be incomplete.
            lines = self.drive("log").replace("\r\n", "\n").split("\n")[:-1]
            samples += 1
            if len(lines) < 2:
                empty += 1  # a pane that shows nothing has no gap either
            elif not unbroken(lines[1:], capture_lines):
                broken += 1
        c1, t1 = cpu_seconds(monitor.pid), time.monotonic()
        s1 = cpu_seconds(server) if server else 0
        print("%s over %.0f s: monitor %.2f %% of a core, wineserver %.2f %% "
              "(trelvane-drive reads during it included)" %
              (fast, t1 - t0, 100 * (c1 - c0) / (t1 - t0), 100 * (s1 - s0) / (t1 - t0)))
        print(busiest(threads0, thread_cpu_seconds(monitor.pid), t1 - t0))
        print(work(w0, census(), t1 - t0))
        print("log samples with a gap: %d of %d; empty: %d" % (broken, samples, empty))
        if not self.args.pocket:
            print("link counts at the end: %s" % self.drive("text", DESKTOP_LINK_COUNTS).strip())
        self.stop(sim)
        print("peak resident set of the monitor process: %d KiB" % peak_rss_kib(monitor.pid))

        # Unplugged: the link stays open while the cable and its device are gone.
        self.stop(cable)
        measure("port open, receiver unplugged", self.args.seconds)
        self.drive("close", 10)

    def cleanup(self):
        for proc in reversed(self.procs):
            self.stop(proc)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--monitor", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--capture", required=True)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--starts", type=int, default=5)
    parser.add_argument("--info-page", action="store_true", help="show the information page during the fast run")
    parser.add_argument("--charts-page", action="store_true", help="show the charts page during the fast run")
    parser.add_argument("--health-page", action="store_true", help="show the health page during the fast run")
    parser.add_argument("--hz", type=int, default=0, help="fix cycles a second in the fast run (default: --fast)")
    parser.add_argument("--baud", type=int, default=57600, help="the fast run's rate")
    parser.add_argument("--pocket", action="store_true", help="measure trelvane-pocket.exe (--monitor names it)")
    args = parser.parse_args()
    bench = Bench(args)
    try:
        bench.run()
    finally:
        bench.cleanup()


if __name__ == "__main__":
    sys.exit(main())
