#!/usr/bin/env python3
"""Each family of today's receivers, end to end, in one build of the monitor.

The monitor's COM2 is on a wire with a rate (scripts/cable-rig wire) whose
other end, COM12, is played by trelvane-sim.exe --receiver FAMILY, once for
each family. For each: Start GPS,
then under "Auto" the monitor must recognise the family (Airoha and an
unrecognised SiRF only when Identify is asked) and name the receiver; the
controls the family has no command for must be greyed; every other control
is clicked, and the log pane must show its echo and the simulator must report
the command as its family's. A u-blox's acknowledgement must show in the log
as "UBX ACK ...". A family chosen in the list (or the handheld's Receiver
menu) overrides what was recognised.

Each family starts at its factory rate. The monitor then raises the port
rate from the Receiver menu (to 115200 or 230400, and on to 460800 or
921600 where the family can; 230400 to 921600 once showed nothing): the
log must say "Receiver now at N", the rate list show N and the simulator
report the change. A MediaTek told to go to 921600 ignores it, as
the real part does: the monitor must hunt for it and find it where it was.
The u-blox 9/10 is then set to 10 Hz, and the accuracy page must count ten
fixes a second; its save must reach the receiver.

Last, a receiver left still plays a capture with GGA and GST, and the
accuracy page must show what trelvane-decode.exe --accuracy prints for the
same lines; Reset empties it but for the GST, and Hold Centre holds it.

  families_e2e.py --monitor EXE --driver EXE --sim EXE --decode EXE --capture FILE
                  --still-capture FILE [--pocket --desktop-script FILE]

Needs what desktop_e2e.py (or, with --pocket, pocket_e2e.py) needs.
"""
import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_e2e as common  # noqa: E402  the same processes, driver and checks
import pocket_e2e  # noqa: E402  the handheld's registry and screen
from desktop_e2e import check, require, wait_until  # noqa: E402

PORT, RECEIVER_PORT = 2, 12
RATES = [1200, 2400, 4800, 9600, 14400, 38400, 57600, 115200, 230400, 460800, 921600]
PORT_RATE_FIRST, FIX_10_HZ, SAVE = 40030, 40053, 40060
DESKTOP_BAUD, POCKET_BAUD = 1001, 1041
# The family whose simulator keeps its fix away 6 s after a cold start and
# stamps its cycles with the PC's clock, sending each 250 ms late.
TIMED_FAMILY = "casic"
# Per family: the factory rate, and the port rates the monitor then sets;
# a rate in a tuple is one the receiver ignores.
RATE_STEPS = {"sirf": (4800, [115200]), "mtk": (9600, [115200, 460800, (921600,)]),
              "ublox8": (9600, [230400, 921600]), "ublox9": (38400, [115200, 460800]),
              "casic": (9600, [115200]), "airoha": (115200, [230400, 921600])}

# The controls of each build: Start GPS, then the four command controls.
DESKTOP = {"start": 1004, "cold": 1003, "vtg": 1009, "power": 1010, "waas": 1011}
POCKET = {"start": 1027, "cold": 1026, "vtg": 1045, "power": 1043, "waas": 1044}
DESKTOP_FAMILY_LIST, DESKTOP_IDENTIFY, DESKTOP_NAME = 1012, 1013, 1016
POCKET_FAMILY_FIRST, POCKET_IDENTIFY = 40020, 40027
FAMILY_ITEMS = ["Auto", "SiRF", "MediaTek", "u-blox 6/7/8", "u-blox 9/10", "CASIC", "Airoha"]

