#!/usr/bin/env python3
"""Checks trelvane-decode's all-systems view and readout against gpsd's reports.

Each multi-system capture comes with gpsd's expected output (<name>.log.chk):
the sentences interleaved with its TPV and SKY reports. At every SKY report
that ends a cycle (the last one after a run of GSV sentences) the "gnss" view
must hold the same satellites as gpsd's, with the same in-use marks and SNR
(gpsd lists a satellite once per signal; those are merged here as the view
merges them). Every position the readout shows must be one gpsd reported.
Where gpsd reads a sentence differently, EXCEPTIONS says so, with the sentence.

  check_gnss_oracle.py CAPTURE_DIR TOOL [TOOL ARGS...]   (TOOL may be wine64 plus the .exe)
"""
import json
import os
import re
import subprocess
import sys

# gpsd's gnssid -> our system letter.
LETTER = {0: "G", 1: "S", 2: "E", 3: "C", 5: "J", 6: "R", 7: "I"}

# Where gpsd's reports differ from the view or the readout, and why. Keys:
# ("cycle", data line of the GSV that ends the run) or ("position", RMC line);
# the sentence on that line must be the one quoted.
EXCEPTIONS = {
    "quectel-l76k-nmea.log": {
        ("cycle", 6): ("$GLGSV,3,3,10,71,23,216,,72,43,277,,0*7A",
                       "the capture starts inside a GPS group ($GPGSV,3,2,12,... is its first line): gpsd shows "
                       "messages 2 and 3 of that group, the view takes no group whose message 1 it has not seen"),
    },
    "neo-m8n.log": {
        ("position", 291): ("$GNRMC,171948.00,A,4404.13902,N,12118.85371,W,0.059,,180315,,,A*72",
                            "the capture's last RMC: gpsd reports a fix when its cycle ends, and the capture "
                            "ends first, so no TPV carries this position"),
    },
}
CAPTURES = ["ublox-neo-m9n-nmea.log", "ublox-zed-f9p-nmea.log", "quectel-l76k-nmea.log", "neo-m8n.log",
            "sirfstarv-nmea.log", "bu353-glonass.log", "beidou-gb.log"]

failures = []


def fail(message):
    failures.append(message)


def data_lines(path):
    """The capture's sentence lines, as trelvane-decode numbers them."""
    out = []
    for raw in open(path, "rb").read().split(b"\n"):
        if raw == b"" or raw.startswith(b"#"):
            continue
        out.append(raw.rstrip(b"\r").decode("latin-1"))
    return out


def chk_events(path):
    """[(sentence, [reports after it])] in the order gpsd echoed them."""
    events = []
    for raw in open(path, "rb").read().decode("latin-1").split("\n"):
        line = raw.rstrip("\r")
        if line.startswith("$"):
            events.append((line, []))
        elif line.startswith("{") and events:
            events[-1][1].append(json.loads(line))
    return events


def gpsd_view(sky):
    view = {}
    for s in sky["satellites"]:
        key = (LETTER[s["gnssid"]], s["svid"])
        snr = int(s["ss"]) if "ss" in s else None
        old = view.get(key)
        if old is None:
            view[key] = {"snr": snr, "used": s.get("used", False),
                         "el": int(s["el"]) if "el" in s else None, "az": int(s["az"]) if "az" in s else None}
        else:
            old["used"] = old["used"] or s.get("used", False)
            if snr is not None and (old["snr"] is None or snr > old["snr"]):
                old["snr"] = snr
    return view


def our_view(gnss):
    return {(s["sys"], s["prn"]): {"snr": s["snr"], "used": s["used"], "el": s["el"], "az": s["az"]} for s in gnss}


def degrees(text, hemisphere):
    match = re.match(r"(\d+)\u00b0(\d+\.\d+)'", text)
    value = int(match.group(1)) + float(match.group(2)) / 60.0
    return -value if hemisphere in ("S", "W") else value


