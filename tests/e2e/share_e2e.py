#!/usr/bin/env python3
"""Sharing the receiver, end to end: trelvane.exe on the rig with File >
Share Receiver on, and real clients from Debian's packages.

- The Setup page's "Shared: N clients" follows the clients; the choice is
  saved as HKCU\\Software\\Trelvane Share; without Allow Other Computers the
  servers listen on 127.0.0.1 only, with it on every interface.
- Port 10110: a client gets the accepted sentences, whole and in order; gpsd
  itself (gpsd -N -n tcp://127.0.0.1:10110, serving on 2948) reads them.
- Port 2947: gpspipe -w and the gps Python module get VERSION, DEVICES,
  WATCH, then TPV and SKY; ?POLL; answers; garbage gets an ERROR; a client
  that never reads does not hold the others up.
- gpsd's TPV and SKY for the relayed sentences agree with the monitor's own:
  mode, time, position, speed, track, and each satellite's numbering,
  elevation, azimuth, signal and use.

  share_e2e.py --monitor EXE --driver EXE --sim EXE --capture FILE

Needs what desktop_e2e.py needs, and gpsd, gpspipe and python3-gps.
"""
import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_e2e as common  # noqa: E402  the same processes, driver and checks
import pocket_e2e  # noqa: E402  reg.exe
from desktop_e2e import Abort, check, require, wait_until  # noqa: E402

PORT, RECEIVER_PORT = 2, 12
START_GPS, SHARED = 1004, 1030
SHARE, ALLOW_OTHERS = 40020, 40021
NMEA_PORT, GPSD_PORT, RELAY_PORT = 10110, 2947, 2948
SYSTEM_PYTHON = "/usr/bin/python3"  # the one python3-gps installs into
# gpsd lives in /usr/sbin, which a user's PATH may leave out.
GPSD = shutil.which("gpsd") or "/usr/sbin/gpsd"
PLAY_SECONDS = 12  # fix cycles of the capture played


def listening(port):
    """The addresses a TCP port listens on, from the kernel's tables."""
    found = set()
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as f:
                rows = f.read().split("\n")[1:]
        except OSError:
            continue
        for row in rows:
            fields = row.split()
            if len(fields) > 3 and fields[3] == "0A" and int(fields[1].split(":")[1], 16) == port:
                address = fields[1].split(":")[0]
                found.add("127.0.0.1" if address == "0100007F" else "0.0.0.0" if address == "00000000" else address)
    return found


def objects(text):
    out = []
    for line in text.splitlines():
        try:
            out.append(json.loads(line))
        except ValueError:
            pass
    return out


def connect(port):
    client = socket.create_connection(("127.0.0.1", port), timeout=10)
    client.settimeout(10)
    return client


def read_for(client, seconds):
    data = b""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        client.settimeout(max(0.05, deadline - time.monotonic()))
        try:
            chunk = client.recv(65536)
        except socket.timeout:
            break
        if not chunk:
            break
        data += chunk
    return data


def last_with(found, name, key=None):
    matching = [o for o in found if o.get("class") == name and (key is None or key in o)]
    return matching[-1] if matching else None


def same_number(a, b, tolerance):
    return a is not None and b is not None and abs(float(a) - float(b)) <= tolerance


def compare_tpv(ours, theirs):
    """gpsd's TPV for a cycle against the monitor's for the same time."""
    problems = []
    for key, tolerance in (("mode", 0), ("lat", 1e-8), ("lon", 1e-8), ("speed", 0.002), ("track", 0.01)):
        if key in theirs and not same_number(ours.get(key), theirs[key], tolerance):
            problems.append("%s %r, gpsd %r" % (key, ours.get(key), theirs[key]))
    return problems


# Debian's gpsd (3.22) numbers some SBAS satellites otherwise than current
# gpsd, and does not mark Galileo and BeiDou satellites used from their GSA:
# for those systems a satellite may be missing on either side, and its use
# is not compared.
OLDER_GPSD_DIFFERS = {1, 2, 3}  # gnssid: SBAS, Galileo, BeiDou


def compare_sky(ours, theirs):
    """Each satellite gpsd reports, by its system and number, in the monitor's SKY."""
    mine = {(s.get("gnssid"), s.get("svid")): s for s in ours.get("satellites", [])}
    problems = []
    compared = 0
    for s in theirs.get("satellites", []):
        key = (s.get("gnssid"), s.get("svid"))
        match = mine.get(key)
        if match is None:
            if key[0] not in OLDER_GPSD_DIFFERS:
                problems.append("gpsd's %r is not in the monitor's view" % (key,))
            continue
        compared += 1
        for field in ("PRN", "el", "az", "ss", "used"):
            if field == "used" and key[0] in OLDER_GPSD_DIFFERS:
                continue
            # Debian's gpsd says 0 for a signal the receiver left empty; the
            # monitor leaves it out, as current gpsd does.
            if field == "ss" and s.get(field) == 0 and field not in match:
                continue
            if field in s and match.get(field) != s[field]:
                problems.append("%r %s %r, gpsd %r" % (key, field, match.get(field), s[field]))
    if compared < 20:
        problems.append("only %d satellites of gpsd's are in the monitor's view" % compared)
    return problems