# Per family: the name once recognised (after Identify where it says so), the
# echo's first line and what the simulator reports for each control, None
# for a greyed one, and the acknowledgement a u-blox sends for SBAS.
FAMILIES = [
    ("sirf", "No answer: SiRF or unknown", True,
     {"cold": ("$PSRF", "<< $PSRF104,0,0,0,96000,237759,1946,12,4*1D"),
      "vtg": ("$PSRF", "<< $PSRF103,05,00,0%d,01*2%d"), "power": ("$PSRF", "<< $PSRF150,"),
      "waas": ("$PSRF", "<< $PSRF151,0%d*0%s")}, None),
    ("mtk", "MediaTek PA1010D, FW AXN_5.1.7_3333_18021200", True,
     {"cold": ("$PMTK103", "== cold start"), "vtg": ("$PMTK314", "== VTG %s"),
      "power": ("$PMTK225", "== power save %s"), "waas": ("$PMTK313", "== SBAS %s")}, None),
    ("ublox8", "u-blox 6/7/8 NEO-M8N-0, FW SPG 3.01", False,
     {"cold": ("UBX CFG-RST", "== cold start"), "vtg": ("UBX CFG-MSG", "== VTG %s"),
      "power": ("UBX CFG-RXM", "== power save %s"), "waas": ("UBX CFG-SBAS", "== SBAS %s")}, "UBX ACK CFG-SBAS"),
    ("ublox9", "u-blox 9/10 NEO-M9N, FW SPG 4.04", True,
     {"cold": ("UBX CFG-RST", "== cold start"), "vtg": ("UBX CFG-VALSET", "== VTG %s"),
      "power": ("UBX CFG-VALSET", "== power save %s"), "waas": ("UBX CFG-VALSET", "== SBAS %s")},
     "UBX ACK CFG-VALSET"),
    ("casic", "CASIC GB, FW URANUS5,V5.3.0.0", False,
     {"cold": ("$PCAS10", "== cold start"), "vtg": ("$PCAS03", "== VTG %s"), "power": None, "waas": None}, None),
    ("airoha", "Airoha LC29HAANR11A03S, FW AG3352Q_V2.5.0.AG3352_20230420", True,
     {"cold": ("$PAIR006", "== cold start"), "vtg": ("$PAIR062", "== VTG %s"), "power": None,
      "waas": ("$PAIR410", "== SBAS %s")}, None),
]


def heard_text(family, job, expected, on):
    """What the simulator prints for `job` switched `on`."""
    if family != "sirf":
        return expected % ("on" if on else "off") if "%s" in expected else expected
    if job == "vtg":
        return expected % ((1, 0) if on else (0, 1))
    if job == "waas":
        return expected % ((1, "F") if on else (0, "E"))
    return expected


def rmc_after(lines, acknowledgement):
    """Whether the first sentence the log shows after the acknowledgement is
    the next cycle's $GPRMC, whole."""
    marks = [k for k, line in enumerate(lines) if line.startswith(acknowledgement.encode())]
    following = [line for line in lines[marks[0] + 1:] if line.startswith(b"$G")] if marks else []
    return bool(following) and following[0].startswith(b"$GPRMC,") and common.accepted(following[0])


class Monitor:
    """The build's controls, name and family choice through trelvane-drive."""

    def __init__(self, drive, pocket):
        self.drive, self.pocket = drive, pocket
        self.ids = POCKET if pocket else DESKTOP

    def start_gps(self):
        self.drive.ok("click", self.ids["start"])
        require(self.drive.run("wait-text", self.ids["start"], "Close GPS", 10)[0] == 0, "Start GPS did not open")

    def close_gps(self):
        self.drive.ok("click", self.ids["start"])
        require(self.drive.run("wait-text", self.ids["start"], "Start GPS", 10)[0] == 0, "Close GPS did not close")

    def identify(self):
        if self.pocket:
            self.drive.ok("command", POCKET_IDENTIFY)
        else:
            self.drive.ok("click", DESKTOP_IDENTIFY)

    def wait_name(self, name, seconds):
        if self.pocket:
            return self.drive.run("wait-log", "Receiver: " + name, seconds)[0] == 0
        return self.drive.run("wait-text", DESKTOP_NAME, name, seconds)[0] == 0

    def choose(self, item):
        if self.pocket:
            self.drive.ok("command", POCKET_FAMILY_FIRST + FAMILY_ITEMS.index(item))
        else:
            self.drive.ok("select", DESKTOP_FAMILY_LIST, item)


