#!/usr/bin/env python3
"""Checks trelvane-sim on real pseudo-terminal pairs made by socat.

The sim plays onto one end of a pair; this script is the monitor on the other
end. Checks that a capture arrives as exactly its sent lines with CR LF, that
a command written back is printed as "<< ...", that the burst holds the wire
rate at 4800 baud, that with --noise the real lines still arrive whole and in
order and the counts printed at the end are right, and the exit status for bad
arguments and devices; that --hz 10 plays ten cycles a second (a capture at
460800 baud, with its closing count right, and a persona). On the rig's wire
(scripts/cable-rig wire): that the sim plays at every rate of the monitors'
lists, that a monitor end at another rate receives as many bytes, none of
them forming a sentence, and that a persona asked for another port rate
answers at the old rate and goes on at the new one. With --rtk: that a
persona fed RTCM 3 frames among noise reports RTK float, then fixed, and
prints each second's frames; on --tcp-listen: that a client gets its
sentences, its corrections and commands are acted on, the next client is
served after it, and float ends 10 s after the last frame.

  check_sim.py CAPTURE_DIR SIM
"""
import datetime
import functools
import os
import queue
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty

failures = []
COMMAND = b"$PSRF103,05,00,01,01*20\r\n"


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def sent_lines(data):
    """What the sim must send for a capture: each line that is neither a
    note nor empty, with CR LF."""
    lines = [line[:-1] if line.endswith(b"\r") else line for line in data.split(b"\n")]
    return b"".join(line + b"\r\n" for line in lines if line and not line.startswith(b"#"))


class Cable:
    """A socat pty pair; the sim gets end A, the script holds end B, raw."""

    def __init__(self, workdir, name):
        self.a = os.path.join(workdir, name + "-a")
        self.b = os.path.join(workdir, name + "-b")
        self.socat = subprocess.Popen(
            ["socat", "-t", "5", "pty,raw,echo=0,link=" + self.a, "pty,raw,echo=0,link=" + self.b],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.fd = None
        deadline = time.monotonic() + 5
        while not (os.path.exists(self.a) and os.path.exists(self.b)):
            if time.monotonic() > deadline or self.socat.poll() is not None:
                raise RuntimeError("socat made no pty pair")
            time.sleep(0.02)
        self.fd = os.open(self.b, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd, termios.TCSANOW)  # TCSAFLUSH would drop early bytes

    def read_until(self, wanted, seconds):
        """Reads until `wanted` bytes came or the time is up; (bytes, first, last arrival)."""
        data, first, last = b"", None, None
        deadline = time.monotonic() + seconds
        while len(data) < wanted and time.monotonic() < deadline:
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if ready:
                try:
                    chunk = os.read(self.fd, 4096)
                except OSError:
                    break  # the pair is gone
                now = time.monotonic()
                first = first or now
                last = now
                data += chunk
        return data, first, last

    def close(self):
        if self.fd is not None:
            os.close(self.fd)
        self.socat.terminate()
        try:
            self.socat.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.socat.kill()
            self.socat.wait()


RATES = (1200, 2400, 4800, 9600, 14400, 38400, 57600, 115200, 230400, 460800, 921600)
CABLE_RIG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "cable-rig")


def set_rate(fd, baud):
    # A pty under Wine set to 14400 shows 38400; the sim's end does the same.
    speed = getattr(termios, "B%d" % (38400 if baud == 14400 else baud))
    settings = termios.tcgetattr(fd)
    settings[4] = settings[5] = speed
    termios.tcsetattr(fd, termios.TCSANOW, settings)


