"""Tells scripts/demo whether a screenshot shows the information page with a
whole satellite group: a signal bar in as many columns as the last complete
$GPGSV group in the log pane has satellites with a signal.

  page_complete.py SCREEN.ppm "LEFT TOP RIGHT BOTTOM" LOG.txt

SCREEN.ppm is the whole screen (8-bit PPM); the rectangle is the page's place
on it. Exit status 0 when the page is complete, 1 when not (yet).
"""
import re
import sys

shot, rect, log = sys.argv[1], sys.argv[2], sys.argv[3]
left, top, _, _ = map(int, rect.split())

# The last group whose messages 1 to n all arrived, in order.
group, complete = [], None
with open(log, "rb") as f:
    for line in f.read().split(b"\r\n"):
        fields = line.split(b"*")[0].split(b",")
        if not fields[0].endswith(b"GPGSV") or len(fields) < 4:
            continue
        try:
            total, number = int(fields[1]), int(fields[2])
        except ValueError:
            group = []
            continue
        group = [fields] if number == 1 else (group + [fields] if len(group) == number - 1 else [])
        if group and number == total:
            complete = group
if complete is None:
    sys.exit(1)
signals = [sat[3] for fields in complete for sat in zip(*[iter(fields[4:])] * 4)]
wanted = sum(1 for snr in signals[:12] if snr.strip(b"0") != b"")

with open(shot, "rb") as f:
    data = f.read()
header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
width, rgb = int(header.group(1)), data[header.end():]


def pixel(x, y):
    k = 3 * ((top + y) * width + left + x)
    return rgb[k:k + 3]


# A bar's lowest row (229) is solid blue, or red for a satellite not in the fix.
bars = sum(1 for i in range(12) if pixel(5 + 20 * i + 7, 229) in (b"\0\0\xff", b"\xff\0\0"))
sys.exit(0 if bars == wanted else 1)
