#!/usr/bin/env python3
"""Draws the launcher's icon and writes launcher.ico beside this script.

Standard library only, and deterministic: the same bytes on every run and
every machine (only correctly rounded float operations), so the committed
launcher.ico only changes when the artwork does. The build uses the committed
file; run this script only after changing the drawing below.

    python3 launcher/res/make_icon.py [--preview preview.png]

The mark is a rounded square in deep teal, lighter at the top, carrying a
bold white play triangle. Edges inside the mark are anti-aliased by
supersampling; the outline is cut by the 1-bit AND mask, since an icon cannot
know the colour behind it.
"""

import argparse
import math
import os
import struct
import sys
import zlib

# (size, bits per pixel) in file order; the resource script numbers them 1..7.
IMAGES = [(48, 8), (32, 8), (24, 8), (16, 8), (48, 24), (32, 24), (16, 24)]

TOP = (0x1F, 0x9E, 0xB3)      # teal at the top edge of the square
BOTTOM = (0x0A, 0x4F, 0x6A)   # deep blue-teal at the bottom edge
WHITE = (0xFF, 0xFF, 0xFF)

SUPERSAMPLE = 8               # samples per pixel along each axis

# The 8bpp palette: colour 0 stays black so that transparent pixels XOR
# nothing onto the screen, then every mix of GRADIENT_STEPS shades of the
# background with WHITE_STEPS levels of white.
GRADIENT_STEPS = 17
WHITE_STEPS = 15


def length(x, y):
    # sqrt is correctly rounded everywhere; pow and hypot may differ in the last bit.
    return math.sqrt(x * x + y * y)


