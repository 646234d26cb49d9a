"""Prints the last readout of trelvane-decode's JSON Lines (read on stdin)."""
import json
import sys

capture, build = sys.argv[1], sys.argv[2]
lines = accepted = 0
last = None
for text in sys.stdin:
    last = json.loads(text)
    lines += 1
    accepted += last["result"]
if last is None:
    sys.exit(f"no sentence lines in {capture}")

r = last["readout"]
print(f"{capture}: {lines} lines handed to sentence intake, {accepted} accepted ({build} build)")
print()
print(f"  Date:   {r['date']:<12}  UTC:       {r['utc']}")
print(f"  Lat:    {r['latitude'] + ' ' + r['northSouth']:<12}  Lon:       {r['longitude']} {r['eastWest']}")
print(f"  Speed:  {r['speed']:<12}  Direction: {r['direction']}")
print(f"  Status: {r['status']:<12}  HDOP: {r['hdop']}  PDOP: {r['pdop']}")
print(f"  Satellites in view: {last['inView']}")
print()
print("  sat  used  snr  sky plot x,y")
for prn, used, snr, x, y in last["sats"]:
    if prn:
        print(f"  {prn:>3}  {'yes' if used else ' no'}  {snr:>3}  {x:>3},{y}")
