#!/usr/bin/env python3
"""Draws the program icon (three slider tracks on a blue tile) and writes it
as an .ico with ten images: 64 px at 32 bpp, and 48, 32 and 16 px each at
4, 8 and 32 bpp. Usage: make_icon.py OUTPUT.ico

Other icons of the project import render() and write_ico() with a sampler of
their own: a function (x, y, size, flat) giving a colour or None."""
import struct
import sys

SAMPLES = 4  # per axis, for anti-aliased edges

BLUE_TOP = (84, 146, 230)
BLUE_BOTTOM = (28, 72, 168)
EDGE = (16, 40, 104)
TRACK = (236, 242, 252)
KNOB = (250, 166, 38)
KNOB_RING = (168, 92, 8)
TRACKS = ((0.31, 0.64), (0.50, 0.36), (0.69, 0.54))  # (track y, knob x)


def inside_tile(x, y, lo=0.06, hi=0.94, r=0.17):
    if x < lo or x > hi or y < lo or y > hi:
        return False
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def sample(x, y, size, flat):
    """Colour at a point of the unit square, or None outside the icon. Flat
    colours suit the 16-colour images, which have no room for a gradient."""
    if not inside_tile(x, y):
        return None
    px = 1.0 / size
    edge = 0.9 * px if size <= 16 else 1.2 * px
    if not inside_tile(x, y, 0.06 + edge, 0.94 - edge, 0.17 - edge):
        return EDGE
    knob_r = 0.11 if size > 16 else 0.13
    track_half = max(0.035, 0.55 * px)
    for ty, kx in TRACKS:
        d2 = (x - kx) ** 2 + (y - ty) ** 2
        if d2 <= knob_r ** 2:
            return KNOB if d2 <= (knob_r - max(px, 0.03)) ** 2 else KNOB_RING
    for ty, _ in TRACKS:
        if 0.20 <= x <= 0.80 and abs(y - ty) <= track_half:
            return TRACK
    if flat:
        return (0, 0, 255)
    t = (y - 0.06) / 0.88
    return tuple(round(a + (b - a) * t) for a, b in zip(BLUE_TOP, BLUE_BOTTOM))


def render(size, flat=False, sampler=None):
    """Rows of (r, g, b, a), top row first."""
    sampler = sampler or sample
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sj in range(SAMPLES):
                for si in range(SAMPLES):
                    c = sampler((i + (si + 0.5) / SAMPLES) / size, (j + (sj + 0.5) / SAMPLES) / size, size,
                                flat)
                    if c is not None:
                        hits += 1
                        for k in range(3):
                            acc[k] += c[k]
            if hits:
                row.append(tuple(round(v / hits) for v in acc) + (round(255 * hits / SAMPLES ** 2),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
         (0, 255, 255), (255, 255, 255)]


def palette256():
    levels = (0, 51, 102, 153, 204, 255)
    cube = [(r, g, b) for r in levels for g in levels for b in levels]
    greys = [(round(i * 255 / 25),) * 3 for i in range(1, 25)]
    return VGA16 + cube + greys


def nearest(colour, palette, cache):
    if colour not in cache:
        cache[colour] = min(range(len(palette)),
                            key=lambda k: sum((a - b) ** 2 for a, b in zip(colour, palette[k])))
    return cache[colour]


def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def dib(rows, bpp):
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    palette = []
    if bpp == 4:
        palette = VGA16
    elif bpp == 8:
        palette = palette256()
    for (r, g, b) in palette:
        body += bytes((b, g, r, 0))
    cache = {}
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        if bpp == 32:
            for (r, g, b, a) in row:
                line += bytes((b, g, r, a))
        else:
            idx = [nearest(p[:3], palette, cache) if p[3] >= 128 else 0 for p in row]
            if bpp == 8:
                line += bytes(idx)
            else:
                for k in range(0, size, 2):
                    line.append(idx[k] << 4 | (idx[k + 1] if k + 1 < size else 0))
        line += bytes(row_bytes(size * bpp) - len(line))
        body += line
    for row in reversed(rows):  # AND mask: 1 = transparent
        mask = bytearray(row_bytes(size))
        for i, p in enumerate(row):
            if p[3] < 128:
                mask[i // 8] |= 0x80 >> (i % 8)
        body += mask
    return header + bytes(body)


ALL_FORMATS = [(64, 32)] + [(s, b) for s in (48, 32, 16) for b in (4, 8, 32)]


def write_ico(path, sampler=None, formats=ALL_FORMATS):
    """(size, bits per pixel) of each image, largest first."""
    rendered = {}
    images = []
    for size, bpp in formats:
        key = (size, bpp == 4)
        if key not in rendered:
            rendered[key] = render(size, bpp == 4, sampler)
        images.append((size, bpp, dib(rendered[key], bpp)))
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        colours = 16 if bpp == 4 else 0
        out += struct.pack('<BBBBHHII', size, size, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    write_ico(sys.argv[1])
