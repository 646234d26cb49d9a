#!/usr/bin/env python3
"""Checks the artwork that desktop/art/make_art.py draws at build time.

Runs the generator twice into fresh directories and reads the files back with
its own decoders: the two runs must agree byte for byte; sky.bmp must be the
bitmap the information page expects (155 x 155, 8 bits, 256 colours,
uncompressed, 24180 bytes of rows) and hold the geometry the sky plot draws
on: the cross on column 77 and row 78, rings of radius 26, 45 and 63 about
(77, 77), a globe inside the horizon, stars only outside it, no other white
and none of the page's pure mark colours; trelvane.ico must hold a 32 x 32
and a 16 x 16 image of 8 bits, opaque in the middle and transparent around.

  check_art.py [MAKE_ART]     (default: the generator in this source tree)
"""
import math
import os
import struct
import subprocess
import sys
import tempfile

SIZE, ROW_BYTES, IMAGE_BYTES = 155, 156, 24180
CENTRE, CROSS_X, CROSS_Y = 77, 77, 78
RADII = (26, 45, 63)
HORIZON = 63
WHITE, BLACK = (255, 255, 255), (0, 0, 0)
MARK_COLOURS = {(0, 0, 255): "blue", (255, 0, 0): "red", (0, 255, 0): "green"}
# A one-pixel ring steps diagonally, so the pixel that rounds from a point of
# the circle may be the corner it cut; the nearest ring pixel is never further
# than this from any point of the circle.
RING_REACH = 0.8

failures = []


def fail(message):
    failures.append(message)


def expect(what, actual, expected):
    if actual != expected:
        fail("%s is %r, expected %r" % (what, actual, expected))


def read_palette(data, offset):
    return [(data[i + 2], data[i + 1], data[i]) for i in range(offset, offset + 1024, 4)]


def pure_mark_colours(palette, used, where):
    """Even an unused entry would be a trap for whoever edits the picture next."""
    for index, colour in enumerate(palette):
        if colour in MARK_COLOURS:
            fail("%s: palette entry %d%s is pure %s" % (
                where, index, " (in use)" if index in used else "", MARK_COLOURS[colour]))


def sea_like(c):
    return c[2] > c[0] and c[2] > c[1]


def land_like(c):
    return c[1] > c[2] or c[0] > c[2]


def grey(c):
    return c[0] == c[1] == c[2]


# --- sky.bmp -----------------------------------------------------------------

BMP_FIELDS = [  # name, offset, format, expected value
    ("bfType", 0, "2s", b"BM"),
    ("bfReserved", 6, "<I", 0),
    ("bfOffBits", 10, "<I", 14 + 40 + 1024),
    ("biSize", 14, "<I", 40),
    ("biWidth", 18, "<i", SIZE),
    ("biHeight (positive: bottom-up)", 22, "<i", SIZE),
    ("biPlanes", 26, "<H", 1),
    ("biBitCount", 28, "<H", 8),
    ("biCompression (BI_RGB)", 30, "<I", 0),
    ("biSizeImage", 34, "<I", IMAGE_BYTES),
]


def check_bmp(data):
    """Header checks; returns pixel(x, y) -> colour in top-down coordinates, or None."""
    if len(data) < 54:
        fail("sky.bmp: only %d bytes" % len(data))
        return None
    for name, offset, fmt, expected in BMP_FIELDS:
        expect("sky.bmp " + name, struct.unpack_from(fmt, data, offset)[0], expected)
    expect("sky.bmp bfSize", struct.unpack_from("<I", data, 2)[0], len(data))
    expect("sky.bmp length", len(data), 14 + 40 + 1024 + IMAGE_BYTES)
    used = struct.unpack_from("<I", data, 46)[0]
    if used not in (0, 256):
        fail("sky.bmp biClrUsed is %d, expected 0 or 256" % used)
    if failures:
        return None
    palette = read_palette(data, 54)
    rows = data[1078:]
    for y in range(SIZE):
        if rows[y * ROW_BYTES + SIZE] != 0:
            fail("sky.bmp: padding byte of stored row %d is not zero" % y)
    indices = {rows[y * ROW_BYTES + x] for y in range(SIZE) for x in range(SIZE)}
    pure_mark_colours(palette, indices, "sky.bmp")
    return lambda x, y: palette[rows[(SIZE - 1 - y) * ROW_BYTES + x]]