class RigWire(Cable):
    """The rig's wire instead of socat: it garbles every byte while the two
    ends' rates differ, as a UART at the wrong rate does."""

    def __init__(self, workdir, name):
        self.a = os.path.join(workdir, name + "-a")
        self.b = os.path.join(workdir, name + "-b")
        self.socat = subprocess.Popen([sys.executable, CABLE_RIG, "wire", self.a, self.b], stdout=subprocess.DEVNULL)
        self.fd = None
        deadline = time.monotonic() + 5
        while not (os.path.exists(self.a) and os.path.exists(self.b)):
            if time.monotonic() > deadline or self.socat.poll() is not None:
                raise RuntimeError("the rig made no wire")
            time.sleep(0.02)
        self.fd = os.open(self.b, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd, termios.TCSANOW)


def check_rates(sim, workdir, capture, expected):
    wire = RigWire(workdir, "wire")
    a, fd = wire.a, wire.fd
    try:
        for sim_baud, monitor_baud in [(r, r) for r in RATES] + [(38400, 4800), (4800, 115200)]:
            set_rate(fd, monitor_baud)
            proc = start_sim(sim, ["--once", "--fast", "--baud", str(sim_baud), a, capture])
            data = b""
            while len(data) < len(expected):
                ready, _, _ = select.select([fd], [], [], 5)
                if not ready:
                    break
                data += os.read(fd, 4096)
            status, err = finish(proc)
            case = "sim at %d, monitor end at %d" % (sim_baud, monitor_baud)
            check(status == 0, "%s: status %d, %s" % (case, status, err))
            if sim_baud == monitor_baud:
                check(data == expected, "%s: %d bytes, not the capture's %d" % (case, len(data), len(expected)))
            else:
                check(len(data) == len(expected) and all(byte >= 0x80 for byte in data),
                      "%s: %d bytes (%d sent), %r..." % (case, len(data), len(expected), data[:16]))
    finally:
        wire.close()


def start_sim(sim, args):
    return subprocess.Popen([sim] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def finish(proc, seconds=10):
    try:
        _, err = proc.communicate(timeout=seconds)
    except subprocess.TimeoutExpired:
        proc.kill()
        _, err = proc.communicate()
        failures.append("sim did not end within %s s" % seconds)
    return proc.returncode, err.decode(errors="replace")


def check_arguments(sim, capture):
    for args in ([], ["--bogus", "/dev/null"], ["--baud"], ["--baud", "fast", "/dev/null"],
                 ["--baud", "0", "/dev/null"], ["--baud", "-4800", "/dev/null"],
                 ["--baud", "4800x", "/dev/null"], ["/dev/null", capture, "extra"],
                 ["--noise"], ["--noise", "1", "/dev/null"], ["--noise", "-0.1", "/dev/null"],
                 ["--noise", "0.2.1", "/dev/null"], ["--noise", "0.2x", "/dev/null"],
                 ["--seed", "1.5", "/dev/null"], ["--seed", "", "/dev/null"],
                 ["--hz"], ["--hz", "3", "/dev/null"], ["--hz", "0", "/dev/null"], ["--hz", "10x", "/dev/null"],
                 ["--rtk", "/dev/null"], ["--tcp-listen"], ["--tcp-listen", "65536"], ["--tcp-listen", "x"],
                 ["--tcp-listen", "0", "/dev/null", capture], ["--ttff", "0", "/dev/null"],
                 ["--receiver", "mtk", "--ttff", "0", "/dev/null"], ["--receiver", "mtk", "--clock", "1000", "/dev/null"],
                 ["--receiver", "mtk", "--clock", "x", "/dev/null"]):
        run = subprocess.run([sim] + args, capture_output=True, timeout=10)
        err = run.stderr.decode(errors="replace")
        check(run.returncode == 2 and err.count("\n") == 1 and "usage" in err,
              "args %s: status %d, stderr %r" % (args, run.returncode, err))
    missing = "/nonexistent/ttyS99"
    run = subprocess.run([sim, "--once", missing, capture], capture_output=True, timeout=10)
    check(run.returncode == 1 and missing in run.stderr.decode(), "missing device: %d %r" % (run.returncode, run.stderr))
    run = subprocess.run([sim, "--once", "/dev/null", "/nonexistent/x.log"], capture_output=True, timeout=10)
    check(run.returncode == 1 and "/nonexistent/x.log" in run.stderr.decode(),
          "missing capture: %d %r" % (run.returncode, run.stderr))


def check_bytes(sim, workdir, capture, expected):
    cable = Cable(workdir, "bytes")
    try:
        proc = start_sim(sim, ["--once", "--fast", "--baud", "57600", cable.a, capture])
        data, _, _ = cable.read_until(len(expected), 10)
        status, err = finish(proc)
        check(status == 0, "--once run: status %d, %s" % (status, err))
        check(data == expected, "received %d bytes, not the capture's %d sent bytes" % (len(data), len(expected)))
    finally:
        cable.close()


def check_write_back(sim, workdir, capture):
    cable = Cable(workdir, "reply")
    try:
        proc = start_sim(sim, ["--fast", "--baud", "57600", cable.a, capture])
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(l) for l in proc.stdout], daemon=True).start()
        data, _, _ = cable.read_until(1, 10)
        if check(data, "the looping sim sent nothing"):
            os.write(cable.fd, COMMAND[:10])
            os.write(cable.fd, COMMAND[10:])
        got = None
        deadline = time.monotonic() + 5
        while got is None and time.monotonic() < deadline:
            cable.read_until(1 << 20, 0.1)  # keep the sim's stream flowing
            try:
                got = lines.get_nowait()
            except queue.Empty:
                pass
        check(got == b"<< " + COMMAND[:-2] + b"\n", "write-back printed as %r" % got)
        proc.send_signal(signal.SIGTERM)
        status, err = finish(proc)
        check(status == 0, "SIGTERM: status %d, %s" % (status, err))
    finally:
        cable.close()