def excused(exceptions, kind, number, sentence, used):
    entry = exceptions.get((kind, number))
    if entry is None:
        return False
    used.add((kind, number))
    if entry[0] != sentence:
        fail("exception for %s line %d names %s, the line is %s" % (kind, number, entry[0], sentence))
    return True


def check_capture(name, tool, capture_dir, exceptions):
    path = os.path.join(capture_dir, name)
    lines = data_lines(path)
    # Three captures were recorded with their line ends cut to LF; the tool
    # puts back the CR that every sentence has on the wire.
    data = open(path, "rb").read()
    run = subprocess.run(tool + ["--build", "pocket", "-"], input=data, stdout=subprocess.PIPE, check=False)
    objects = [json.loads(t) for t in run.stdout.decode("utf-8").splitlines()]
    if run.returncode != 0 or len(objects) != len(lines):
        fail("%s: %d objects for %d lines" % (name, len(objects), len(lines)))
        return 0, 0, 0
    views, current = [], []
    for obj in objects:
        current = obj.get("gnss", current)
        views.append(current)

    events = chk_events(path + ".chk")
    used = set()  # exceptions that were needed
    positions = set()
    cycles = agreed = 0
    at = 0
    for index, (sentence, reports) in enumerate(events):
        while at < len(lines) and lines[at] != sentence:
            at += 1
        if at == len(lines):
            fail("%s: gpsd echoed a sentence not in the capture: %s" % (name, sentence))
            return cycles, agreed, 0
        for report in reports:
            if report["class"] == "TPV" and "lat" in report:
                positions.add((round(report["lat"], 6), round(report["lon"], 6)))
        next_sentence = events[index + 1][0] if index + 1 < len(events) else ""
        skies = [r for r in reports if r["class"] == "SKY" and "satellites" in r]
        if sentence[3:6] == "GSV" and next_sentence[3:6] != "GSV" and skies:
            cycles += 1
            problems = compare(gpsd_view(skies[-1]), our_view(views[at]))
            if not problems:
                agreed += 1
            elif not excused(exceptions, "cycle", at + 1, sentence, used):
                fail("%s line %d (%s): %s" % (name, at + 1, sentence, "; ".join(problems[:4])))
        at += 1

    shown = 0
    for number, (obj, line) in enumerate(zip(objects, lines), start=1):
        r = obj["readout"]
        if obj["decoded"] != "RMC" or not r["latitude"] or not r["longitude"]:
            continue
        shown += 1
        position = (round(degrees(r["latitude"], r["northSouth"]), 6),
                    round(degrees(r["longitude"], r["eastWest"]), 6))
        if position not in positions and not excused(exceptions, "position", number, line, used):
            fail("%s line %d: readout shows %s, which gpsd never reported" % (name, number, position))
    for key in sorted(set(exceptions) - used):
        fail("%s: exception %s is no longer needed" % (name, key))
    return cycles, agreed, shown


def compare(theirs, ours):
    problems = []
    for key in sorted(set(theirs) | set(ours)):
        a, b = theirs.get(key), ours.get(key)
        if a is None or b is None:
            problems.append("%s%d only in %s" % (key[0], key[1], "gpsd" if b is None else "the view"))
        elif a != b:
            problems.append("%s%d gpsd %s, view %s" % (key[0], key[1], a, b))
    return problems


def main():
    capture_dir, tool = sys.argv[1], sys.argv[2:]
    for name in CAPTURES:
        cycles, agreed, shown = check_capture(name, tool, capture_dir, EXCEPTIONS.get(name, {}))
        print("%s: %d of %d cycles agree with gpsd, %d RMC positions checked" % (name, agreed, cycles, shown))
        if cycles == 0 or shown == 0:
            fail("%s: nothing compared" % name)
    for message in failures[:40]:
        print("FAIL:", message)
    print("check_gnss_oracle: %d problems" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