def scenario(args, work, processes):
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    cables = os.environ["TRELVANE_CABLES"]
    drive = common.Driver(wine, args.driver)
    for port in (NMEA_PORT, GPSD_PORT, RELAY_PORT):
        require(not listening(port), "port %d is taken before the test starts" % port)
    ends = [os.path.join(cables, "com%d" % n) for n in (PORT, RECEIVER_PORT)]
    for end in ends:
        if os.path.islink(end):
            os.unlink(end)
    processes.start("wire", [sys.executable, common.CABLE_RIG, "wire", ends[0], ends[1]])
    require(wait_until(10, lambda: all(os.path.exists(e) for e in ends)), "the wire made no cable")
    processes.start("trelvane.exe", [wine, args.monitor])
    require(drive.run("wait-window", 60)[0] == 0, "trelvane.exe showed no window within 60 s")
    check(drive.value("text", SHARED) == "", "before File > Share Receiver the page shows %r" % drive.value("text", SHARED))

    drive.ok("command", SHARE)
    check(wait_until(5, lambda: drive.value("text", SHARED) == "Shared: 0 clients"),
          "sharing with no client reads %r" % drive.value("text", SHARED))
    saved = pocket_e2e.wine_reg(wine, "query", pocket_e2e.SAVED_KEY, "/v", "Share")[1]
    check("0x1" in saved, "the choice to share is not saved: %r" % saved)
    for port in (NMEA_PORT, GPSD_PORT):
        check(listening(port) == {"127.0.0.1"}, "port %d listens on %r" % (port, listening(port)))

    # gpsd reads the monitor's NMEA port; three clients wait on the others.
    relay = processes.start("gpsd", [GPSD, "-N", "-n", "-b", "-S", str(RELAY_PORT), "-F",
                                     os.path.join(work, "gpsd.sock"), "tcp://127.0.0.1:%d" % NMEA_PORT])
    nmea = connect(NMEA_PORT)
    idle = connect(GPSD_PORT)  # never reads
    garbage = connect(GPSD_PORT)
    garbage.sendall(b"\x00\xff nothing a client says;\n")
    check(wait_until(10, lambda: drive.value("text", SHARED) == "Shared: 4 clients"),
          "with four clients the page reads %r" % drive.value("text", SHARED))
    answer = objects(read_for(garbage, 2).decode("utf-8", "replace"))
    check([o.get("class") for o in answer][:1] == ["VERSION"] and any(o.get("class") == "ERROR" for o in answer),
          "garbage was answered %r" % answer)

    drive.ok("select-port", "COM%d:" % PORT)
    drive.ok("select-baud", "115200")
    drive.ok("click", START_GPS)
    require(drive.run("wait-text", START_GPS, "Close GPS", 10)[0] == 0, "Start GPS did not open")
    # Both watchers run through the whole play, so that their TPVs pair up
    # by time and their last SKY is of the same last cycle.
    watches = []
    for port in (GPSD_PORT, RELAY_PORT):
        out = open(os.path.join(work, "watch-%d.json" % port), "wb")
        watches.append((processes.start("gpspipe %d" % port, ["gpspipe", "-w", "localhost:%d" % port], stdout=out), out))
    module = subprocess.Popen([SYSTEM_PYTHON, "-c", (
        "import gps, json\n"
        "s = gps.gps(host='127.0.0.1', port=%d, mode=gps.WATCH_ENABLE | gps.WATCH_JSON)\n"
        "for report in s:\n"
        "    if report['class'] == 'TPV' and report.get('mode', 0) >= 2:\n"
        "        print(json.dumps({'lat': report['lat'], 'lon': report['lon']})); break\n") % GPSD_PORT],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    sim = processes.start("trelvane-sim.exe", [wine, args.sim, "--baud", "115200", "--once", "COM%d" % RECEIVER_PORT,
                                               "Z:" + args.capture])
    module_out, module_err = module.communicate(timeout=60)
    check(module.returncode == 0 and b'"lat"' in module_out, "the gps module read %r %r" % (module_out, module_err[-300:]))
    time.sleep(PLAY_SECONDS)
    sim.terminate()
    sim.wait(timeout=20)
    time.sleep(2)
    drive.ok("click", START_GPS)  # the link closes: the last cycle is reported
    require(drive.run("wait-text", START_GPS, "Start GPS", 10)[0] == 0, "Close GPS did not close")
    time.sleep(2)
    texts = []
    for watch, out in watches:
        watch.terminate()
        watch.wait(timeout=10)
        out.close()
        with open(out.name, "rb") as f:
            texts.append(f.read().decode("utf-8", "replace"))
    ours, theirs = objects(texts[0]), objects(texts[1])
    classes = [o.get("class") for o in ours]
    check(classes[:3] == ["VERSION", "DEVICES", "WATCH"] and "TPV" in classes and "SKY" in classes,
          "gpspipe -w got %r" % classes[:12])
    check(ours and ours[0].get("proto_major") == 3, "VERSION is %r" % ours[:1])
    tpvs = {o["time"]: o for o in ours if o.get("class") == "TPV" and "time" in o}
    paired = [(tpvs[o["time"]], o) for o in theirs if o.get("class") == "TPV" and o.get("time") in tpvs]
    check(len(paired) >= PLAY_SECONDS // 2, "%d of gpsd's TPVs have the time of one of the monitor's (%r, %r)" % (
        len(paired), last_with(ours, "TPV"), last_with(theirs, "TPV")))
    for mine, gpsd in paired[2:]:  # gpsd joins mid-cycle: its first cycles lack the GSA
        problems = compare_tpv(mine, gpsd)
        check(not problems, "TPV at %s: %s" % (gpsd["time"], "; ".join(problems)))
    sky_mine, sky_gpsd = last_with(ours, "SKY", "satellites"), last_with(theirs, "SKY", "satellites")
    check(sky_mine and sky_gpsd, "a SKY with satellites is missing (monitor %r, gpsd %r)" % (bool(sky_mine), bool(sky_gpsd)))
    if sky_mine and sky_gpsd:
        problems = compare_sky(sky_mine, sky_gpsd)
        check(not problems, "SKY: %s" % "; ".join(problems[:8]))

    poll = connect(GPSD_PORT)
    poll.sendall(b'?WATCH={"enable":true};?POLL;\n')
    polled = objects(read_for(poll, 2).decode("utf-8", "replace"))
    answer = last_with(polled, "POLL")
    check(answer is not None and answer.get("tpv") and answer.get("sky") and answer.get("time", "").endswith("Z"),
          "?POLL; was answered %r" % polled[-1:])
    poll.close()

    sentences = read_for(nmea, 1).split(b"\r\n")[:-1]
    check(sentences and all(common.accepted(line + b"\r\n") for line in sentences),
          "port 10110 gave %d lines, not all whole sentences" % len(sentences))
    with open(args.capture, "rb") as f:
        played = [line for line in common.sent_lines(f.read()) if common.accepted(line + b"\r\n")]
    check(sentences == played[:len(sentences)], "port 10110's sentences are not the capture's, in order")

    drive.ok("command", ALLOW_OTHERS)
    check(wait_until(5, lambda: listening(GPSD_PORT) == {"0.0.0.0"} and listening(NMEA_PORT) == {"0.0.0.0"}),
          "with Allow Other Computers the ports listen on %r" % listening(GPSD_PORT))
    drive.ok("command", ALLOW_OTHERS)
    check(wait_until(5, lambda: listening(GPSD_PORT) == {"127.0.0.1"}),
          "without Allow Other Computers again port 2947 listens on %r" % listening(GPSD_PORT))
    drive.ok("command", SHARE)
    check(wait_until(5, lambda: drive.value("text", SHARED) == "" and not listening(GPSD_PORT)),
          "after sharing stopped the page reads %r" % drive.value("text", SHARED))
    for client in (nmea, idle, garbage):
        client.close()
    relay.terminate()
    drive.run("close", 20)


