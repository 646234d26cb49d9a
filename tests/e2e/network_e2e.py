#!/usr/bin/env python3
"""Receivers over the network, end to end, in one build of the monitor.

- TCP: trelvane-sim.exe --tcp-listen serves a u-blox receiver; the monitor
  is started with its address on the command line. Sentences reach the log
  pane and the page, the address stands in the port list, Start GPS is
  grey, Cold Start reaches the receiver over the connection, and Record
  records it. The simulator stopped: "Network receiver lost: ..."; back:
  "Network receiver back", and sentences again.
- A second start with another address hands it to the running copy.
- UDP (File > Open Network Receiver...), heard on 127.0.0.1 only: a
  datagram of 60,000 bytes is read whole, to its last sentence; one sent to
  another of this machine's addresses (127.0.0.2) is not heard; datagrams
  from a sender here reach the log pane; the commands are grey, since
  nothing goes back.
- File > Close Network Receiver gives the port list and Start GPS back.

  network_e2e.py --monitor EXE --driver EXE --sim EXE --capture FILE [--pocket --desktop-script FILE]
"""
import argparse
import os
import re
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_e2e as common  # noqa: E402
import pocket_e2e  # noqa: E402
from desktop_e2e import check, require, wait_until  # noqa: E402

TCP_PORT, UDP_PORT, OTHER_TCP_PORT = 12110, 12111, 12112
OPEN_NETWORK, CLOSE_NETWORK, RECORD = 40017, 40018, 40010
DESKTOP = {"start": 1004, "port": 1000, "cold": 1003}
DESKTOP_IDENTIFY, DESKTOP_NAME, POCKET_IDENTIFY = 1013, 1016, 40027
POCKET = {"start": 1027, "port": 1040, "cold": 1026}


def marked(text):
    """A $GPTXT sentence carrying `text`, CR LF ended."""
    body = "GPTXT,01,01,02,%s" % text
    sum_ = 0
    for c in body.encode():
        sum_ ^= c
    return ("$%s*%02X\r\n" % (body, sum_)).encode()


class DatagramSender:
    """A multiplexer's broadcast: the capture's lines, a second's worth a
    datagram each second, to 127.0.0.1."""

    def __init__(self, capture, port):
        with open(capture, "rb") as f:
            lines = [line for line in f.read().split(b"\n") if line.startswith(b"$")]
        self.cycles = []
        for line in lines:
            if line.startswith(b"$GPRMC") or not self.cycles:
                self.cycles.append(b"")
            self.cycles[-1] += line.rstrip(b"\r") + b"\r\n"
        self.port, self.stop = port, threading.Event()
        self.thread = threading.Thread(target=self._send, daemon=True)
        self.thread.start()

    def _send(self):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
            for cycle in self.cycles:
                if self.stop.wait(1):
                    return
                sender.sendto(cycle, ("127.0.0.1", self.port))

    def close(self):
        self.stop.set()
        self.thread.join(timeout=5)


def start_sim(args, processes, work, port, name):
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    out_path = os.path.join(work, "%s.out" % name)
    with open(out_path, "wb") as out:
        sim = processes.start(name, [wine, args.sim, "--receiver", "ublox9", "--baud", "115200", "--tcp-listen",
                                     str(port)], stdout=out)
    require(wait_until(30, lambda: b"listening on" in common.read(out_path)), "%s never listened" % name)
    return sim, out_path


