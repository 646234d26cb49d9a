"""Tells scripts/demo whether a screenshot shows the information page with a
whole satellite group: a signal bar in as many columns as the last complete
$GPGSV group in the log pane has satellites with a signal (for a receiver of
several systems, at least as many bars across the page as all talkers' last
groups have satellites with a signal).

  page_complete.py SCREEN.ppm "LEFT TOP RIGHT BOTTOM" LOG.txt [DPI]

SCREEN.ppm is the whole screen (8-bit PPM); the rectangle is the page's place
on it; DPI (96) the screen's, by which the page's pixels are multiplied. Exit status 0 when the page is complete, 1 when not (yet).
"""
import re
import sys

shot, rect, log = sys.argv[1], sys.argv[2], sys.argv[3]
left, top, _, _ = map(int, rect.split())
scale = int(sys.argv[4]) / 96 if len(sys.argv) > 4 else 1

# Each talker's last group whose messages 1 to n all arrived, in order. A
# receiver of one system ($GP only) fills the columns from its group; one of
# several systems fills all twelve it can from every talker's group.
groups, complete = {}, {}
with open(log, "rb") as f:
    for line in f.read().split(b"\r\n"):
        fields = line.split(b"*")[0].split(b",")
        if not fields[0].endswith(b"GSV") or len(fields) < 4:
            continue
        talker = fields[0][-5:-3]
        try:
            total, number = int(fields[1]), int(fields[2])
        except ValueError:
            groups[talker] = []
            continue
        group = groups.get(talker, [])
        group = [fields] if number == 1 else (group + [fields] if len(group) == number - 1 else [])
        groups[talker] = group
        if group and number == total:
            complete[talker] = group
if not complete:
    sys.exit(1)


def with_signal(group):
    """The satellites of a group that have a signal, by number."""
    sats = [sat for fields in group for sat in zip(*[iter(fields[4:])] * 4) if len(sat) == 4]
    return [sat[0] for sat in sats if sat[3].strip(b"0") != b""]


single = set(complete) <= {b"GP"}
if single:
    wanted = len(with_signal(complete[b"GP"])[:12])
else:
    wanted = len({(talker, number) for talker, group in complete.items() for number in with_signal(group)})

with open(shot, "rb") as f:
    data = f.read()
header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
width, rgb = int(header.group(1)), data[header.end():]


def pixel(x, y):
    k = 3 * ((top + int((y + 0.5) * scale)) * width + left + int((x + 0.5) * scale))
    return rgb[k:k + 3]


# A bar's lowest row (229) is solid blue, or red for a satellite not in the fix.
BAR = (b"\0\0\xff", b"\xff\0\0")
if single:
    bars = sum(1 for i in range(12) if pixel(5 + 20 * i + 7, 229) in BAR)
    sys.exit(0 if bars == wanted else 1)
# The all-systems bars share the page's width, a gap between each two: count
# the runs of bar colour along the row.
row = [pixel(x, 229) in BAR for x in range(5, 515)]
bars = sum(1 for x, on in enumerate(row) if on and (x == 0 or not row[x - 1]))
sys.exit(0 if bars >= wanted else 1)
