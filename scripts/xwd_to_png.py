#!/usr/bin/env python3
"""Converts a true-colour X window dump (what `xwd` writes) to a PNG.

Standard library only, and deterministic: the same dump gives the same bytes,
so a picture taken again of an unchanged window compares equal.

    python3 scripts/xwd_to_png.py window.xwd window.png
"""

import struct
import sys
import zlib

HEADER_FIELDS = 25      # CARD32 fields of the XWD version 7 header
XWD_VERSION = 7
Z_PIXMAP = 2
TRUE_COLOR = 4
DIRECT_COLOR = 5
COLOUR_ENTRY_SIZE = 12  # an XWDColor: pixel, red, green, blue, flags, pad


def channel(pixel, mask):
    """The mask's bits of pixel, scaled to 0..255."""
    shift = (mask & -mask).bit_length() - 1
    top = mask >> shift
    return ((pixel & mask) >> shift) * 255 // top


def read_xwd(data):
    """(width, height, rows of (r, g, b) bytes) of a ZPixmap true-colour dump."""
    if len(data) < HEADER_FIELDS * 4:
        raise ValueError("too short for an XWD header")
    # The header is written in the dumping machine's order; the version field tells which.
    order = ">" if struct.unpack(">I", data[4:8])[0] == XWD_VERSION else "<"
    fields = struct.unpack(order + "%dI" % HEADER_FIELDS, data[:HEADER_FIELDS * 4])
    (header_size, version, pixmap_format, _depth, width, height, _xoffset, byte_order,
     _bitmap_unit, _bit_order, _bitmap_pad, bits_per_pixel, bytes_per_line, visual_class,
     red_mask, green_mask, blue_mask, _bits_per_rgb, _colormap_entries, ncolors) = fields[:20]
    if version != XWD_VERSION or pixmap_format != Z_PIXMAP:
        raise ValueError("not an XWD version 7 ZPixmap dump")
    if visual_class not in (TRUE_COLOR, DIRECT_COLOR) or bits_per_pixel not in (24, 32):
        raise ValueError("only 24- and 32-bit true-colour dumps are supported")
    start = header_size + ncolors * COLOUR_ENTRY_SIZE
    if len(data) < start + bytes_per_line * height:
        raise ValueError("the dump ends before its last row")
    step = bits_per_pixel // 8
    endian = "little" if byte_order == 0 else "big"  # LSBFirst is 0
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + width * step]
        row = bytearray()
        for x in range(0, len(line), step):
            pixel = int.from_bytes(line[x:x + step], endian)
            row += bytes((channel(pixel, red_mask), channel(pixel, green_mask), channel(pixel, blue_mask)))
        rows.append(bytes(row))
    return width, height, rows


def png(width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main(argv):
    if len(argv) != 3:
        print("usage: xwd_to_png.py WINDOW.xwd OUT.png", file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        data = f.read()
    try:
        image = read_xwd(data)
    except ValueError as e:
        print("xwd_to_png: %s: %s" % (argv[1], e), file=sys.stderr)
        return 1
    with open(argv[2], "wb") as f:
        f.write(png(*image))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