def monitor_takes(line):
    """The monitor's test of a line as its reader delivers it (LF included):
    up to any NUL, at most 255 bytes, "*" five from the end and two hex digits
    after it that equal the XOR of the bytes from the second up to the "*"."""
    line = line.split(b"\0")[0]
    if len(line) < 5 or len(line) > 255 or line[-5:-4] != b"*":
        return False
    try:
        value = int(line[-4:-2], 16)
    except ValueError:
        return False
    return value == functools.reduce(lambda a, b: a ^ b, line[1:-5], 0)


def check_noise(sim, workdir, capture, expected):
    """One noisy play: every real line whole and in order among the noise, and
    the printed counts of valid sentences sent and of those that reach a
    monitor cutting at LF as lines of their own."""
    real = [line + b"\n" for line in expected.split(b"\n")[:-1]]
    cable = Cable(workdir, "noise")
    try:
        proc = start_sim(sim, ["--once", "--fast", "--baud", "115200", "--noise", "0.3", "--seed", "5", cable.a, capture])
        data = b""
        while True:
            chunk, _, _ = cable.read_until(1 << 24, 0.5)
            data += chunk
            if not chunk and proc.poll() is not None:
                break
        out, err = proc.communicate(timeout=10)
        check(proc.returncode == 0, "noisy run: status %d, %r" % (proc.returncode, err))
        at = 0
        for line in real:
            at = data.find(line, at)
            if not check(at >= 0, "noisy run: %r missing or out of order" % line):
                break
            at += len(line)
        whole = [line + b"\n" for line in data.split(b"\n")[:-1] if monitor_takes(line + b"\n")]
        counts = re.search(rb"sent (\d+) valid sentences \((\d+) whole", out)
        check(counts is not None and int(counts[1]) == sum(map(monitor_takes, real)) and int(counts[2]) == len(whole)
              and all(line in real for line in whole) and len(data) > len(expected) * 1.2,
              "noisy run: printed %r; %d valid, %d taken, %d of %d bytes real"
              % (out[-120:], sum(map(monitor_takes, real)), len(whole), len(expected), len(data)))
    finally:
        cable.close()