def change_rates(monitor, family, sim_out):
    """The port rate raised from the Receiver menu, followed or hunted for;
    a u-blox 9/10 then set to 10 Hz and saved."""
    drive = monitor.drive
    baud_list = POCKET_BAUD if monitor.pocket else DESKTOP_BAUD
    heard = lambda wanted: wait_until(10, lambda: wanted in common.read(sim_out).splitlines())
    rate = RATE_STEPS[family][0]
    for step in RATE_STEPS[family][1]:
        ignored = isinstance(step, tuple)
        target = step[0] if ignored else step
        drive.ok("command", PORT_RATE_FIRST + RATES.index(target))
        said = "Receiver found at %d" % rate if ignored else "Receiver now at %d" % target
        check(drive.run("wait-log", said, 25)[0] == 0,
              "%s: after Port Rate %d the log does not say %r: %r; the receiver printed %r"
              % (family, target, said, drive.ok("log")[-200:], common.read(sim_out)[-300:]))
        rate = rate if ignored else target
        check(drive.value("text", baud_list) == str(rate),
              "%s: the rate list shows %r, not %d" % (family, drive.value("text", baud_list), rate))
        if not ignored:
            check(heard(b"== port rate %d" % target), "%s: the receiver did not report port rate %d" % (family, target))
    if family != "ublox9":
        return
    drive.ok("command", FIX_10_HZ)
    check(heard(b"== fix rate 10 Hz"), "ublox9: the receiver did not report 10 Hz")
    time.sleep(1.5)  # the first fixes at 10 Hz
    # The page's count is worked out on the window's one-second tick, and each
    # read of it is a driver process of its own, which takes a second or more
    # on a loaded machine: the fixes are counted against the shortest and
    # longest time the two counts can lie apart, a late tick's slack each side.
    reads = []
    for pause in (6, 0):
        before = time.monotonic()
        fixes = int(accuracy_texts(drive)[0].split()[-1])
        reads.append((before, fixes, time.monotonic()))
        time.sleep(pause)
    fixes = reads[1][1] - reads[0][1]
    shortest, longest = reads[1][0] - reads[0][2] - 1.5, reads[1][2] - reads[0][0] + 1.5
    check(8 * shortest <= fixes <= 12 * longest,
          "ublox9 at 10 Hz: %d fixes in %.1f to %.1f s" % (fixes, shortest, longest))
    # The health page: GGA and RMC each at the rate set.
    check(drive.value("tab", 4) == "health", "tab 4 does not show the health page")
    rates = {}

    def at_ten():
        rates.update(health_rates(drive))
        return all(abs(rates.get(row, 0) - 10.0) <= 0.1 for row in ("GPGGA", "GPRMC"))
    check(wait_until(8, at_ten, step=0.5), "ublox9 at 10 Hz: the health page's rates %r" % rates)
    drive.ok("tab", 0)
    drive.ok("command", SAVE)
    # CFG-CFG's save of all the receiver holds; a VALSET to flash would say
    # "values stored".
    check(heard(b"== save"), "ublox9: the receiver did not report a CFG-CFG save")


def health_texts(drive):
    """The health page's clock line, its times to first fix, and its table's
    rows by address."""
    lines = drive.ok("health-texts").replace("\r\n", "\n").split("\n")
    return lines[0], lines[1], [line.split() for line in lines[3:] if line.strip()]


def health_rates(drive):
    return {row[0]: float(row[2]) for row in health_texts(drive)[2] if len(row) >= 3}


