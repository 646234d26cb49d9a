#!/usr/bin/env python3
"""Draws the desktop monitor's artwork: the sky plot background and the icon.

  make_art.py OUTDIR     writes OUTDIR/sky.bmp and OUTDIR/trelvane.ico

sky.bmp is the background of the information page's sky plot: 155 x 155
pixels, 8 bits per pixel, uncompressed, bottom-up. The page draws satellite
marks on it relative to the plot centre (77, 77) with the horizon 63 pixels
out, so those are fixed here: a white cross (column 77, row 78), white rings
of radius 26, 45 and 63 about (77, 77), a globe filling the horizon ring and
stars only outside it. Colours of the picture stay clear of pure white, blue,
red and green, which belong to the cross and rings and to the page's marks
and bars. trelvane.ico holds the same globe, cross and rings at 32 x 32 and
16 x 16 pixels, 8 bits per pixel, transparent around the disc.

Everything is computed with integer hashing and plain floating-point
arithmetic (no libm transcendental calls, no clock, no global random state),
so the same script always writes the same bytes.
"""
import functools
import math
import os
import struct
import sys

SKY_SIZE = 155
SKY_CENTRE = 77
CROSS_COLUMN = 77
CROSS_ROW = 78
RING_RADII = (26, 45, 63)
HORIZON = RING_RADII[-1]
STAR_MIN_DISTANCE = 66  # stars keep clear of the horizon ring and its glow

# Palette: greys 0-31 (0 black, 31 white), then shade ramps for the sea, for
# green land and for dry land. Each ramp runs from the night side to a lit
# highlight and stays away from the pure primaries.
GREYS = 32
BLACK, WHITE = 0, GREYS - 1
STAR_LEVELS = (9, 13, 17, 21, 25, 29)  # star greys; white stays the overlay's
RAMPS = (  # first index, entries, colour stops (t, (r, g, b))
    (32, 80, ((0.0, (4, 10, 30)), (0.7, (30, 70, 160)), (1.0, (120, 165, 225)))),
    (112, 80, ((0.0, (6, 22, 10)), (0.7, (40, 140, 60)), (1.0, (140, 205, 130)))),
    (192, 64, ((0.0, (24, 18, 8)), (0.7, (150, 125, 70)), (1.0, (215, 195, 145)))),
)
SEA, LAND, DRY = 0, 1, 2
GLOW = (12, 28, 70)  # faint atmosphere just outside the horizon ring


def ramp_colour(stops, t):
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            f = (t - t0) / (t1 - t0)
            return tuple(a + (b - a) * f for a, b in zip(c0, c1))
    return stops[-1][1]