def distance(x, y):
    return math.hypot(x - CENTRE, y - CENTRE)


def on_cross(x, y):
    return x == CROSS_X or y == CROSS_Y


def check_sky_geometry(pixel):
    for y in range(SIZE):
        if distance(CROSS_X, y) <= HORIZON and pixel(CROSS_X, y) != WHITE:
            fail("sky: cross pixel (%d, %d) is %s, not white" % (CROSS_X, y, pixel(CROSS_X, y)))
    for x in range(SIZE):
        if distance(x, CROSS_Y) <= HORIZON and pixel(x, CROSS_Y) != WHITE:
            fail("sky: cross pixel (%d, %d) is %s, not white" % (x, CROSS_Y, pixel(x, CROSS_Y)))

    whites = {(x, y) for y in range(SIZE) for x in range(SIZE) if pixel(x, y) == WHITE}
    for r in RADII:
        for step in range(720):
            a = 2 * math.pi * step / 720
            px, py = CENTRE + r * math.cos(a), CENTRE + r * math.sin(a)
            around = [(round(px) + dx, round(py) + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)]
            near = min([math.hypot(px - x, py - y) for x, y in around if (x, y) in whites],
                       default=math.inf)
            if near > RING_REACH:
                fail("sky: ring %d has no pixel near (%.1f, %.1f), angle %.1f degrees"
                     % (r, px, py, step / 2))
                break
    for x, y in whites:
        if not on_cross(x, y) and min(abs(distance(x, y) - r) for r in RADII) > 0.5:
            fail("sky: stray white pixel (%d, %d), %.2f from the centre" % (x, y, distance(x, y)))

    globe = [pixel(x, y) for y in range(SIZE) for x in range(SIZE)
             if distance(x, y) < 60 and pixel(x, y) != WHITE]
    if any(c == BLACK for c in globe):
        fail("sky: black pixels inside radius 60, where the globe is")
    sea = sum(1 for c in globe if sea_like(c))
    land = sum(1 for c in globe if land_like(c))
    if sea < 0.3 * len(globe) or land < 0.1 * len(globe):
        fail("sky: globe has %d sea and %d land pixels of %d" % (sea, land, len(globe)))
    if any(grey(c) for c in globe):
        fail("sky: grey (star) pixels on the globe")

    stars = 0
    for y in range(SIZE):
        for x in range(SIZE):
            c = pixel(x, y)
            if distance(x, y) >= HORIZON + 3 and c != BLACK:
                if not grey(c) or c == WHITE and not on_cross(x, y):
                    fail("sky: pixel (%d, %d) outside the horizon is %s, not black or a star"
                         % (x, y, c))
                elif c != WHITE:
                    stars += 1
    if stars < 10:
        fail("sky: only %d star pixels" % stars)
    for x, y in ((0, 0), (SIZE - 1, 0), (0, SIZE - 1), (SIZE - 1, SIZE - 1)):
        if not grey(pixel(x, y)) or pixel(x, y) == WHITE:
            fail("sky: corner (%d, %d) is %s" % (x, y, pixel(x, y)))


# --- trelvane.ico ------------------------------------------------------------------

def check_ico(data):
    if len(data) < 6:
        fail("trelvane.ico: only %d bytes" % len(data))
        return
    expect("trelvane.ico ICONDIR", struct.unpack_from("<HHH", data, 0), (0, 1, 2))
    end = 6 + 2 * 16
    for n, size in enumerate((32, 16)):
        width, height, colours, reserved, planes, bits, length, offset = \
            struct.unpack_from("<BBBBHHII", data, 6 + 16 * n)
        where = "trelvane.ico entry %d" % n
        expect(where + " size", (width, height), (size, size))
        expect(where + " colour count, reserved, planes, bits", (colours, reserved, planes, bits),
               (0, 0, 1, 8))
        expect(where + " offset (images follow each other)", offset, end)
        xor_row, and_row = (size + 3) // 4 * 4, (size + 31) // 32 * 4
        expect(where + " length", length, 40 + 1024 + size * (xor_row + and_row))
        end = offset + length
        if end > len(data):
            fail(where + " runs past the end of the file")
        if failures:
            return
        check_icon_image(data[offset:end], size, xor_row, and_row, where)
    expect("trelvane.ico length", len(data), end)


