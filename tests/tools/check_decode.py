#!/usr/bin/env python3
"""Checks trelvane-decode against the bundled captures.

The tool's output is compared, line by line, with what this script works out
on its own from the raw capture bytes: how the bytes are cut into lines, which
lines pass their checksum, which decoder runs, when the page is asked to
repaint, and the readout texts of every $GPRMC and $GPGSA. Also checks that
reading a file and reading standard input give the same bytes, the exit
status for bad arguments, and what --gnss adds on a capture with GGA and GST.

  check_decode.py CAPTURE_DIR TOOL [TOOL ARGS...]   (TOOL may be wine64 plus the .exe)
"""
import json
import math
import os
import re
import subprocess
import sys

KEYS = ["n", "result", "decoded", "repaint", "readout", "inView", "sats"]
READOUT_KEYS = ["date", "utc", "direction", "speed", "status", "hdop", "pdop",
                "northSouth", "latitude", "eastWest", "longitude"]
# Desktop capacities in bytes, terminator excluded; the degree sign takes two.
DESKTOP_LIMIT = {"date": 14, "latitude": 14, "longitude": 14}

failures = []


def fail(message):
    failures.append(message)


def cut_lines(data):
    """The desktop reader's cutting, without time-outs."""
    lines, current = [], bytearray()
    for byte in data:
        if len(current) == 511:
            current = bytearray()
            continue
        current.append(byte)
        if byte == 0x0A:
            lines.append(bytes(current))
            current = bytearray()
    return [line for line in lines if not line.startswith(b"#")]


def as_text(line):
    return line.split(b"\0", 1)[0]  # a zero byte ends the text


def passes(text):
    if len(text) > 255 or len(text) < 5 or text[-5:-4] != b"*":
        return False
    digits = text[-4:-2]
    if not all(chr(c) in "0123456789abcdefABCDEF" for c in digits):
        return False
    total = 0
    for c in text[1:-5]:
        total ^= c
    return int(digits, 16) == total


def fields(text):
    body = text.split(b"\r", 1)[0]
    return [f.decode("latin-1") for f in re.split(rb"[,*]", body)]


def number(field, k):
    match = re.match(r"[ \t\n\v\f\r]*([+-]?\d+)", field[k:]) if k < len(field) else None
    return max(-2**31, min(2**31 - 1, int(match.group(1)))) if match else 0