def main():
    parser = argparse.ArgumentParser()
    for name in ("--monitor", "--driver", "--sim", "--capture"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    for name in ("WINEPREFIX", "TRELVANE_CABLES", "DISPLAY"):
        if not os.environ.get(name):
            print("share_e2e: %s is not set (run under ctest's wine fixture and an X display)" % name)
            return 1
    for program in (GPSD, "gpspipe", SYSTEM_PYTHON):
        if not shutil.which(program):
            print("share_e2e: %s is missing (scripts/bootstrap installs it)" % program)
            return 1
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    processes = common.Processes()
    with tempfile.TemporaryDirectory(prefix="trelvane-share-") as work:
        try:
            scenario(args, work, processes)
        except Abort as stop:
            common.failures.append(str(stop))
        except (subprocess.TimeoutExpired, OSError) as late:
            common.failures.append("no answer in time: %s" % late)
        finally:
            processes.stop_all()
            for value in ("Share", "AllowOthers"):
                pocket_e2e.wine_reg(wine, "delete", pocket_e2e.SAVED_KEY, "/v", value, "/f")
    for failure in common.failures:
        print("share_e2e: FAILED: %s" % failure)
    if not common.failures:
        print("share_e2e: all checks passed")
    return 1 if common.failures else 0


if __name__ == "__main__":
    sys.exit(main())
