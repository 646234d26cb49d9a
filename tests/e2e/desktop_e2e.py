#!/usr/bin/env python3
"""The desktop monitor end to end, as a person uses it.

trelvane.exe runs under Wine with COM2 on a wire with a rate (scripts/cable-rig
wire) whose other end, COM12, is played by trelvane-sim.exe from a receiver
capture. trelvane-drive
picks the port and rate and clicks "Start GPS"; then the log pane must show
the capture's checksum-valid sentences in order, the port must be set to the
chosen rate, a command clicked on the page must reach the receiver, and the
information page on a screenshot must show a bar in each column the capture's
satellites call for. The link's health must go through its five states
(closed, waiting, receiving, silent after the capture, bytes without
sentences from a receiver at another rate) and its counts must show each
spoiled line as a bad checksum. A second start must leave the first window alone and
bring it forward; closing the window with the port open must end the process
with 0 and release the port.

What the page must show is worked out here from the capture's bytes, by the
decoding rules, independently of the monitor's own code.

  desktop_e2e.py --monitor EXE --driver EXE --sim EXE --capture FILE
                 [--baud N] [--serial-log-lib SO]

Needs WINEPREFIX (a booted prefix whose COM2 and COM12 are the links
$TRELVANE_CABLES/com2 and com12, with its wineserver running), DISPLAY and
ImageMagick's import.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

PORT, RECEIVER_PORT = 2, 12
START_GPS, COLD_START, LOG, VTG = 1004, 1003, 1005, 1009
COM_PORT, BAUD_RATE = 1000, 1001
LINK_STATE, LINK_COUNTS = 1014, 1015
CABLE_RIG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "cable-rig")

failures = []


class Abort(Exception):
    """A step the rest of the scenario cannot do without failed."""


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def require(condition, message):
    if not condition:
        raise Abort(message)


# ---------------------------------------------------------------------------
# What the capture must produce.

def sent_lines(data):
    """The lines the sim puts on the wire, without their CR LF: all but notes
    and empty lines."""
    lines = [line[:-1] if line.endswith(b"\r") else line for line in data.split(b"\n")]
    return [line for line in lines if line and not line.startswith(b"#")]


def scan_int(text, hexadecimal=False):
    """A number read from the start of a field as scanf's %d or %x reads it;
    None when there is none."""
    pattern = rb"\s*([+-]?[0-9a-fA-F]+)" if hexadecimal else rb"\s*([+-]?[0-9]+)"
    match = re.match(pattern, text)
    return int(match.group(1), 16 if hexadecimal else 10) if match else None


def accepted(line):
    """Whether the monitor takes a line (as received, CR LF included): "*" five
    from the end, then the XOR of everything between the first character and
    the "*" equals the two hex digits after it."""
    n = len(line)
    if n < 5 or line[n - 5:n - 4] != b"*":
        return False
    xor = 0
    for byte in line[1:n - 5]:
        xor ^= byte
    given = scan_int(line[n - 4:n - 2], hexadecimal=True)
    return given is not None and (given & 0xFF) == xor


def spoil(line):
    """A copy of a sentence whose checksum no longer fits: the character
    before the "*" is replaced."""
    star = line.rindex(b"*")
    before = line[star - 1:star]
    return line[:star - 1] + (b"Y" if before == b"X" else b"X") + line[star:]


def with_spoiled_copies(lines, every=7):
    """The capture's lines with a spoiled copy after every `every`-th: the
    monitor must drop those without a trace."""
    out = []
    for k, line in enumerate(lines):
        out.append(line)
        if k % every == every - 1 and b"*" in line:
            out.append(spoil(line))
    return out


def split_fields(line):
    """The sentence's fields as the monitor cuts them: at ",", "*" and CR.
    Each comes with whether a CR ended it."""
    body = line.split(b"\n")[0]
    fields, start = [], 0
    for k, byte in enumerate(body):
        if byte in b",*\r":
            fields.append((body[start:k], byte == 0x0D))
            start = k + 1
            if byte == 0x0D:
                return fields
    fields.append((body[start:], True))
    return fields


class SkyTable:
    """The desktop's twelve satellite entries after a run of sentences: the
    number, signal and in-use mark of each (the sky positions are not needed
    for the bars)."""

    def __init__(self):
        self.prn = [b""] * 12
        self.snr = [0] * 12
        self.used = [False] * 12
        self.in_view = 0
        self.unsure = set()  # entries whose number the monitor may cut short

    def take(self, line):
        if b"$GPRMC" in line:
            return
        if b"$GPGSA" in line:
            self.gsa([text for text, _ in split_fields(line)])
        elif b"$GPGSV" in line:
            self.gsv(split_fields(line))

    def gsa(self, slots):
        slots += [b""] * (19 - len(slots))
        self.used = [False] * 12
        for text in slots[3:15]:
            if not text:
                continue
            for i in range(min(max(self.in_view, 0), 12)):
                if self.prn[i] == text:
                    self.used[i] = True
                    break

    def gsv(self, fields):
        # The field count grows by four with each satellite group the
        # message carries; the field the CR ends (the checksum) is no group.
        groups, limit, slots = 0, 9, []
        for j, (text, ended_by_cr) in enumerate(fields):
            slots.append(text)
            if ended_by_cr:
                break
            if j % 4 == 0:
                groups += 1
                limit = max(limit, 4 * groups + 1)
            if j + 1 >= limit:
                break
        slots += [b""] * (21 - len(slots))
        self.in_view = scan_int(slots[3]) or 0
        message = scan_int(slots[2]) or 0
        if message == 1:
            self.prn = [b""] * 12
        for i in range(groups - 1):
            position = 4 * (message - 1) + i
            if not 0 <= position < 12:
                continue
            self.prn[position] = slots[4 + 4 * i]
            if len(self.prn[position]) > 2:
                self.unsure.add(position)
            self.snr[position] = scan_int(slots[7 + 4 * i]) or 0


def expected_columns(lines):
    """For each column: ("used", height), ("unused", height) or ("none", 0),
    or None where the monitor's choice for long numbers decides."""
    table = SkyTable()
    for line in lines:
        table.take(line)
    columns = []
    for i in range(12):
        if i in table.unsure:
            columns.append(None)
        elif not table.prn[i] or table.snr[i] == 0:
            columns.append(("none", 0, table.prn[i]))
        elif table.used[i]:
            columns.append(("used", min(table.snr[i], 50), table.prn[i]))
        else:
            columns.append(("unused", min(table.snr[i], 49), table.prn[i]))
    return columns