def cdiv(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def slot(fs, i):
    return fs[i][:47] if i < len(fs) else ""


def rmc_readout(fs):
    out = {}
    d = slot(fs, 9)
    a, b, c = number(d, 0), number(d, 2), number(d, 4)
    out["date"] = "%.4d/%.2d/%.2d" % ((c + 2000) & 0xFFFF, cdiv(b - c, 100) & 0xFFFF, cdiv(a - b, 10000) & 0xFFFF)
    t = slot(fs, 1)
    a, b, c = number(t, 0), number(t, 2), number(t, 4)
    out["utc"] = "" if not t else "%.2d:%.2d:%.2d" % (cdiv(a - b, 10000) & 0xFFFF, cdiv(b - c, 100) & 0xFFFF, c & 0xFFFF)
    out["direction"] = slot(fs, 8) or "0"
    speed = slot(fs, 7)
    out["speed"] = "%d Km/hr" % (int(number(speed, 0) * 1.852) if speed else 0)
    out["northSouth"], out["eastWest"] = slot(fs, 4), slot(fs, 6)
    for key, index, width in (("latitude", 3, 2), ("longitude", 5, 3)):
        f = slot(fs, index)
        if not f:
            out[key] = ""
            continue
        a, m = number(f, 0), number(f, width)
        digits = re.match(r"\d*", f[width + 3:]).group(0) if len(f) >= width + 3 else ""
        out[key] = "%.*d\u00b0%.2d.%s'" % (width, cdiv(a - m, 100), m, digits.ljust(4, "0"))
    return out


def gsa_readout(fs):
    fix = slot(fs, 2)[:1]
    return {"status": {"2": "2D", "3": "3D"}.get(fix, "No Fix"), "hdop": slot(fs, 16), "pdop": slot(fs, 15)}


def desktop_cut(key, text):
    limit = DESKTOP_LIMIT.get(key, 9)
    out, size = "", 0
    for ch in text:
        width = 2 if ch == "\u00b0" else 1
        if size + width > limit:
            break
        out, size = out + ch, size + width
    return out


def run(tool, args, stdin=None):
    return subprocess.run(tool + args, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)


def check_capture(tool, path, build):
    name = "%s (%s)" % (os.path.basename(path), build)
    data = open(path, "rb").read()
    by_file = run(tool, ["--build", build, path])
    by_stdin = run(tool, ["--build", build, "-"], stdin=data)
    if by_file.returncode != 0 or by_stdin.returncode != 0:
        fail("%s: exit status %d/%d" % (name, by_file.returncode, by_stdin.returncode))
        return
    if by_file.stdout != by_stdin.stdout:
        fail("%s: file and standard input give different output" % name)
    out_lines = by_file.stdout.decode("utf-8").split("\n")
    if out_lines[-1] != "":
        fail("%s: output does not end in a line feed" % name)
    objects = []
    for text in out_lines[:-1]:
        objects.append(json.loads(text, object_pairs_hook=lambda pairs: pairs))
    lines = cut_lines(data)
    if len(objects) != len(lines):
        fail("%s: %d objects for %d lines" % (name, len(objects), len(lines)))
        return

    readout = {key: "" for key in READOUT_KEYS}
    checked = 0
    for index, (pairs, line) in enumerate(zip(objects, lines), start=1):
        obj = dict(pairs)
        where = "%s line %d" % (name, index)
        # "gnss", the all-systems view, follows "sats" on lines that changed it.
        if [k for k, _ in pairs] not in (KEYS, KEYS + ["gnss"]) or [k for k, _ in obj["readout"]] != READOUT_KEYS:
            fail("%s: keys %s" % (where, [k for k, _ in pairs]))
            return
        text = as_text(line)
        ok = passes(text)
        decoded = ""
        if ok:
            for kind in ("RMC", "GSA", "GSV"):
                if b"$GP" + kind.encode() in text:
                    decoded = kind
                    break
        fs = fields(text)
        if kind_ok(obj, index, ok, decoded, where):
            if decoded == "RMC":
                readout.update(rmc_readout(fs))
            elif decoded == "GSA":
                readout.update(gsa_readout(fs))
            expected_repaint = decoded in ("RMC", "GSA") and build == "desktop"
            if decoded == "GSV":
                expected_repaint = number(slot(fs, 2), 0) == number(slot(fs, 1), 0)
                if obj["inView"] != number(slot(fs, 3), 0):
                    fail("%s: inView %d" % (where, obj["inView"]))
            if obj["repaint"] != expected_repaint:
                fail("%s: repaint %s" % (where, obj["repaint"]))
            got = dict(obj["readout"])
            for key in READOUT_KEYS:
                want = desktop_cut(key, readout[key]) if build == "desktop" else readout[key]
                if got[key] != want:
                    fail("%s: %s is %r, expected %r" % (where, key, got[key], want))
            sats = obj["sats"]
            if len(sats) != 12 or any(len(s) != 5 or not isinstance(s[0], str) or s[1] not in (0, 1) for s in sats):
                fail("%s: malformed sats" % where)
            checked += 1
    return checked


def kind_ok(obj, index, ok, decoded, where):
    good = True
    if obj["n"] != index:
        fail("%s: n is %d" % (where, obj["n"]))
        good = False
    if obj["result"] != (1 if ok else 0):
        fail("%s: result %d" % (where, obj["result"]))
        good = False
    if obj["decoded"] != decoded:
        fail("%s: decoded %r, expected %r" % (where, obj["decoded"], decoded))
        good = False
    return good


def check_glued_frames(tool):
    """A receiver's binary acknowledgement glued to a sentence, before it and
    inside it, costs the sentence nothing: the frame is taken out."""
    body = b"GNRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A"
    total = 0
    for c in body:
        total ^= c
    rmc = b"$" + body + b"*%02X\r\n" % total
    ack = bytes([0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x16, 0x24, 0x4D])
    result = run(tool, ["-"], stdin=ack + rmc[:-2] + ack + b"\r\n" + rmc)
    objects = [json.loads(line) for line in result.stdout.decode("utf-8").splitlines()]
    if [(o["result"], o["decoded"]) for o in objects] != [(1, "RMC"), (1, "RMC")]:
        fail("a frame glued to a sentence: %r" % [(o["result"], o["decoded"]) for o in objects])


# multi/ublox-neo-m9n-nmea.log: a GGA whose degrees take more than ten digits, and a GST, read by hand.
FIX_LINES = {
    b"$GNGGA,223746.00,3806.62966,N,12237.61384,W,2,12,0.56,83.0,M,-29.5,M,,0000*40":
        ("gga", [("time", 22 * 3600 + 37 * 60 + 46), ("lat", 38 + 6.62966 / 60), ("lon", -(122 + 37.61384 / 60)),
                 ("quality", 2), ("sats", 12), ("hdop", 0.56), ("alt", 83.0), ("geoid", -29.5)]),
    b"$GNGST,223752.00,837,2.5,2.4,130,0.98,0.99,3.0*47":
        ("gst", [("time", 22 * 3600 + 37 * 60 + 52), ("rms", 837), ("major", 2.5), ("minor", 2.4),
                 ("orient", 130), ("lat_sd", 0.98), ("lon_sd", 0.99), ("alt_sd", 3.0)]),
}


def check_fixes(tool, capture_dir):
    """--gnss ends each GGA and GST line (all whole in this capture) with "gga"
    or "gst" and changes no other byte."""
    path = os.path.join(capture_dir, "multi", "ublox-neo-m9n-nmea.log")
    lines = [l.rstrip(b"\r") for l in open(path, "rb").read().split(b"\n")[:-1] if not l.startswith(b"#")]
    plain = run(tool, [path]).stdout.decode("utf-8").split("\n")[:-1]
    fixed = run(tool, ["--gnss", path]).stdout.decode("utf-8").split("\n")[:-1]
    if not len(lines) == len(plain) == len(fixed) or not set(FIX_LINES) <= set(lines):
        fail("--gnss: %d objects, %d without it, for %d lines" % (len(fixed), len(plain), len(lines)))
        return
    for n, (line, before, after) in enumerate(zip(lines, plain, fixed), start=1):
        key = {b"GGA,": "gga", b"GST,": "gst"}.get(line[3:7])
        added = after[len(before) - 1:-1]
        if after[:len(before) - 1] != before[:-1] or (added[:8] != ',"%s":{' % key if key else added):
            fail("--gnss line %d: %r added" % (n, added))
        elif key:
            got = json.loads(after, object_pairs_hook=lambda pairs: pairs)[-1]  # the line is whole JSON
            want = FIX_LINES.get(line)
            if want and (got[0] != want[0] or [k for k, _ in got[1]] != [k for k, _ in want[1]] or any(
                    not math.isclose(g, w, rel_tol=0, abs_tol=1e-12) for (_, g), (_, w) in zip(got[1], want[1]))):
                fail("--gnss line %d: %r, expected %r" % (n, got, want))


def main():
    capture_dir, tool = sys.argv[1], sys.argv[2:]
    captures = sorted(os.path.join(capture_dir, f) for f in os.listdir(capture_dir) if f.endswith(".log"))
    total = 0
    for path in captures:
        for build in ("desktop", "pocket"):
            total += check_capture(tool, path, build) or 0
    check_glued_frames(tool)
    check_fixes(tool, capture_dir)
    for bad in (["--build"], ["--build", "laptop"], ["--frobnicate"], ["a.log", "b.log"],
                [os.path.join(capture_dir, "no-such-capture.log")]):
        result = run(tool, bad)
        if result.returncode != 2 or not result.stderr.strip() or result.stdout:
            fail("arguments %s: exit status %d, stderr %r" % (bad, result.returncode, result.stderr))
    for message in failures[:40]:
        print("FAIL:", message)
    print("check_decode: %d captures, %d lines checked, %d problems" % (len(captures), total, len(failures)))
    return 1 if failures or total == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