def check_pacing(sim, workdir, capture_dir):
    """One burst of about 960 bytes at 4800 baud takes about 2 s on the wire."""
    with open(os.path.join(capture_dir, "bundg_zeus_9.log"), "rb") as f:
        first_cycle = sent_lines(f.read()).split(b"$GPRMC")[0]
    burst = first_cycle[:first_cycle.rfind(b"\r\n", 0, 1000) + 2]
    path = os.path.join(workdir, "burst.log")
    with open(path, "wb") as f:
        f.write(burst)
    wire_seconds = len(burst) * 10 / 4800
    cable = Cable(workdir, "pace")
    try:
        proc = start_sim(sim, ["--once", cable.a, path])
        data, first, last = cable.read_until(len(burst), 10)
        status, err = finish(proc)
        check(status == 0 and data == burst, "paced run: status %d, %d of %d bytes" % (status, len(data), len(burst)))
        if first is not None:
            took = last - first
            print("check_sim.py: %d bytes at 4800 baud took %.2f s" % (len(burst), took))
            check(0.8 * wire_seconds <= took <= 1.3 * wire_seconds,
                  "%d bytes at 4800 baud took %.2f s, not about %.2f s" % (len(burst), took, wire_seconds))
    finally:
        cable.close()


def nmea(body):
    """A command as a monitor writes it: "$", the body, "*", its XOR, CR LF."""
    return b"$%s*%02X\r\n" % (body, functools.reduce(lambda a, b: a ^ b, body, 0))


def valid_lines(data):
    return [line for line in data.split(b"\n")[:-1] if monitor_takes(line + b"\n")]


def stop(proc):
    """SIGTERM, then (status, stdout, stderr)."""
    proc.send_signal(signal.SIGTERM)
    try:
        out, err = proc.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        out, err = proc.communicate()
        failures.append("sim did not end within 10 s of SIGTERM")
    return proc.returncode, out, err.decode(errors="replace")


def check_port_rate(sim, workdir):
    """A MediaTek persona at 9600 asked for 38400: its acknowledgement reads
    at 9600, and once this end is at 38400 too whole sentences arrive."""
    wire = RigWire(workdir, "rate")
    # This end at 9600 before the persona speaks: its first bytes would be garbled otherwise.
    set_rate(wire.fd, 9600)
    proc = start_sim(sim, ["--receiver", "mtk", "--baud", "9600", wire.a])
    try:
        data, _, _ = wire.read_until(1, 5)
        if check(data.startswith(b"$PMTK011"), "mtk at 9600 began with %r" % data[:30]):
            os.write(wire.fd, nmea(b"PMTK251,38400"))
        ack = nmea(b"PMTK001,251,3")
        deadline = time.monotonic() + 3
        while ack not in data and time.monotonic() < deadline:
            data += wire.read_until(1 << 16, 0.05)[0]
        check(ack in data, "no %r at the old rate in %r" % (ack, data[-200:]))
        set_rate(wire.fd, 38400)
        after, _, _ = wire.read_until(1 << 20, 1.5)
        check(any(line.startswith(b"$GPRMC") for line in valid_lines(after)),
              "no valid RMC at 38400 after the switch: %r" % after[-200:])
    finally:
        status, out, err = stop(proc)
        wire.close()
    check(status == 0 and b"\n== port rate 38400\n" in out,
          "mtk persona: status %d, printed %r, %s" % (status, out[-200:], err))