# ---------------------------------------------------------------------------
# The screen.

def screenshot(path):
    """The whole X screen as (width, height, rgb bytes)."""
    subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:" + path], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=30)
    with open(path, "rb") as f:
        data = f.read()
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    require(match and match.group(3) == b"255", "the screenshot is not an 8-bit PPM")
    width, height = int(match.group(1)), int(match.group(2))
    return width, height, data[match.end():]


class Page:
    """The information page's pixels, addressed in page coordinates."""

    def __init__(self, shot, left, top):
        self.width, self.height, self.rgb = shot
        self.left, self.top = left, top

    def at(self, x, y):
        k = 3 * ((self.top + y) * self.width + self.left + x)
        return tuple(self.rgb[k:k + 3])


def is_blue(p):
    return p[2] > 200 and p[0] < 60 and p[1] < 60


def is_red(p):
    return p[0] > 200 and p[1] < 60 and p[2] < 60


def is_white(p):
    return min(p) > 200


def is_ink(p):
    return max(p) < 110


# Over a bar, the signal number's smoothed black text darkens the bar's
# colour without mixing in another one.
def on_blue(p):
    return p[0] < 60 and p[1] < 60


def on_red(p):
    return p[1] < 60 and p[2] < 60


BASE = 230  # the bars stand on this line