def check_first_fix_and_clock(monitor, family, cold_started):
    """The receiver (--ttff 6 --clock 250) was cold started: its first fix
    comes 6 s after its next cycle, and each cycle leaves 250 ms after its
    time; a whole cycle takes 0.6 s of wire at 9600 (less at the rate it is
    moved to), its RMC 0.07 s."""
    drive = monitor.drive
    check(drive.value("tab", 4) == "health", "tab 4 does not show the health page")
    texts = []
    cold = "Time to first fix: "

    def timed():
        texts[:] = health_texts(drive)[:2]
        return texts[1].startswith(cold) and "after Cold Start" in texts[1]
    check(wait_until(max(1, cold_started + 20 - time.monotonic()), timed, step=1),
          "%s: no time to first fix after the cold start: %r" % (family, texts))
    clock, first_fix = texts
    seconds = float(first_fix[len(cold):].split()[0]) if first_fix.startswith(cold) else -1
    # Within 1.5 s: the clock starts at the command, or a cycle later at the
    # first report without a fix when a fixed cycle was already on its way.
    check(abs(seconds - 6.0) <= 1.5, "%s: with --ttff 6 the health page says %r" % (family, first_fix))
    median = float(clock.split(": ")[1].split()[0]) if clock.startswith("Receiver time - PC clock: ") else 99
    check(-0.25 - 0.05 - 0.6 <= median <= -0.25 + 0.05, "%s: with --clock 250 the page says %r" % (family, clock))
    drive.ok("tab", 0)


def play_family(args, monitor, processes, work, family, name, identify, jobs, acknowledgement):
    drive = monitor.drive
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    factory = RATE_STEPS[family][0]
    drive.ok("select-baud", str(factory))
    monitor.start_gps()
    sim_out = os.path.join(work, "sim-%s.out" % family)
    with open(sim_out, "wb") as out:
        sim = processes.start("trelvane-sim.exe " + family,
                              [wine, args.sim, "--receiver", family, "--baud", str(factory)] +
                              (["--ttff", "6", "--clock", "250"] if family == TIMED_FAMILY else []) +
                              ["COM%d" % RECEIVER_PORT, "Z:" + args.capture], stdout=out)
    require(drive.run("wait-log", "$GPRMC", 30)[0] == 0, "%s: no $GPRMC reached the log pane" % family)
    if identify:
        monitor.identify()
        check(drive.run("wait-log", "Identify...", 10)[0] == 0, "%s: the log does not show Identify..." % family)
    check(monitor.wait_name(name, 15), "%s: the receiver is not named %r" % (family, name))

    for job, expected in jobs.items():
        control = monitor.ids[job]
        enabled = drive.value("enabled", control) == "1"
        check(enabled == (expected is not None),
              "%s: control %d is %s" % (family, control, "enabled" if enabled else "greyed"))
        if expected is None or not enabled:
            continue
        echo, heard = expected
        drive.ok("click", control)
        on = job == "cold" or drive.value("checked", control) == "1"
        wanted = heard_text(family, job, heard, on).encode()
        check(wait_until(10, lambda: any(line.startswith(wanted) for line in common.read(sim_out).splitlines())),
              "%s: after a click on %d the receiver did not report %r" % (family, control, wanted))
        check(drive.run("wait-log", echo, 10)[0] == 0, "%s: the log shows no echo %r" % (family, echo))
        if job == "cold":
            check(drive.run("wait-log", "...OK" if family == "sirf" else "...sent", 5)[0] == 0,
                  "%s: the echo's second line is missing" % family)
        if job == "waas" and acknowledgement:
            check(drive.run("wait-log", acknowledgement, 10)[0] == 0,
                  "%s: the log shows no %r" % (family, acknowledgement))
            # The frame came just before the next cycle: its $GPRMC is whole.
            check(wait_until(10, lambda: rmc_after(common.log_lines(drive.ok("log")), acknowledgement), step=0.5),
                  "%s: the first sentence after %r is not a whole $GPRMC" % (family, acknowledgement))

    if family == "sirf":
        # A family chosen in the list speaks whatever was recognised.
        monitor.choose("MediaTek")
        drive.ok("click", monitor.ids["cold"])
        check(wait_until(10, lambda: b"<< $PMTK103*30" in common.read(sim_out)),
              "with MediaTek chosen, Cold Start did not write $PMTK103*30")
        monitor.choose("SiRF")  # what the receiver does not say of itself
    change_rates(monitor, family, sim_out)
    # The time to first fix of a Cold Start of its own, at the new rate: the
    # port rate's move just after the first one loses lines (three cycles at
    # 9600 on a loaded machine), which can take the reports without a fix
    # that start the clock.
    if family == TIMED_FAMILY:
        drive.ok("click", monitor.ids["cold"])
        check_first_fix_and_clock(monitor, family, time.monotonic())
    if family == "sirf":
        monitor.choose("Auto")
    monitor.close_gps()
    sim.terminate()
    sim.wait(timeout=20)