def check_fix_rate(sim, workdir, capture_dir):
    """--hz 10: about twenty cycles in two seconds, for the multi-system
    capture at 460800 baud (its count of valid sentences sent equal to those
    received) and for a persona at 115200."""
    zed = os.path.join(capture_dir, "multi", "ublox-zed-f9p-nmea.log")
    for name, args in (("capture", ["--baud", "460800", "--hz", "10", "{device}", zed]),
                       ("persona", ["--receiver", "ublox9", "--baud", "115200", "--hz", "10", "{device}"])):
        cable = Cable(workdir, "hz-" + name)
        try:
            proc = start_sim(sim, [arg.replace("{device}", cable.a) for arg in args])
            data, first, _ = cable.read_until(1, 5)
            if first is not None:
                data += cable.read_until(1 << 24, first + 2.0 - time.monotonic())[0]
            cycles = len(re.findall(rb"\$G[NP]RMC,", data))
            status, out, err = stop(proc)
            rest = cable.read_until(1 << 24, 0.3)[0]
            while rest:
                data += rest
                rest = cable.read_until(1 << 24, 0.3)[0]
        finally:
            cable.close()
        check(status == 0 and 18 <= cycles <= 22, "--hz 10 %s: status %d, %d cycles in 2 s, %s" % (name, status, cycles, err))
        if name == "capture":
            # Each cycle carries its own fix time, a tenth after the one before.
            times = [int(t[:2]) * 3600 + int(t[2:4]) * 60 + float(t[4:])
                     for t in re.findall(rb"\$G[NP]RMC,(\d{6}\.\d{2}),", data)]
            check(len(times) >= 18 and all(abs(b - a - 0.1) < 0.001 for a, b in zip(times, times[1:])),
                  "--hz 10 capture: fix times %r" % times[:6])
            counts = re.search(rb"sent (\d+) valid sentences", out)
            check(counts is not None and int(counts[1]) == len(valid_lines(data)),
                  "--hz 10 capture: printed %r, received %d valid" % (out[-120:], len(valid_lines(data))))


def crc24q(data):
    """CRC-24Q: polynomial 0x1864CFB, initial 0, not reflected."""
    crc = 0
    for byte in data:
        crc ^= byte << 16
        for _ in range(8):
            crc <<= 1
            if crc & 0x1000000:
                crc ^= 0x1864CFB
    return crc & 0xFFFFFF


def rtcm(msg_type, station, crc_flip=0):
    """A 25-byte RTCM 3 frame: the 12-bit type, the 12-bit station id, zeros."""
    payload = bytes([msg_type >> 4, (msg_type & 15) << 4 | station >> 8, station & 255]) + bytes(16)
    body = bytes([0xD3, 0, len(payload)]) + payload
    return body + (crc24q(body) ^ crc_flip).to_bytes(3, "big")


def fixes(data):
    """(seconds of day, GGA quality, RMC mode, GGA fields 13 and 14) of each whole cycle."""
    modes, cycles = {}, []
    for line in valid_lines(data):
        fields = line.rstrip(b"\r").split(b"*")[0].split(b",")
        if fields[0] == b"$GPRMC":
            modes[fields[1]] = fields[12]
        elif fields[0] == b"$GPGGA" and fields[1] in modes:
            t = fields[1]
            cycles.append((int(t[:2]) * 3600 + int(t[2:4]) * 60 + float(t[4:]), fields[6], modes[t], fields[13], fields[14]))
    return cycles


def states(cycles):
    """The (quality, mode) runs in order, each with the time it began."""
    runs = []
    for t, quality, mode, _, _ in cycles:
        if not runs or runs[-1][1:] != (quality, mode):
            runs.append((t, quality, mode))
    return runs


def corrections_filled(cycles, station):
    """Fields 13 and 14 hold an age and the station under corrections, nothing otherwise."""
    return all((re.fullmatch(rb"\d+\.\d", age) and base == station) if quality in (b"4", b"5") else age == base == b""
               for _, quality, _, age, base in cycles)


def last_state(data):
    runs = states(fixes(data))
    return runs[-1][1:] if runs else None