def column_problems(page, i, expected):
    """What is wrong with column i's bar; empty when it is as expected.

    The signal number is written over the bar's lowest 20 rows, so a row of a
    bar counts as such when each of its 14 pixels is the bar's colour or that
    colour darkened by text, and at least one is the colour itself.
    """
    kind, h, prn = expected
    left = 5 + 20 * i
    pixels = lambda y: [page.at(x, y) for x in range(left, left + 14)]
    bar_row = lambda y, colour, under_text: (all(map(under_text, pixels(y))) and any(map(colour, pixels(y))))
    problems = []
    label = "column %d (satellite %s)" % (i, prn.decode(errors="replace") or "none")
    if kind == "used":
        if not all(map(is_blue, pixels(BASE - 1))):
            problems.append("%s: the base row of its blue bar is not 14 blue pixels" % label)
        if is_blue(page.at(left - 1, BASE - 1)) or is_blue(page.at(left + 14, BASE - 1)):
            problems.append("%s: the blue bar is wider than 14 pixels" % label)
        if not bar_row(BASE - h, is_blue, on_blue):
            problems.append("%s: the blue bar is lower than %d pixels" % (label, h))
        if any(map(is_blue, pixels(BASE - h - 1))):
            problems.append("%s: the blue bar is higher than %d pixels" % (label, h))
    elif kind == "unused":
        if not all(map(is_red, pixels(BASE - 1))):
            problems.append("%s: the red outline's base row is not 14 red pixels" % label)
        if not bar_row(BASE - 1 - h, is_red, on_red):
            problems.append("%s: the red outline is lower than %d pixels" % (label, h + 1))
        if any(map(is_red, pixels(BASE - 2 - h))):
            problems.append("%s: the red outline is higher than %d pixels" % (label, h + 1))
        inside = pixels(BASE - 2)[1:13]
        if h >= 2 and not (all(map(is_white, inside)) and is_red(page.at(left, BASE - 2))
                           and is_red(page.at(left + 13, BASE - 2))):
            problems.append("%s: the outlined bar is not red at its sides and white inside" % label)
        if any(is_blue(page.at(x, y)) for y in range(180, BASE) for x in range(left, left + 14)):
            problems.append("%s: a satellite not used in the fix has blue in its bar" % label)
    else:
        coloured = [(x, y) for y in range(180, BASE) for x in range(left, left + 14)
                    if is_blue(page.at(x, y)) or is_red(page.at(x, y))]
        if coloured:
            problems.append("%s: a bar is drawn where none belongs (at %s)" % (label, coloured[0]))
    # The satellite's number under its column: ink there exactly when it has one.
    ink = any(is_ink(page.at(x, y)) for y in range(BASE + 1, 262) for x in range(left, left + 15))
    if bool(prn) != ink:
        problems.append("%s: %s under the column" % (label, "no number" if prn else "ink but no satellite"))
    return problems


# ---------------------------------------------------------------------------
# Processes, each remembered by its pid and ended by it.

class Processes:
    def __init__(self):
        self.started = []

    def start(self, name, argv, env=None, stdout=subprocess.DEVNULL):
        process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=stdout,
                                   stderr=subprocess.STDOUT if stdout is not subprocess.DEVNULL
                                   else subprocess.DEVNULL)
        self.started.append((name, process))
        return process

    def stop_all(self):
        for name, process in reversed(self.started):
            if process.poll() is not None:
                continue
            try:
                os.kill(process.pid, signal.SIGTERM)
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.kill(process.pid, signal.SIGKILL)
                process.wait(timeout=5)
            except ProcessLookupError:
                pass


def wait_until(seconds, condition, step=0.1):
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