def lerp(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def rounded_square_distance(x, y, half, radius):
    """Signed distance from (x, y) to a square of half-width `half` centred on the origin."""
    qx = abs(x) - half + radius
    qy = abs(y) - half + radius
    outside = length(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def triangle_distance(x, y, points):
    """Signed distance from (x, y) to a convex triangle (negative inside)."""
    best = None
    inside = True
    for i in range(3):
        ax, ay = points[i]
        bx, by = points[(i + 1) % 3]
        ex, ey = bx - ax, by - ay
        wx, wy = x - ax, y - ay
        t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
        dx, dy = wx - ex * t, wy - ey * t
        d = length(dx, dy)
        best = d if best is None else min(best, d)
        # Points are clockwise on screen (y down): inside lies right of every edge.
        if ex * wy - ey * wx < 0:
            inside = False
    return -best if inside else best


def inset(points, distance):
    """Shrinks a triangle so that its edges move `distance` inwards (scaling about the incentre)."""
    (ax, ay), (bx, by), (cx, cy) = points
    a = length(bx - cx, by - cy)
    b = length(ax - cx, ay - cy)
    c = length(ax - bx, ay - by)
    perimeter = a + b + c
    ix = (a * ax + b * bx + c * cx) / perimeter
    iy = (a * ay + b * by + c * cy) / perimeter
    area = abs((bx - ax) * (cy - ay) - (cx - ax) * (by - ay)) / 2
    inradius = 2 * area / perimeter
    k = (inradius - distance) / inradius
    return [(ix + (x - ix) * k, iy + (y - iy) * k) for x, y in points]


def geometry(size):
    """The mark in pixel units for one image size.

    The triangle's flat side, top and bottom land on pixel boundaries, which
    keeps the small images crisp.
    """
    margin = 0.5 if size <= 16 else size / 32.0
    half = size / 2.0 - margin
    radius = size * 0.21
    # A play triangle shifted right of centre: its visual mass sits near the
    # flat side, so a geometrically centred one looks off to the left.
    left = round(size * 0.365)
    height = 2 * round(size * 0.28)
    tip = left + height * 0.87
    cy = size / 2.0
    corner = size / 40.0
    # Rounding the corners grows the shape by `corner`; inset first so the
    # flat side stays on its pixel boundary.
    triangle = inset([(left, cy - height / 2), (tip, cy), (left, cy + height / 2)], corner)
    return half, radius, triangle, corner


def render(size):
    """Returns rows of (opaque, gradient, whiteness) per pixel, top row first.

    gradient runs from 0 (TOP) to 1 (BOTTOM); whiteness is the share of the
    pixel's visible samples covered by the triangle.
    """
    half, radius, triangle, corner = geometry(size)
    n = SUPERSAMPLE
    offsets = [(i + 0.5) / n for i in range(n)]
    centre = size / 2.0
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            inside = 0
            white = 0
            for oy in offsets:
                y = py + oy
                for ox in offsets:
                    x = px + ox
                    if rounded_square_distance(x - centre, y - centre, half, radius) > 0:
                        continue
                    inside += 1
                    if triangle_distance(x, y, triangle) - corner <= 0:
                        white += 1
            opaque = inside * 2 >= n * n
            gradient = min(1.0, max(0.0, (py + 0.5 - (centre - half)) / (2 * half)))
            whiteness = white / inside if inside else 0.0
            row.append((opaque, gradient, whiteness))
        rows.append(row)
    return rows


def true_colour(gradient, whiteness):
    return lerp(lerp(TOP, BOTTOM, gradient), WHITE, whiteness)


def to_byte(v):
    return max(0, min(255, int(v + 0.5)))


def palette():
    colours = [(0, 0, 0)]
    for g in range(GRADIENT_STEPS):
        for w in range(WHITE_STEPS):
            c = true_colour(g / (GRADIENT_STEPS - 1), w / (WHITE_STEPS - 1))
            colours.append(tuple(to_byte(v) for v in c))
    assert len(colours) <= 256
    return colours + [(0, 0, 0)] * (256 - len(colours))


def palette_index(gradient, whiteness):
    g = int(gradient * (GRADIENT_STEPS - 1) + 0.5)
    w = int(whiteness * (WHITE_STEPS - 1) + 0.5)
    return 1 + g * WHITE_STEPS + w


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def dib(size, bits, pixels, colours):
    """One icon image: BITMAPINFOHEADER, palette, XOR bitmap, AND mask, rows bottom-up."""
    xor_rows = []
    and_rows = []
    for row in reversed(pixels):
        if bits == 8:
            data = bytes(palette_index(g, w) if opaque else 0 for opaque, g, w in row)
        else:
            data = bytearray()
            for opaque, g, w in row:
                r, gr, b = (to_byte(v) for v in true_colour(g, w)) if opaque else (0, 0, 0)
                data += bytes((b, gr, r))
            data = bytes(data)
        xor_rows.append(padded(data))
        mask = bytearray((size + 7) // 8)
        for x, (opaque, _, _) in enumerate(row):
            if not opaque:
                mask[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(padded(bytes(mask)))
    xor = b"".join(xor_rows)
    and_mask = b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(xor) + len(and_mask), 0, 0, 0, 0)
    table = b""
    if bits == 8:
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    return header + table + xor + and_mask


def build_ico():
    colours = palette()
    rendered = {}
    images = []
    for size, bits in IMAGES:
        if size not in rendered:
            rendered[size] = render(size)
        images.append(dib(size, bits, rendered[size], colours))
    out = struct.pack("<HHH", 0, 1, len(IMAGES))
    offset = 6 + 16 * len(IMAGES)
    for (size, bits), data in zip(IMAGES, images):
        # Width/height 0 would mean 256; colour count 0 means "256 or more".
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def decode(ico):
    """Reads the images back out of the icon file: (size, bits, rows of RGB or None)."""
    _, _, count = struct.unpack_from("<HHH", ico, 0)
    images = []
    for i in range(count):
        size, _, _, _, _, bits, _, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        at = offset + 40
        colours = []
        if bits == 8:
            colours = [struct.unpack_from("<BBBB", ico, at + 4 * k)[2::-1] for k in range(256)]
            at += 1024
        stride = (size * bits // 8 + 3) & ~3
        mask_stride = ((size + 7) // 8 + 3) & ~3
        mask_at = at + stride * size
        rows = []
        for y in range(size - 1, -1, -1):
            row = []
            for x in range(size):
                if ico[mask_at + y * mask_stride + x // 8] & (0x80 >> (x % 8)):
                    row.append(None)
                elif bits == 8:
                    row.append(colours[ico[at + y * stride + x]])
                else:
                    b, g, r = ico[at + y * stride + 3 * x: at + y * stride + 3 * x + 3]
                    row.append((r, g, b))
            rows.append(row)
        images.append((size, bits, rows))
    return images


def write_preview(path, ico):
    """A PNG of the icon file's images, actual size then enlarged, on a light and a dark strip."""
    scale = 6
    images = decode(ico)
    cells = [(rows, 1) for _, _, rows in images] + [(rows, scale) for _, _, rows in images]
    gap = 8
    width = sum(len(rows) * k for rows, k in cells) + gap * (len(cells) + 1)
    strip = max(len(rows) * k for rows, k in cells) + 2 * gap
    backgrounds = [(0xF0, 0xF0, 0xF0), (0x30, 0x30, 0x30)]
    canvas = []
    for bg in backgrounds:
        band = [[bg] * width for _ in range(strip)]
        x0 = gap
        for rows, k in cells:
            for py, row in enumerate(rows):
                for px, c in enumerate(row):
                    if c is None:
                        continue
                    for dy in range(k):
                        line = band[gap + py * k + dy]
                        for dx in range(k):
                            line[x0 + px * k + dx] = c
            x0 += len(rows) * k + gap
        canvas += band
    raw = b"".join(b"\0" + bytes(v for c in line for v in c) for line in canvas)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, len(canvas), 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                         "launcher.ico"))
    parser.add_argument("--preview", help="also write a PNG preview to this path")
    args = parser.parse_args()
    ico = build_ico()
    with open(args.output, "wb") as f:
        f.write(ico)
    if args.preview:
        write_preview(args.preview, ico)
    return 0


if __name__ == "__main__":
    sys.exit(main())