def accuracy_texts(drive):
    return drive.ok("accuracy-texts").split("\n")[:9]


def play_still(args, monitor, processes, work):
    """A receiver left still: the accuracy page against trelvane-decode."""
    drive = monitor.drive
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    decoded = subprocess.run([wine, args.decode, "--accuracy", "Z:" + args.still_capture], stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=60)
    expected = decoded.stdout.decode().replace("\r\n", "\n").split("\n")[:9]
    require(decoded.returncode == 0 and expected[0].startswith("Fixes: ") and expected[0] != "Fixes: 0",
            "trelvane-decode --accuracy gave %r" % decoded.stdout[:200])
    drive.ok("select-baud", "115200")
    monitor.start_gps()
    check(drive.value("tab", 2) == "accuracy", "tab 2 does not show the accuracy page")
    check(accuracy_texts(drive)[0] == "Fixes: 0", "the accuracy page does not start empty on a new link")
    sim = processes.start("trelvane-sim.exe still", [wine, args.sim, "--baud", "115200", "--once", "--fast",
                                                     "COM%d" % RECEIVER_PORT, "Z:" + args.still_capture])
    sim.wait(timeout=120)
    shown = []

    def agrees():
        shown[:] = accuracy_texts(drive)
        return shown == expected
    check(wait_until(15, agrees, step=0.5), "the accuracy page shows %r, trelvane-decode %r" % (shown, expected))
    held = list(expected)
    held[8] = held[8].replace("(mean)", "(held)")
    drive.ok("accuracy-click", 1111)
    check(wait_until(5, lambda: accuracy_texts(drive) == held), "Hold Centre: %r" % accuracy_texts(drive))
    drive.ok("accuracy-click", 1110)
    check(wait_until(5, lambda: accuracy_texts(drive)[:2] + accuracy_texts(drive)[7:] ==
                     ["Fixes: 0", "CEP50: -", expected[7], "Centre: -"]),
          "after Reset the page shows %r" % accuracy_texts(drive))
    monitor.close_gps()


def scenario(args, work, processes):
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    drive = pocket_e2e.start_on_cable(args.pocket, args.driver, processes, PORT, RECEIVER_PORT)
    processes.start("monitor", [wine, args.monitor])
    require(drive.run("wait-window", 60)[0] == 0, "the monitor showed no window within 60 s")
    monitor = Monitor(drive, args.pocket)
    if args.pocket:
        drive.ok("select-port", "COM%d:  Serial" % PORT)
    else:
        drive.ok("select-port", "COM%d:" % PORT)
        check(drive.value("text", DESKTOP_FAMILY_LIST) == "Auto", "the family list does not start at Auto")
        check(drive.value("enabled", DESKTOP_IDENTIFY) == "0", "Identify is enabled with the port closed")
    drive.ok("select-baud", "4800")
    for family in FAMILIES:
        play_family(args, monitor, processes, work, *family)
    play_still(args, monitor, processes, work)
    drive.run("close", 20)


def main():
    parser = argparse.ArgumentParser()
    for name in ("--monitor", "--driver", "--sim", "--decode", "--capture", "--still-capture"):
        parser.add_argument(name, required=True)
    parser.add_argument("--pocket", action="store_true")
    parser.add_argument("--desktop-script", default="")
    args = parser.parse_args()
    return pocket_e2e.run_in_either_build("families_e2e", args, scenario)


if __name__ == "__main__":
    sys.exit(main())