class Driver:
    def __init__(self, wine, exe):
        self.argv = [wine, exe]

    def run(self, *args, timeout=60):
        # trelvane-drive explains every failure of its own. One that ends
        # without a word never ran: under load Wine now and then fails to
        # start a program into the handheld's virtual desktop. It is started
        # once more.
        for attempt in range(2):
            done = subprocess.run(self.argv + [str(a) for a in args], stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
            if done.returncode == 0 or done.stdout.strip() or done.stderr.strip():
                break
            time.sleep(0.5)
        return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")

    def watch_log(self, text, seconds):
        """Watches the log pane for `text` from now on, in the background: the
        pane empties itself every hundred lines, and a line that stood only a
        moment is still seen. Returns once the watcher reads the pane (a
        Wine process can take seconds to start on a loaded machine), with a
        call that waits for the watch and says whether the line came."""
        for attempt in range(2):  # one that never started is started once more (see run)
            watcher = subprocess.Popen(self.argv + ["watch-log", text, str(seconds)], stdin=subprocess.DEVNULL,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            ready = watcher.stdout.readline().strip() == b"watching"
            if ready:
                break
            watcher.communicate(timeout=seconds + 60)

        def seen():
            out, err = watcher.communicate(timeout=seconds + 60)
            if not ready:
                return self.run("wait-log", text, 1)[0] == 0  # the watcher never read the pane (see run)
            return watcher.returncode == 0
        return seen

    def ok(self, *args, timeout=60):
        """Runs an action that must succeed; returns its output."""
        code, out, err = self.run(*args, timeout=timeout)
        require(code == 0, "trelvane-drive %s: exit %d: %s" % (" ".join(map(str, args)), code, err.strip()))
        return out

    def value(self, *args):
        return self.ok(*args).strip()


def holders_of(device):
    """The processes that have `device` open, by pid and name."""
    found = set()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            for fd in os.listdir("/proc/%s/fd" % pid):
                if os.readlink("/proc/%s/fd/%s" % (pid, fd)) == device:
                    with open("/proc/%s/comm" % pid) as comm:
                        found.add((int(pid), comm.read().strip()))
                    break
        except OSError:
            continue
    return found


# ---------------------------------------------------------------------------

def read(path):
    with open(path, "rb") as f:
        return f.read()


def log_lines(text):
    """The log pane's lines, each as the monitor received it, CR LF included."""
    lines = text.encode("utf-8").split(b"\r\n")
    return [line + b"\r\n" for line in lines[:-1]]


def scenario(args, work, processes):
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    cables = os.environ["TRELVANE_CABLES"]
    drive = Driver(wine, args.driver)
    with open(args.capture, "rb") as f:
        sent = [line + b"\r\n" for line in with_spoiled_copies(sent_lines(f.read()))]
    valid = [line for line in sent if accepted(line)]
    require(valid, "the capture has no sentence the monitor accepts")
    require(len(valid) < len(sent), "the played capture has no sentence the monitor must drop")
    capture = os.path.join(work, "capture.log")
    with open(capture, "wb") as f:
        f.write(b"".join(sent))
    columns = expected_columns(valid)
    require(any(c and c[0] == "used" for c in columns), "the capture leaves no satellite used in the fix")

    code, out, _ = drive.run("windows")
    require(code == 0 and out.strip() == "0", "a monitor window exists before the test starts one")

    # The cable: the monitor's end is COM2, the receiver's COM12.
    ends = [os.path.join(cables, "com%d" % n) for n in (PORT, RECEIVER_PORT)]
    for end in ends:
        if os.path.islink(end):
            os.unlink(end)  # left by a run that was killed: this test's own ports
    wire = processes.start("wire", [sys.executable, CABLE_RIG, "wire", ends[0], ends[1]])
    require(wait_until(10, lambda: all(os.path.exists(e) for e in ends)), "the wire made no cable")
    monitor_end = os.path.realpath(ends[0])

    serial_log = os.path.join(work, "port-requests")
    monitor_env = dict(os.environ)
    if args.serial_log_lib:
        monitor_env["LD_PRELOAD"] = args.serial_log_lib
        monitor_env["TRELVANE_RIG_SERIAL_LOG"] = serial_log
    monitor = processes.start("trelvane.exe", [wine, args.monitor], env=monitor_env)
    require(drive.run("wait-window", 60)[0] == 0, "trelvane.exe showed no window within 60 s")

    # A fresh Setup page, as the user first sees it.
    for action, control, expected in [
            ("page", None, "setup"), ("text", COM_PORT, "COM1:"), ("text", BAUD_RATE, "4800"),
            ("text", START_GPS, "Start GPS"), ("enabled", COLD_START, "0"), ("enabled", VTG, "0"),
            ("text", LINK_STATE, "Closed"), ("text", LINK_COUNTS, "")]:
        got = drive.value(action, *([control] if control else []))
        check(got == expected, "at start, %s %s is %r, not %r" % (action, control or "", got, expected))

    check(drive.value("select-port", "COM%d:" % PORT) == "COM%d:" % PORT, "the port list did not take COM2:")
    check(drive.value("select-baud", args.baud) == str(args.baud), "the baud list did not take %s" % args.baud)
    drive.ok("click", START_GPS)
    check(drive.value("text", START_GPS) == "Close GPS", "after Start GPS the button does not read Close GPS")
    check(drive.value("enabled", COLD_START) == "1", "Cold Start is not enabled while the port is open")
    check(drive.value("log") == "", "the log pane was not emptied when the port opened")
    check(drive.value("text", LINK_STATE) == "Waiting for data", "the open link with no byte yet is not waiting")
    if args.serial_log_lib:
        with open(serial_log) as f:
            rates = re.findall(r"^settings (\d+)$", f.read(), re.M)
        check(rates and rates[-1] == str(args.baud),
              "the port was set to %s, not the chosen %s baud" % (rates[-1] if rates else "nothing", args.baud))

    sim_out = os.path.join(work, "sim.out")
    with open(sim_out, "wb") as out:
        sim = processes.start("trelvane-sim.exe", [wine, args.sim, "--baud", str(args.baud), "--once",
                                                   "COM%d" % RECEIVER_PORT, "Z:" + capture],
                              stdout=out)
    first = valid[0].decode().rstrip("\r\n")
    require(drive.run("wait-log", first, 30)[0] == 0, "the capture's first sentence never reached the log pane")
    check(wait_until(3, lambda: drive.value("text", LINK_STATE) == "Receiving"),
          "with sentences arriving the link's state is %r" % drive.value("text", LINK_STATE))
    # The state shows at once; the counts follow at the next second's sample.
    check(wait_until(3, lambda: re.match(r"^[1-9]\d* sentences/s, [1-9]\d* bytes/s, \d+ bad checksums, 0 lines cut$",
                                         drive.value("text", LINK_COUNTS))),
          "while receiving the counts read %r" % drive.value("text", LINK_COUNTS))

    # A command on the page reaches the receiver while it talks.
    drive.ok("click", VTG)
    check(drive.value("checked", VTG) == "1", "the VTG box is not checked after a click")

    heard = wait_until(20, lambda: re.findall(rb"^<< (\$PSRF[^\r\n]*)", read(sim_out), re.M))
    check(len(heard) == 1 and heard[0].startswith(b"$PSRF103,") and accepted(heard[0] + b"\r\n"),
          "the receiver heard %r after VTG was checked, not one $PSRF103 with a right checksum" % heard)

    # The information page stays up while the rest of the capture arrives, so
    # it must repaint on its own as sentences are decoded.
    check(drive.value("tab", 1) == "info", "tab 1 does not show the information page")
    cycles = sum(1 for line in sent if b"$GPRMC" in line)
    try:
        sim.wait(timeout=cycles + len(b"".join(sent)) * 10 / args.baud + 60)
    except subprocess.TimeoutExpired:
        raise Abort("the sim did not finish the capture in time")
    check(sim.returncode == 0, "trelvane-sim exited with %d" % sim.returncode)
    # The log pane: the capture's valid sentences in order, with the one
    # command echo (two lines) among them. The pane starts afresh after 100
    # lines, so what it shows is the tail of the run: a run of the capture's
    # valid sentences ending with its last. The sim has sent everything; the
    # monitor may still be reading the rest.
    whole_run_fits = len(valid) + 2 < 100
    log_problems = []

    def log_right():
        nonlocal log_problems
        # The monitor's own notes (the first fix's time) sit among the
        # receiver's lines; families_e2e checks them after a cold start.
        shown = [line for line in log_lines(drive.ok("log")) if not line.startswith(b"First fix ")]
        log_problems = []
        echo = [k for k, line in enumerate(shown) if line.startswith(b"$PSRF")]
        if len(echo) > 1 or (whole_run_fits and len(echo) != 1):
            log_problems.append("the log pane shows %d command echoes for one click" % len(echo))
        if echo:
            k = echo[0]
            if shown[k + 1:k + 2] != [b"...OK\r\n"]:
                log_problems.append("the command echo is not followed by ...OK")
            shown = shown[:k] + shown[k + 2:]
        if len(shown) < min(len(valid), 50):
            log_problems.append("the log pane shows only %d sentences" % len(shown))
        if shown != valid[len(valid) - len(shown):]:
            wrong = [line for line in shown if not accepted(line)]
            log_problems.append("the log pane's sentences are not the capture's valid sentences in order"
                                + (" (it shows %r, whose checksum is wrong)" % wrong[0] if wrong else ""))
        return not log_problems
    if not wait_until(30, log_right, step=0.5):
        failures.extend(log_problems)

    # The information page: wait for the final picture, bounded.
    rect = [int(v) for v in drive.value("page-rect").split()]
    check(rect[2] - rect[0] == 520 and rect[3] - rect[1] == 345,
          "the information page is %dx%d, not 520x345" % (rect[2] - rect[0], rect[3] - rect[1]))
    shot_path = os.path.join(work, "screen.ppm")
    problems = []

    def picture_right():
        nonlocal problems
        shot = screenshot(shot_path)
        require(shot[0] >= rect[2] and shot[1] >= rect[3], "the information page is off the screen")
        page = Page(shot, rect[0], rect[1])
        problems = [p for i, c in enumerate(columns) if c for p in column_problems(page, i, c)]
        return not problems
    if not wait_until(15, picture_right, step=0.5):
        failures.extend(problems)
        keep = os.path.join(os.getcwd(), "desktop_e2e-screen.ppm")
        os.replace(shot_path, keep)
        failures.append("(the last screenshot is %s)" % keep)
    check(drive.value("click-tab", 0) == "setup", "a click on tab 0 does not show the Setup page")

    # The link's health after the capture: silent, every spoiled copy counted
    # as a bad checksum; then a receiver at another rate gives bytes that form
    # no sentence.
    spoiled = len(sent) - len(valid)
    def silent_for():
        found = re.match(r"^Silent for (\d+) s$", drive.value("text", LINK_STATE))
        return int(found.group(1)) if found else -1
    check(wait_until(6, lambda: silent_for() >= 3),
          "after the capture the link's state is %r" % drive.value("text", LINK_STATE))
    before = silent_for()
    check(wait_until(6, lambda: silent_for() >= before + 2),
          "the silence does not count up (%d s, then %d s)" % (before, silent_for()))
    counts = "0 sentences/s, 0 bytes/s, %d bad checksums, 0 lines cut" % spoiled
    check(drive.value("text", LINK_COUNTS) == counts,
          "after the capture the counts read %r, not %r" % (drive.value("text", LINK_COUNTS), counts))
    # The health page: a row per address, its good lines counted and each
    # spoiled copy as a bad checksum under the address it still names.
    wanted = {}
    for line in sent:
        head = re.match(rb"^[$!]([A-Z0-9]{2,8}),", line)
        if head:
            row = wanted.setdefault(head[1].decode(), [0, 0])
            row[0 if accepted(line) else 1] += 1
    check(drive.value("tab", 4) == "health", "tab 4 does not show the health page")
    table = drive.ok("health-texts").replace("\r\n", "\n").split("\n")[3:]
    shown = {row[0]: [int(row[1]), int(row[3])] for row in (line.split() for line in table) if len(row) >= 4}
    check(shown == wanted, "the health page counts %r, not %r" % (shown, wanted))
    drive.ok("tab", 0)
    other_rate = 4800 if args.baud != 4800 else 9600
    stranger = processes.start("trelvane-sim.exe at another rate",
                               [wine, args.sim, "--baud", str(other_rate), "COM%d" % RECEIVER_PORT, "Z:" + capture])
    check(wait_until(8, lambda: drive.value("text", LINK_STATE) == "Bytes but no sentences: wrong rate?"),
          "with a receiver at %d the link's state is %r" % (other_rate, drive.value("text", LINK_STATE)))
    stranger.terminate()
    stranger.wait(timeout=20)

    # A second start: it ends at once with 0, and the first window, still
    # the only one, comes forward.
    holder_out = os.path.join(work, "holder.out")
    with open(holder_out, "wb") as out:
        holder = processes.start("trelvane-drive hold-foreground", drive.argv + ["hold-foreground", "30"], stdout=out)
    foreground_moved = wait_until(15, lambda: read(holder_out).startswith(b"ready"))
    if foreground_moved:
        check(drive.value("foreground") == "no", "the monitor kept the foreground from another window")
    began = time.monotonic()
    second = subprocess.run([wine, args.monitor], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=60)
    check(second.returncode == 0, "the second start exited with %d" % second.returncode)
    check(time.monotonic() - began < 20, "the second start took %.1f s to end" % (time.monotonic() - began))
    check(drive.value("windows") == "1", "after a second start there is not exactly one monitor window")
    check(monitor.poll() is None, "the first monitor ended when a second one started")
    if foreground_moved:
        check(wait_until(10, lambda: drive.value("foreground") == "yes"),
              "the second start did not bring the running window to the foreground")
    else:
        print("desktop_e2e: note: no other window could take the foreground; not checked")
    holder.wait(timeout=40)

    # Closing with the port open: the process ends with 0 and lets go of it.
    check(drive.run("close", 20)[0] == 0, "the window did not go away after WM_CLOSE")
    try:
        monitor.wait(timeout=20)
        check(monitor.returncode == 0, "trelvane.exe exited with %d after WM_CLOSE" % monitor.returncode)
    except subprocess.TimeoutExpired:
        check(False, "trelvane.exe still runs 20 s after its window closed")
    others = lambda: {h for h in holders_of(monitor_end) if h[0] != wire.pid}
    check(wait_until(10, lambda: not others()),
          "the monitor's port is still held by %s after it ended" % sorted(others()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--monitor", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--capture", required=True)
    parser.add_argument("--baud", type=int, default=38400)
    parser.add_argument("--serial-log-lib", default="")
    args = parser.parse_args()
    for name in ("WINEPREFIX", "TRELVANE_CABLES", "DISPLAY"):
        if not os.environ.get(name):
            print("desktop_e2e: %s is not set (run under ctest's wine fixture and an X display)" % name)
            return 1

    processes = Processes()
    with tempfile.TemporaryDirectory(prefix="trelvane-e2e-") as work:
        try:
            scenario(args, work, processes)
        except Abort as stop:
            failures.append(str(stop))
        except subprocess.TimeoutExpired as late:
            failures.append("no answer in time from: %s" % " ".join(map(str, late.cmd)))
        finally:
            processes.stop_all()
    for failure in failures:
        print("desktop_e2e: FAILED: %s" % failure)
    if not failures:
        print("desktop_e2e: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