def scenario(args, work, processes):
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    ids = POCKET if args.pocket else DESKTOP
    drive = pocket_e2e.start_on_cable(args.pocket, args.driver, processes)
    sim, sim_out = start_sim(args, processes, work, TCP_PORT, "sim-tcp")
    address = "tcp://127.0.0.1:%d" % TCP_PORT
    processes.start("monitor", [wine, args.monitor, address])
    require(drive.run("wait-window", 60)[0] == 0, "the monitor showed no window within 60 s")
    check(drive.run("wait-log", "$GPRMC", 30)[0] == 0, "no $GPRMC over TCP reached the log pane")
    check(drive.value("text", ids["port"]) == address and drive.value("enabled", ids["start"]) == "0",
          "with %s open the port list reads %r and Start GPS is %s" % (
              address, drive.value("text", ids["port"]), drive.value("enabled", ids["start"])))
    # Its start-up lines went out before the monitor connected: Identify
    # asks over the connection who it is.
    if args.pocket:
        drive.ok("command", POCKET_IDENTIFY)
        named = drive.run("wait-log", "NEO-M9N", 15)[0] == 0
    else:
        drive.ok("click", DESKTOP_IDENTIFY)
        named = drive.run("wait-text", DESKTOP_NAME, "u-blox 9/10 NEO-M9N, FW SPG 4.04", 15)[0] == 0
    check(named, "Identify over TCP did not name the receiver")
    check(wait_until(10, lambda: drive.value("enabled", ids["cold"]) == "1"), "Cold Start is grey over TCP")
    drive.ok("click", ids["cold"])
    check(wait_until(10, lambda: b"== cold start" in common.read(sim_out)),
          "Cold Start did not reach the receiver: %r" % common.read(sim_out)[-300:])
    if not args.pocket:
        drive.ok("command", RECORD)
        check(drive.run("wait-log", "Recording to ", 10)[0] == 0, "Record did not start on a network receiver")
        time.sleep(2)
        drive.ok("command", RECORD)
        recorded = re.findall(r"Recorded (\d+) bytes", drive.run("wait-log", "Recorded ", 10)[1])
        check(recorded and int(recorded[-1]) > 500, "the network receiver's recording holds %r bytes" % recorded)

    # Ended from inside Wine: a simulator killed by a signal has had its
    # accepted socket kept open by the wineserver, and the monitor then
    # rightly hears no end to the connection.
    subprocess.run([wine, "taskkill", "/F", "/IM", "trelvane-sim.exe"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    sim.terminate()
    sim.wait(timeout=20)
    check(drive.run("wait-log", "Network receiver lost: ", 40)[0] == 0,
          "a receiver gone: the log does not say so: %r" % drive.ok("log")[-300:])
    # A command meanwhile goes nowhere, and says so; the receiver back does
    # not get it late (its output is checked for it below).
    drive.ok("click", ids["cold"])
    check(drive.run("wait-log", "Not sent: the network receiver is reconnecting", 10)[0] == 0,
          "a command while the receiver reconnects: the log does not say it was not sent")
    sim, sim_out = start_sim(args, processes, work, TCP_PORT, "sim-tcp-again")
    check(drive.run("wait-log", "Network receiver back", 20)[0] == 0, "the receiver came back, the log did not say")
    check(wait_until(10, lambda: b"== cold start" not in common.read(sim_out) and
                     drive.run("wait-log", "$GPGGA", 1)[0] == 0), "no sentences after the receiver came back")

    # A second start hands its address to the running copy.
    other, _ = start_sim(args, processes, work, OTHER_TCP_PORT, "sim-other")
    other_address = "tcp://127.0.0.1:%d" % OTHER_TCP_PORT
    processes.start("second start", [wine, args.monitor, other_address]).wait(timeout=60)
    check(wait_until(15, lambda: drive.value("text", ids["port"]) == other_address),
          "a second start did not hand over %s: %r" % (other_address, drive.value("text", ids["port"])))

    # UDP from the dialog, heard on one local address: one way only.
    udp_address = "udp://127.0.0.1:%d" % UDP_PORT
    drive.ok("command", OPEN_NETWORK)
    drive.ok("dialog", "Open Network Receiver", 15, "1210=" + udp_address, "press=1")
    check(wait_until(10, lambda: drive.value("text", ids["port"]) == udp_address),
          "the UDP receiver's address is not in the port list: %r" % drive.value("text", ids["port"]))
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as once:
        whole = b""
        with open(args.capture, "rb") as f:
            lines = [line.rstrip(b"\r") + b"\r\n" for line in f.read().split(b"\n") if line.startswith(b"$")]
        for line in lines * 100:
            if len(whole) + len(line) > 60000:
                break
            whole += line
        whole += marked("WHOLE DATAGRAM")
        check(len(whole) > 59000, "the capture is too short for a large datagram: %d bytes" % len(whole))
        once.sendto(whole, ("127.0.0.1", UDP_PORT))
        check(drive.run("wait-log", "WHOLE DATAGRAM", 15)[0] == 0,
              "a datagram of %d bytes did not reach the log pane to its end" % len(whole))
        for _ in range(3):
            once.sendto(marked("OTHER ADDRESS"), ("127.0.0.2", UDP_PORT))
        time.sleep(2)
        once.sendto(marked("THIS ADDRESS"), ("127.0.0.1", UDP_PORT))
        check(drive.run("wait-log", "THIS ADDRESS", 15)[0] == 0, "a datagram to 127.0.0.1 after them was not heard")
        check("OTHER ADDRESS" not in drive.ok("log"), "a datagram sent to 127.0.0.2 was heard on 127.0.0.1")
    sender = DatagramSender(args.capture, UDP_PORT)
    try:
        check(drive.run("wait-log", "$GPGSV", 15)[0] == 0, "no datagram's sentence reached the log pane")
        check(drive.value("enabled", ids["cold"]) == "0", "Cold Start is offered for a UDP receiver")
    finally:
        sender.close()
    drive.ok("command", CLOSE_NETWORK)
    check(wait_until(10, lambda: drive.value("enabled", ids["start"]) == "1" and
                     drive.value("text", ids["port"]).startswith("COM")),
          "after Close Network Receiver: Start GPS %s, the port list %r" % (
              drive.value("enabled", ids["start"]), drive.value("text", ids["port"])))
    drive.run("close", 20)


def main():
    parser = argparse.ArgumentParser()
    for name in ("--monitor", "--driver", "--sim", "--capture"):
        parser.add_argument(name, required=True)
    parser.add_argument("--pocket", action="store_true")
    parser.add_argument("--desktop-script", default="")
    args = parser.parse_args()
    return pocket_e2e.run_in_either_build("network_e2e", args, scenario)


if __name__ == "__main__":
    sys.exit(main())