def check_icon_image(image, size, xor_row, and_row, where):
    header = struct.unpack_from("<IiiHHI", image, 0)
    expect(where + " BITMAPINFOHEADER", header, (40, size, 2 * size, 1, 8, 0))
    palette = read_palette(image, 40)
    xor, mask = image[1064:1064 + size * xor_row], image[1064 + size * xor_row:]

    def colour(x, y):
        return palette[xor[(size - 1 - y) * xor_row + x]]

    def transparent(x, y):
        return mask[(size - 1 - y) * and_row + x // 8] >> (7 - x % 8) & 1 == 1

    pure_mark_colours(palette, set(xor[r * xor_row + x] for r in range(size) for x in range(size)),
                      where)
    middle = (size - 1) / 2
    opaque = []
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - middle, y - middle)
            if transparent(x, y):
                if colour(x, y) != BLACK:
                    fail("%s: transparent pixel (%d, %d) would tint the screen: %s"
                         % (where, x, y, colour(x, y)))
                if d < 0.4 * size:
                    fail("%s: pixel (%d, %d) inside the globe is transparent" % (where, x, y))
            else:
                opaque.append(colour(x, y))
                if d > size / 2 + 0.5:
                    fail("%s: pixel (%d, %d) outside the disc is opaque" % (where, x, y))
    for x, y in ((0, 0), (size - 1, 0), (0, size - 1), (size - 1, size - 1)):
        if not transparent(x, y):
            fail("%s: corner (%d, %d) is opaque" % (where, x, y))
    centre = int(middle)
    if transparent(centre, centre) or colour(centre, centre) == BLACK:
        fail("%s: centre pixel is transparent or black" % where)
    if not any(c == WHITE for c in opaque):
        fail("%s: no white cross or ring" % where)
    if not any(sea_like(c) for c in opaque) or not any(land_like(c) for c in opaque):
        fail("%s: globe shows no sea or no land" % where)


# --- driver ---------------------------------------------------------------------

def generate(make_art, outdir):
    result = subprocess.run([sys.executable, make_art, outdir], capture_output=True)
    if result.returncode != 0:
        fail("make_art.py %s: exit status %d, %s" % (outdir, result.returncode, result.stderr))
        return None
    files = {}
    for name in ("sky.bmp", "trelvane.ico"):
        with open(os.path.join(outdir, name), "rb") as f:
            files[name] = f.read()
    return files


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    make_art = sys.argv[1] if len(sys.argv) > 1 else \
        os.path.join(here, "..", "..", "desktop", "art", "make_art.py")
    with tempfile.TemporaryDirectory() as tmp:
        first = generate(make_art, os.path.join(tmp, "one"))
        second = generate(make_art, os.path.join(tmp, "two", "nested"))  # made on demand
        result = subprocess.run([sys.executable, make_art], capture_output=True, cwd=tmp)
        if result.returncode == 0 or not result.stderr:
            fail("make_art.py without a directory: exit status %d, stderr %r"
                 % (result.returncode, result.stderr))
        if sorted(os.listdir(tmp)) != ["one", "two"]:
            fail("make_art.py left files behind: %s" % sorted(os.listdir(tmp)))
    if first and second:
        for name in first:
            if first[name] != second[name]:
                fail("%s differs between two runs" % name)
        pixel = check_bmp(first["sky.bmp"])
        if pixel:
            check_sky_geometry(pixel)
        check_ico(first["trelvane.ico"])
    for message in failures[:40]:
        print("FAIL:", message)
    print("check_art: %d problems" % len(failures))
    return 1 if failures or not first else 0


if __name__ == "__main__":
    sys.exit(main())