def check_rtk(sim, workdir):
    """Corrections four times a second among noise and a frame with a bad CRC:
    the own fix, float (5, F) from the first 1005 and MSM, fixed (4, R) 10 s
    later, every line valid, and each second's report naming the good types."""
    burst = b"\xd3\xffnoise\n" + rtcm(1005, 42) + rtcm(1074, 42, crc_flip=1) + rtcm(1077, 42)
    cable = Cable(workdir, "rtk")
    proc = start_sim(sim, ["--receiver", "mtk", "--rtk", "--baud", "115200", "--hz", "10", cable.a])
    try:
        data = cable.read_until(1 << 20, 0.5)[0]
        deadline = time.monotonic() + 12
        while last_state(data) != (b"4", b"R") and time.monotonic() < deadline:
            os.write(cable.fd, burst)
            data += cable.read_until(1 << 20, 0.25)[0]
        data += cable.read_until(1 << 20, 0.3)[0]
    finally:
        status, out, err = stop(proc)
        cable.close()
    cycles = fixes(data)
    runs = states(cycles)
    check([run[1:] for run in runs] == [(b"1", b"A"), (b"5", b"F"), (b"4", b"R")] and 9 <= runs[2][0] - runs[1][0] <= 11.5,
          "--rtk: states %r" % runs)
    check(corrections_filled(cycles, b"0042") and len(valid_lines(data)) == data.count(b"\n"),
          "--rtk: GGA fields 13/14 or checksums wrong: %r" % cycles[-3:])
    reports = re.findall(rb"== rtcm ([\d ]+) \((\d+) bytes, (\d+) bad\)", out)
    check(status == 0 and reports and all(r[0] == b"1005 1077" and int(r[1]) % 25 == 0 and int(r[1]) and int(r[2])
                                          for r in reports),
          "--rtk: status %d, reports %r, %s" % (status, reports, err))


def check_tcp(sim):
    """A persona on a TCP port: a client gets valid RMC lines, its corrections
    and a fix-rate command in one write are both acted on, and after it leaves
    the next client is served; one burst of corrections gives float for 10 s
    (its age growing), never fixed, then the own fix again."""
    command = nmea(b"PMTK220,200")
    proc = start_sim(sim, ["--receiver", "mtk", "--rtk", "--baud", "115200", "--hz", "10", "--tcp-listen", "0"])
    data, sent = b"", False
    try:
        port = re.search(rb"listening on 127\.0\.0\.1:(\d+)", proc.stdout.readline())
        for client, seconds in enumerate((2, 11.5)):
            with socket.create_connection(("127.0.0.1", int(port[1]) if port else 1), timeout=0.5) as conn:
                deadline = time.monotonic() + seconds
                while time.monotonic() < deadline and [r[1] for r in states(fixes(data))][-3:] != [b"1", b"5", b"1"]:
                    if not sent and b"$GPGGA" in data:
                        conn.sendall(rtcm(1006, 4000) + rtcm(1127, 4000) + command)
                        sent = True
                    try:
                        data += conn.recv(1 << 16)
                    except socket.timeout:
                        pass
    except OSError as error:
        failures.append("--tcp-listen: %s" % error)
    finally:
        status, out, err = stop(proc)
    cycles = fixes(data)
    runs = states(cycles)
    ages = [float(age) for _, quality, _, age, _ in cycles if quality == b"5"]
    check([run[1:] for run in runs] == [(b"1", b"A"), (b"5", b"F"), (b"1", b"A")] and 9 <= runs[2][0] - runs[1][0] <= 11.5
          and corrections_filled(cycles, b"4000") and ages == sorted(ages) and ages[-1] >= 9,
          "--tcp-listen: states %r, ages %r" % (runs, ages[-3:]))
    check(status == 0 and b"== rtcm 1006 1127 (50 bytes, %d bad)" % len(command) in out
          and b"\n== fix rate 5 Hz\n" in out, "--tcp-listen: status %d, printed %r, %s" % (status, out[-300:], err))


