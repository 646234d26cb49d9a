#!/usr/bin/env python3
"""Checks trelvane-decode --accuracy against every bundled capture.

This script works the accuracy page's nine texts out on its own from the
capture's lines: which lines pass their checksum, which GGA, RMC and GST it
reads, the fixes they give, the mean centre, the distances on the tangent
plane (sorted in full, where the tool selects), the standard deviations (the
statistics module), the quality shares, and the last GST's sigmas. The
tool's texts must equal these, character for character.

  check_accuracy.py CAPTURE_DIR TOOL [TOOL ARGS...]   (TOOL may be wine64 plus the .exe)
"""
import math
import os
import re
import statistics
import subprocess
import sys

A, E2 = 6378137.0, 0.00669437999014
NUMBER = re.compile(r"^[+-]?(\d+(\.\d*)?|\.\d+)$")
QUALITY_ORDER = [(4, "RTK fixed"), (5, "RTK float"), (2, "DGPS"), (3, "PPS"), (1, "GPS"), (0, "unknown")]


def lines_of(data):
    """The capture's text lines, each with its checksum checked."""
    for raw in data.split(b"\n"):
        line = raw.rstrip(b"\r").decode("latin-1")
        if not line.startswith("$") or len(line) < 4 or len(line) > 252 or line[-3] != "*":
            continue
        body, given = line[1:-3], line[-2:]
        total = 0
        for char in body:
            total ^= ord(char)
        if re.fullmatch(r"[0-9A-Fa-f]{2}", given) and int(given, 16) == total:
            yield line[:-3].split(",")


def number(field):
    return float(field) if NUMBER.match(field) else None


def degrees(field, hemisphere, degree_digits, negative):
    if hemisphere not in ("N", "S", "E", "W") or not NUMBER.match(field) or len(field) <= degree_digits:
        return None
    value = int(field[:degree_digits]) + float(field[degree_digits:]) / 60.0
    return -value if hemisphere == negative else value


def position(fields, at):
    lat = degrees(fields[at], fields[at + 1], 2, "S")
    lon = degrees(fields[at + 2], fields[at + 3], 3, "W")
    return (lat, lon) if lat is not None and lon is not None else None


def read_fixes(data):
    fixes, gst, saw_gga = [], None, False
    for fields in lines_of(data):
        kind = fields[0][3:] if len(fields[0]) == 6 else ""
        if kind == "GGA" and len(fields) == 15:
            if not saw_gga:
                saw_gga, fixes = True, []
            quality = int(fields[6]) if fields[6].isdigit() else -1
            where = position(fields, 2)
            if 1 <= quality <= 5 and where:
                fixes.append((where[0], where[1], number(fields[9]), quality))
        elif kind == "RMC" and 12 <= len(fields) <= 14 and not saw_gga:
            where = position(fields, 3)
            if fields[2] == "A" and where:
                fixes.append((where[0], where[1], None, 0))
        elif kind == "GST" and len(fields) == 9:
            gst = [number(f) for f in fields[6:9]]
    return fixes[-100000:], gst


def texts(fixes, gst):
    def sigma(name, value):
        return "%s %.2f m" % (name, value) if value is not None else "%s -" % name
    gst_text = "GST: none" if gst is None else "GST: %s, %s, %s" % (
        sigma("lat", gst[0]), sigma("lon", gst[1]), sigma("alt", gst[2]))
    n = len(fixes)
    if n == 0:
        return ["Fixes: 0", "CEP50: -", "CEP95: -", "2DRMS: -", "East sd: -, North sd: -", "Altitude: -", "-",
                gst_text, "Centre: -"]
    clat = sum(f[0] for f in fixes) / n
    clon = sum(f[1] for f in fixes) / n
    phi = math.radians(clat)
    w = 1 - E2 * math.sin(phi) ** 2
    east = [math.radians(f[1] - clon) * A / math.sqrt(w) * math.cos(phi) for f in fixes]
    north = [math.radians(f[0] - clat) * A * (1 - E2) / w ** 1.5 for f in fixes]
    distances = sorted(math.hypot(e, nn) for e, nn in zip(east, north))
    east_sd, north_sd = statistics.pstdev(east), statistics.pstdev(north)
    altitudes = [f[2] for f in fixes if f[2] is not None]
    altitude = "Altitude: -" if not altitudes else "Altitude: %.1f m, sd %.2f m" % (
        statistics.fmean(altitudes), statistics.pstdev(altitudes))
    shares = ", ".join("%s %d %%" % (name, (200 * count + n) // (2 * n)) for quality, name in QUALITY_ORDER
                       for count in [sum(1 for f in fixes if f[3] == quality)] if count)
    return ["Fixes: %d" % n,
            "CEP50: %.2f m" % distances[math.ceil(0.50 * n) - 1],
            "CEP95: %.2f m" % distances[math.ceil(0.95 * n) - 1],
            "2DRMS: %.2f m" % (2 * math.hypot(east_sd, north_sd)),
            "East sd: %.2f m, North sd: %.2f m" % (east_sd, north_sd),
            altitude, shares, gst_text,
            "Centre: %.8f, %.8f (mean)" % (clat, clon)]


def main():
    folder, tool = sys.argv[1], sys.argv[2:]
    captures = sorted(os.path.join(root, name) for root, _, names in os.walk(folder) for name in names
                      if name.endswith(".log"))
    failures, seen_gst, seen_fixes = [], 0, 0
    for path in captures:
        with open(path, "rb") as f:
            data = f.read()
        fixes, gst = read_fixes(data)
        expected = texts(fixes, gst)
        done = subprocess.run(tool + ["--accuracy", path], capture_output=True, timeout=120)
        got = done.stdout.decode("utf-8", "replace").replace("\r\n", "\n").split("\n")
        if done.returncode != 0 or got[:9] != expected or got[9:] != [""]:
            failures.append("%s: the tool printed %r (exit %d), not %r" % (
                os.path.relpath(path, folder), got, done.returncode, expected))
        seen_gst += gst is not None
        seen_fixes += len(fixes) > 1
    # The captures must exercise what the page shows: fixes, and GST.
    if seen_fixes < 5 or seen_gst < 2:
        failures.append("only %d captures give fixes and %d a GST" % (seen_fixes, seen_gst))
    for failure in failures:
        print("check_accuracy: FAILED: " + failure)
    print("check_accuracy: %d captures, %d failures" % (len(captures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