def build_palette():
    palette = [(0, 0, 0)] * 256
    for i in range(GREYS):
        level = (i * 255 + (GREYS - 1) // 2) // (GREYS - 1)
        palette[i] = (level, level, level)
    for first, count, stops in RAMPS:
        for k in range(count):
            colour = ramp_colour(stops, k / (count - 1))
            palette[first + k] = tuple(int(c + 0.5) for c in colour)
    return palette


PALETTE = build_palette()


# --- deterministic noise ---------------------------------------------------

MASK32 = 0xFFFFFFFF


@functools.lru_cache(maxsize=None)  # the coarse octaves revisit the same points
def lattice(ix, iy, iz, seed):
    """A value in [0, 1) for an integer lattice point."""
    h = (ix * 0x8DA6B343 + iy * 0xD8163841 + iz * 0xCB1AB31F + seed * 0x9E3779B1) & MASK32
    h ^= h >> 16
    h = (h * 0x7FEB352D) & MASK32
    h ^= h >> 15
    h = (h * 0x846CA68B) & MASK32
    h ^= h >> 16
    return h / 4294967296.0


def value_noise(x, y, z, seed):
    ix, iy, iz = int(x // 1), int(y // 1), int(z // 1)
    fx, fy, fz = x - ix, y - iy, z - iz
    sx, sy, sz = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy), fz * fz * (3 - 2 * fz)

    def edge(dy, dz):
        a = lattice(ix, iy + dy, iz + dz, seed)
        return a + (lattice(ix + 1, iy + dy, iz + dz, seed) - a) * sx

    near = edge(0, 0)
    near += (edge(1, 0) - near) * sy
    far = edge(0, 1)
    far += (edge(1, 1) - far) * sy
    return near + (far - near) * sz


def fractal(x, y, z, seed, octaves):
    total, amplitude, frequency, norm = 0.0, 1.0, 1.0, 0.0
    for octave in range(octaves):
        total += amplitude * value_noise(x * frequency, y * frequency, z * frequency,
                                         seed + octave)
        norm += amplitude
        amplitude *= 0.5
        frequency *= 2.03
    return total / norm  # in [0, 1)


# --- the globe ---------------------------------------------------------------

# Centres (unit vectors, globe coordinates) and reach of the main land masses;
# noise roughens their coasts and scatters islands.
CONTINENTS = (
    ((-0.30, 0.55, 0.78), 0.55),
    ((0.25, 0.10, 0.96), 0.42),
    ((0.62, 0.62, 0.48), 0.50),
    ((-0.70, -0.35, 0.62), 0.38),
    ((0.40, -0.72, 0.57), 0.30),
    ((-0.05, -0.95, 0.30), 0.35),
)
# View: the globe turned and tilted a little (rows of a rotation matrix).
VIEW = ((0.9397, 0.0000, 0.3420),
        (0.1170, 0.9397, -0.3214),
        (-0.3214, 0.3420, 0.8830))
LIGHT = (-0.4423, 0.5406, 0.7156)   # from the upper left, in front
HALFWAY = (-0.2522, 0.3082, 0.9173)  # between the light and the viewer


def surface(nx, ny):
    """(kind, shade) of the globe seen at (nx, ny), unit disc, y up; None off the disc."""
    rr = nx * nx + ny * ny
    if rr > 1.0:
        return None
    nz = math.sqrt(1.0 - rr)
    px = VIEW[0][0] * nx + VIEW[0][1] * ny + VIEW[0][2] * nz
    py = VIEW[1][0] * nx + VIEW[1][1] * ny + VIEW[1][2] * nz
    pz = VIEW[2][0] * nx + VIEW[2][1] * ny + VIEW[2][2] * nz

    height = (fractal(px * 1.7 + 5.0, py * 1.7 + 5.0, pz * 1.7 + 5.0, 11, 5) - 0.5) * 1.3
    for (cx, cy, cz), reach in CONTINENTS:
        d2 = (px - cx) ** 2 + (py - cy) ** 2 + (pz - cz) ** 2
        if d2 < reach * reach:
            bump = 1.0 - d2 / (reach * reach)
            height += 0.55 * bump * bump
    lit = LIGHT[0] * nx + LIGHT[1] * ny + LIGHT[2] * nz
    shade = 0.16 + 0.54 * max(0.0, lit) + 0.12 * nz  # 0.7 is the ramp's true colour
    if height > 0.22:
        dry = fractal(px * 2.6 + 9.0, py * 2.6 + 9.0, pz * 2.6 + 9.0, 41, 3)
        dry += 0.45 * (1.0 - abs(py))  # deserts towards the equator
        # higher ground a little darker
        return (DRY if dry > 0.95 else LAND), min(1.0, shade - 0.35 * (height - 0.32))
    gloss = max(0.0, HALFWAY[0] * nx + HALFWAY[1] * ny + HALFWAY[2] * nz)
    gloss *= gloss
    gloss *= gloss
    gloss *= gloss  # eighth power: a soft highlight
    depth = min(1.0, (0.22 - height) * 2.5)
    return SEA, min(1.0, shade - 0.08 * depth + 0.35 * gloss)


def ramp_index(kind, shade):
    first, count, _ = RAMPS[kind]
    return first + int(max(0.0, min(1.0, shade)) * (count - 1) + 0.5)


def globe_pixel(cx, cy, radius, x, y, steps):
    """Palette index of pixel (x, y) of a globe of the given radius centred at (cx, cy):
    steps x steps samples; the commonest kind wins and its shades are averaged.
    None if no sample falls on the globe."""
    sums = {}
    for j in range(steps):
        for i in range(steps):
            sx = x - 0.5 + (i + 0.5) / steps
            sy = y - 0.5 + (j + 0.5) / steps
            hit = surface((sx - cx) / radius, (cy - sy) / radius)
            if hit is not None:
                count, total = sums.get(hit[0], (0, 0.0))
                sums[hit[0]] = (count + 1, total + hit[1])
    if not sums:
        return None
    kind = max(sorted(sums), key=lambda k: sums[k][0])
    count, total = sums[kind]
    return ramp_index(kind, total / count)


# --- overlay -------------------------------------------------------------------

def circle_points(cx, cy, r):
    """The pixels of a one-pixel circle (midpoint algorithm)."""
    points = set()
    x, y, err = r, 0, 1 - r
    while x >= y:
        for dx, dy in ((x, y), (y, x)):
            for sx in (1, -1):
                for sy in (1, -1):
                    points.add((cx + sx * dx, cy + sy * dy))
        y += 1
        if err < 0:
            err += 2 * y + 1
        else:
            x -= 1
            err += 2 * (y - x) + 1
    return points


def overlay_points(cx, cy, cross_x, cross_y, radii, horizon):
    """Cross (across the horizon disc) and rings, as a set of pixels."""
    points = set()
    for r in radii:
        points |= circle_points(cx, cy, r)
    limit = (horizon + 0.5) ** 2
    for t in range(-horizon - 1, horizon + 2):
        if (cross_x - cx) ** 2 + t * t <= limit:
            points.add((cross_x, cy + t))
        if t * t + (cross_y - cy) ** 2 <= limit:
            points.add((cx + t, cross_y))
    return points


def next_random(state):
    return (state * 6364136223846793005 + 1442695040888963407) & 0xFFFFFFFFFFFFFFFF


def stars(size, cx, cy, min_distance, count, seed):
    """(x, y, grey) of a star field that keeps min_distance from (cx, cy)."""
    placed, state = [], seed
    while len(placed) < count:
        state = next_random(state)
        x = (state >> 33) % size
        state = next_random(state)
        y = (state >> 33) % size
        state = next_random(state)
        grey = STAR_LEVELS[(state >> 33) % len(STAR_LEVELS)]
        if (x - cx) ** 2 + (y - cy) ** 2 >= min_distance ** 2 and \
                all(abs(x - u) > 2 or abs(y - v) > 2 for u, v, _ in placed):
            placed.append((x, y, grey))
    return placed


# --- pictures ------------------------------------------------------------------

def sky_pixels():
    """155 x 155 palette indices, top row first."""
    size, c = SKY_SIZE, SKY_CENTRE
    rows = [[BLACK] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            d2 = (x - c) ** 2 + (y - c) ** 2
            if d2 <= (HORIZON + 0.5) ** 2:
                index = globe_pixel(c, c, HORIZON + 0.5, x, y, 2)
                rows[y][x] = BLACK if index is None else index
            elif d2 <= (HORIZON + 2.0) ** 2:
                rows[y][x] = ramp_index(SEA, 0.36)  # atmosphere rim
    for n, (x, y, grey) in enumerate(stars(size, c, c, STAR_MIN_DISTANCE, 46, 0x5EED)):
        rows[y][x] = grey
        if n % 7 == 0 and grey >= 21:  # the brightest few get short rays
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                u, v = x + dx, y + dy
                if 0 <= u < size and 0 <= v < size and \
                        (u - c) ** 2 + (v - c) ** 2 >= STAR_MIN_DISTANCE ** 2:
                    rows[v][u] = max(rows[v][u], grey - 12)
    for x, y in overlay_points(c, c, CROSS_COLUMN, CROSS_ROW, RING_RADII, HORIZON):
        rows[y][x] = WHITE
    return rows


def icon_pixels(size):
    """(palette indices, opaque flags) of a size x size icon, top row first.
    The disc is centred on pixel (size/2 - 1) so cross and rings sit on whole pixels."""
    c = size // 2 - 1
    horizon = c
    if size < 24:  # too small for three rings: one halfway out, and the horizon
        radii = ((horizon + 1) // 2, horizon)
    else:
        radii = tuple(round(r * horizon / HORIZON) for r in RING_RADII)
    colours = [[BLACK] * size for _ in range(size)]
    opaque = [[False] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if (x - c) ** 2 + (y - c) ** 2 <= (horizon + 0.5) ** 2:
                index = globe_pixel(c, c, horizon + 0.5, x, y, 4)
                colours[y][x] = BLACK if index is None else index
                opaque[y][x] = True
    for x, y in overlay_points(c, c, c, c, radii, horizon):
        colours[y][x] = WHITE
        opaque[y][x] = True
    return colours, opaque


# --- file formats ----------------------------------------------------------------

def palette_bytes():
    return b"".join(struct.pack("<4B", b, g, r, 0) for r, g, b in PALETTE)


def info_header(width, height, image_size):
    # BITMAPINFOHEADER: 8 bits per pixel, BI_RGB, all 256 colours used.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, image_size, 0, 0, 256, 0)


def padded(row, align=4):
    data = bytes(row)
    return data + b"\0" * (-len(data) % align)


def bmp_file(rows):
    width, height = len(rows[0]), len(rows)
    pixels = b"".join(padded(row) for row in reversed(rows))  # bottom-up
    offset = 14 + 40 + 256 * 4
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info_header(width, height, len(pixels)) + palette_bytes() + pixels


def mask_row(flags):
    """One AND-mask row: bit set where the screen shows through."""
    data = bytearray((len(flags) + 7) // 8)
    for x, see_through in enumerate(flags):
        if see_through:
            data[x // 8] |= 0x80 >> (x % 8)
    return padded(data)


def icon_image(colours, opaque):
    size = len(colours)
    xor = b"".join(padded(row) for row in reversed(colours))
    and_mask = b"".join(mask_row([not o for o in row]) for row in reversed(opaque))
    return info_header(size, 2 * size, len(xor) + len(and_mask)) + palette_bytes() + xor + and_mask


def ico_file(images):
    """images: (size, image bytes) pairs."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = [], []
    for size, blob in images:
        # bColorCount is 0 for 256 colours; planes 1, 8 bits per pixel.
        entries.append(struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return directory + b"".join(entries) + b"".join(blobs)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_art.py OUTDIR\n")
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    files = {
        "sky.bmp": bmp_file(sky_pixels()),
        "trelvane.ico": ico_file([(size, icon_image(*icon_pixels(size))) for size in (32, 16)]),
    }
    for name, data in files.items():
        path = os.path.join(outdir, name)
        with open(path + ".tmp", "wb") as out:
            out.write(data)
        os.replace(path + ".tmp", path)  # never leave a half-written file behind
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