def check_ttff_and_clock(sim, workdir, capture_dir):
    """--clock 250: each RMC carries the PC's UTC time and date and arrives a
    quarter of a second after that time; --ttff 3: after its cold start the
    receiver sends no fix for three seconds from its next cycle, then fixes.
    A persona and a capture's SiRF part alike."""
    for name, options, capture, cold in (
            ("mtk", ["--receiver", "mtk"], [], b"PMTK103"),
            ("capture", [], [os.path.join(capture_dir, "bundg_zeus_9.log")], b"PSRF104,0,0,0,96000,237759,1946,12,4")):
        cable = Cable(workdir, "clock-" + name)
        proc = start_sim(sim, options + ["--baud", "115200", "--hz", "2", "--ttff", "3", "--clock", "250", cable.a]
                         + capture)
        late, fixes, pending = [], [], b""
        sent_at = None
        try:
            deadline = time.monotonic() + 7
            while time.monotonic() < deadline:
                data, first, _ = cable.read_until(1, 0.2)
                arrived = time.time() - (time.monotonic() - first) if first is not None else time.time()
                pending += data
                while b"\r\n" in pending:
                    line, pending = pending.split(b"\r\n", 1)
                    found = re.match(rb"\$G.RMC,(\d\d)(\d\d)(\d\d\.\d\d),([AV]),", line)
                    if not found:
                        continue
                    utc = datetime.datetime.fromtimestamp(arrived, datetime.timezone.utc)
                    day = utc.hour * 3600 + utc.minute * 60 + utc.second + utc.microsecond / 1e6
                    stamp = int(found[1]) * 3600 + int(found[2]) * 60 + float(found[3])
                    late.append((day - stamp) % 86400)
                    date = line.split(b",")[9].decode()
                    check(date == utc.strftime("%d%m%y"), "%s: --clock date %r on %s" % (name, date, utc.date()))
                    fixes.append((arrived, found[4] == b"A"))
                if sent_at is None and len(late) >= 4:
                    os.write(cable.fd, nmea(cold))
                    sent_at = time.time()
        finally:
            status, out, err = stop(proc)
            cable.close()
        check(status == 0 and b"\n== cold start\n" in out,
              "%s --ttff: status %d, printed %r, %s" % (name, status, out[-200:], err))
        # The RMC, a cycle's first line, takes 6 ms on the wire at 115200.
        check(len(late) >= 10 and all(0.24 <= x <= 0.30 for x in late), "%s --clock 250: lateness %r" % (name, late[:12]))
        after = [(t, fix) for t, fix in fixes if sent_at is not None and t > sent_at]
        lost = [t for t, fix in after if not fix]
        regained = [t for t, fix in after if fix and lost and t > lost[0]]
        check(lost and regained and 3.0 <= regained[0] - sent_at <= 3.0 + 0.5 + 0.3,
              "%s --ttff 3: fixes after the cold start %r" % (name, [(round(t - sent_at, 2), fix) for t, fix in after][:12]))


def main():
    capture_dir, sim = sys.argv[1], sys.argv[2]
    if shutil.which("socat") is None:
        print("check_sim.py: socat is not installed")
        return 77
    with tempfile.TemporaryDirectory(prefix="trelvane-sim-") as workdir:
        # The start of a real capture: its notes end in LF, its sentences in CR LF.
        with open(os.path.join(capture_dir, "nd-1005.log"), "rb") as f:
            small = b"".join(f.read().splitlines(keepends=True)[:40])
        capture = os.path.join(workdir, "small.log")
        with open(capture, "wb") as f:
            f.write(small)
        check_arguments(sim, capture)
        check_bytes(sim, workdir, capture, sent_lines(small))
        check_write_back(sim, workdir, capture)
        check_noise(sim, workdir, capture, sent_lines(small))
        check_pacing(sim, workdir, capture_dir)
        check_rates(sim, workdir, capture, sent_lines(small))
        check_port_rate(sim, workdir)
        check_fix_rate(sim, workdir, capture_dir)
        # The TCP check waits out its corrections' age beside the RTK check,
        # and the cold start's seconds pass beside both.
        beside = [threading.Thread(target=check_tcp, args=(sim,)),
                  threading.Thread(target=check_ttff_and_clock, args=(sim, workdir, capture_dir))]
        for thread in beside:
            thread.start()
        check_rtk(sim, workdir)
        for thread in beside:
            thread.join()
    for message in failures:
        print("FAIL:", message)
    print("check_sim.py: %d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
