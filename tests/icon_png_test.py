#!/usr/bin/env python3
"""The icon theme's PNGs are the program icon's pixel art, scaled by whole
numbers: every pixel of each NxN block is its source pixel of the 16 or 32
pixel Windows icon image, transparency included.

Run: icon_png_test.py GENERATED_DIR (the directory resources/generate.py
wrote)."""

import os
import struct
import sys
import unittest
import zlib

GENERATED = None

# (PNG size, source icon image, its size, whole-number factor)
CASES = [
    (16, "icon16.bin", 16, 1),
    (32, "icon32.bin", 32, 1),
    (48, "icon16.bin", 16, 3),
    (64, "icon32.bin", 32, 2),
    (128, "icon32.bin", 32, 4),
    (256, "icon32.bin", 32, 8),
]


def read(name):
    with open(os.path.join(GENERATED, name), "rb") as f:
        return f.read()


def decode_png(data):
    """Rows of (r, g, b, a) from an 8-bit RGBA, non-interlaced PNG."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, header, idat = 8, None, b""
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos : pos + 4])
        kind = data[pos + 4 : pos + 8]
        body = data[pos + 8 : pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length : pos + 12 + length])
        if zlib.crc32(kind + body) != crc:
            raise ValueError("bad CRC in %r" % kind)
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        raise ValueError("not 8-bit RGBA without interlacing: %r" % (header,))
    raw = zlib.decompress(idat)
    stride = 1 + 4 * width
    if len(raw) != stride * height:
        raise ValueError("%d bytes of pixel data for %dx%d" % (len(raw), width, height))
    rows, prior = [], bytearray(4 * width)
    for y in range(height):
        kind, line = raw[y * stride], bytearray(raw[y * stride + 1 : (y + 1) * stride])
        for i in range(len(line)):
            a = line[i - 4] if i >= 4 else 0
            b = prior[i]
            c = prior[i - 4] if i >= 4 else 0
            if kind == 0:
                guess = 0
            elif kind == 1:
                guess = a
            elif kind == 2:
                guess = b
            elif kind == 3:
                guess = (a + b) // 2
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                guess = a if pa <= pb and pa <= pc else b if pb <= pc else c
            else:
                raise ValueError("row %d has filter type %d" % (y, kind))
            line[i] = (line[i] + guess) & 0xFF
        rows.append([tuple(line[4 * x : 4 * x + 4]) for x in range(width)])
        prior = line
    return rows


def decode_icon_image(data, size):
    """Rows of (r, g, b) or None (transparent) from a 16-colour icon image:
    header, palette, bottom-up 4-bit colour rows, then the 1-bit mask."""
    palette = [(data[i + 2], data[i + 1], data[i]) for i in range(40, 40 + 64, 4)]
    colour_stride = (size * 4 + 31) // 32 * 4
    mask_stride = (size + 31) // 32 * 4
    colours = 40 + 64
    mask = colours + colour_stride * size
    rows = []
    for y in range(size):
        stored = size - 1 - y
        row = []
        for x in range(size):
            pair = data[colours + stored * colour_stride + x // 2]
            index = pair >> 4 if x % 2 == 0 else pair & 0x0F
            masked = data[mask + stored * mask_stride + x // 8] >> (7 - x % 8) & 1
            row.append(None if masked else palette[index])
        rows.append(row)
    return rows


class IconPngTest(unittest.TestCase):
    def test_each_png_is_its_source_scaled_by_whole_pixels(self):
        for size, source, source_size, factor in CASES:
            with self.subTest(size=size):
                png = decode_png(read("icon%d.png" % size))
                self.assertEqual((len(png[0]), len(png)), (size, size))
                src = decode_icon_image(read(source), source_size)
                self.assertEqual(source_size * factor, size)
                # Both kinds of pixel occur, so neither comparison is vacuous.
                kinds = {p is None for row in src for p in row}
                self.assertEqual(kinds, {True, False})
                for y in range(size):
                    for x in range(size):
                        want = src[y // factor][x // factor]
                        got = png[y][x]
                        if want is None:
                            ok = got[3] == 0
                        else:
                            ok = got == want + (255,)
                        if not ok:
                            self.fail("pixel (%d, %d) is %r, its source %r" % (x, y, got, want))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.stderr.write("usage: icon_png_test.py GENERATED_DIR\n")
        sys.exit(2)
    GENERATED = sys.argv.pop(1)
    unittest.main()
