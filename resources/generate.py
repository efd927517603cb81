#!/usr/bin/env python3
"""Generates Tavrino's pictures and the C++ source that embeds them.

Usage: generate.py [--check] OUTPUT_DIR

Writes into OUTPUT_DIR:
  tavrino.ico         program icon, 32x32 then 16x16, 16 colours
  icon32.bin          the 32x32 icon image alone (744 bytes, as inside the .ico)
  icon16.bin          the 16x16 icon image alone (296 bytes)
  iconN.png           RGBA copies of the icon for the desktop icon theme, at
                      N = 16, 32, 48, 64, 128 and 256 pixels
  about.bmp           519 x 612 background of the about window
  strip_h.bmp         519 x 39, cut from the bottom of about.bmp
  strip_v.bmp         30 x 395, cut from the lower left of about.bmp
  resources_data.cpp  the byte arrays behind resources/resources.h

With --check nothing is written; the output is compared with what is already
in OUTPUT_DIR and the exit status is 1 if anything differs.

Everything is computed from this file alone: no clock, no OS randomness and
only arithmetic that IEEE doubles round the same way everywhere (+ - * / and
sqrt), so every run on every platform writes the same bytes.
"""

import os
import struct
import sys
import zlib

# --------------------------------------------------------------------------
# Program icon
# --------------------------------------------------------------------------

# The standard Windows 16-colour palette as (R, G, B), in palette order.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 maroon
    (0x00, 0x80, 0x00),  # 2 green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 silver
    (0x80, 0x80, 0x80),  # 8 grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 lime
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 fuchsia
    (0x00, 0xFF, 0xFF),  # 14 aqua
    (0xFF, 0xFF, 0xFF),  # 15 white
]

# One character per palette colour in the pixel maps below; '.' is transparent.
LEGEND = {
    "K": 0,  # black
    "M": 1,  # maroon
    "E": 2,  # green
    "O": 3,  # olive
    "N": 4,  # navy
    "P": 5,  # purple
    "T": 6,  # teal
    "S": 7,  # silver
    "G": 8,  # grey
    "R": 9,  # red
    "L": 10,  # lime
    "Y": 11,  # yellow
    "B": 12,  # blue
    "F": 13,  # fuchsia
    "A": 14,  # aqua
    "W": 15,  # white
}
TRANSPARENT = "."

# A red closed book lying at an angle: red cover with a maroon frame, maroon
# spine on the left, grey and silver page edges on the lower right, all
# outlined in black.
ICON_32 = [
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................KK..............",
    "..............KKRRK.............",
    "............KKRRRRRK............",
    "..........KKRRRRMRRRK...........",
    "........KKRRRRMMRMRRRK..........",
    "......KKRRRRMMRRRMMRRRK.........",
    "....KKRRRRMMRRRRRRRMRRRK........",
    "..KKRRRRMMRRRRRRRRRRMRRRK.......",
    ".KRRRRMMRRRRRRRRRRRRRMRRRK......",
    ".KKRRMRRRRRRRRRRRRRRRRMRRRK.....",
    ".KMKRRMRRRRRRRRRRRRRRRRMRRRK....",
    ".KMMKRRMRRRRRRRRRRRRRRRRMRRRK...",
    ".KMMMKRRMRRRRRRRRRRRRRRMMRRRKK..",
    "..KMMMKRRMRRRRRRRRRRRMMRRRKKGK..",
    "...KMMMKRRRMRRRRRRRMMRRRKKGGSK..",
    "....KMMMKRRRMRRRRMMRRRKKGGSSGK..",
    ".....KMMMKRRRMRMMRRRKKGGSSGGKK..",
    "......KMMMKRRRMRRRKKGGSSGGKK....",
    ".......KMMMKRRRRKKGGSSGGKK......",
    "........KMMMKRKKGGSSGGKK........",
    ".........KMMMKGGSSGGKK..........",
    "..........KMMKSSGGKK............",
    "...........KMKGGKK..............",
    "............KKKK................",
    ".............K..................",
    "................................",
    "................................",
]

ICON_16 = [
    "................",
    ".......KK.......",
    ".....KKRRK......",
    "...KKRRRRRK.....",
    ".KKRRRRRRRRK....",
    "KRRRRRRRRRRRK...",
    "KKRRRRRRRRRRRK..",
    "KMKRRRRRRRRRRKK.",
    "KMMKRRRRRRRKKGK.",
    ".KMMKRRRRKKGGSK.",
    "..KMMKRKKGGSSKK.",
    "...KMMKGGSSKK...",
    "....KMKSSKK.....",
    ".....KKKK.......",
    "......K.........",
    "................",
]


def row_stride(width, bits):
    """Bytes in one bitmap row of `width` pixels, padded to 32 bits."""
    return (width * bits + 31) // 32 * 4


def icon_image(pixel_map):
    """One icon image: BITMAPINFOHEADER, palette, XOR bitmap, AND mask."""
    size = len(pixel_map)
    if any(len(line) != size for line in pixel_map):
        raise ValueError("icon pixel map must be square")
    xor_stride = row_stride(size, 4)
    and_stride = row_stride(size, 1)
    xor_size = xor_stride * size
    and_size = and_stride * size
    header = struct.pack(
        "<IiiHHIIiiII",
        40,  # biSize
        size,  # biWidth
        size * 2,  # biHeight covers the XOR bitmap and the AND mask
        1,  # biPlanes
        4,  # biBitCount
        0,  # biCompression: BI_RGB
        xor_size + and_size,  # biSizeImage
        0,
        0,
        0,
        0,
    )
    palette = b"".join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE)
    xor_rows = []
    and_rows = []
    for line in reversed(pixel_map):  # bitmaps are stored bottom-up
        xor_row = bytearray(xor_stride)
        and_row = bytearray(and_stride)
        for x, ch in enumerate(line):
            if ch == TRANSPARENT:
                and_row[x // 8] |= 0x80 >> (x % 8)
                index = 0
            else:
                index = LEGEND[ch]
            xor_row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor_rows.append(bytes(xor_row))
        and_rows.append(bytes(and_row))
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def ico_file(images):
    """An .ico file holding (size, image bytes) pairs in the given order."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def png_file(width, height, rgba_rows):
    """A truecolour-with-alpha PNG from rows of RGBA bytes."""

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + row for row in rgba_rows)
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
        + chunk(b"IDAT", zlib.compress(raw, 9))
        + chunk(b"IEND", b"")
    )


def scaled(pixel_map, factor):
    """The pixel map with every pixel repeated `factor` times across and down:
    nearest-neighbour scaling, so pixel art stays crisp at launcher sizes."""
    return [
        "".join(ch * factor for ch in line) for line in pixel_map for _ in range(factor)
    ]


# The icon theme's sizes as (size, source map, whole-number factor). 48 is
# not a whole multiple of 32, so it is the 16 pixel map three times over.
ICON_PNGS = [
    (16, ICON_16, 1),
    (32, ICON_32, 1),
    (48, ICON_16, 3),
    (64, ICON_32, 2),
    (128, ICON_32, 4),
    (256, ICON_32, 8),
]


def icon_png(pixel_map):
    rows = []
    for line in pixel_map:
        row = bytearray()
        for ch in line:
            if ch == TRANSPARENT:
                row += b"\x00\x00\x00\x00"
            else:
                row += bytes(PALETTE[LEGEND[ch]]) + b"\xff"
        rows.append(bytes(row))
    return png_file(len(pixel_map), len(pixel_map), rows)


# --------------------------------------------------------------------------
# About window background and the two strips cut from it
# --------------------------------------------------------------------------

ABOUT_W = 519
ABOUT_H = 612
DPI96 = 3780  # pixels per metre


class Lcg:
    """32-bit linear congruential generator with a fixed seed, so the picture
    does not depend on the Python version's random module."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state >> 8

    def uniform(self, lo, hi):
        return lo + (hi - lo) * (self.next() / float(1 << 24))

    def integer(self, lo, hi):
        """An integer in [lo, hi]."""
        return lo + self.next() % (hi - lo + 1)


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def mix(a, b, t):
    return [a[i] + (b[i] - a[i]) * t for i in range(3)]


def draw_about():
    """The about picture as a list of rows, each a list of [r, g, b] floats."""
    w, h = ABOUT_W, ABOUT_H
    rng = Lcg(0x7A5B1215)

    # Sky: light turquoise at the top, fading to near white at the bottom and
    # a touch deeper towards the left edge.
    top = (104.0, 206.0, 214.0)
    bottom = (238.0, 249.0, 251.0)
    pic = []
    for y in range(h):
        t = y / (h - 1)
        t = t * t * (3.0 - 2.0 * t)
        base = mix(top, bottom, t)
        row = []
        for x in range(w):
            deep = (1.0 - x / (w - 1)) * 0.10
            row.append(mix(base, top, deep))
        pic.append(row)

    def blend(x, y, colour, alpha):
        if 0 <= x < w and 0 <= y < h and alpha > 0.0:
            pic[y][x] = mix(pic[y][x], colour, clamp01(alpha))

    # Sparkles over the upper two thirds: a bright centre with four arms that
    # fade outwards; the larger ones get faint diagonal arms as well.
    white = (255.0, 255.0, 255.0)
    sparkle_bottom = h * 2 // 3
    for _ in range(170):
        cx = rng.integer(0, w - 1)
        cy = rng.integer(0, sparkle_bottom - 1)
        arm = rng.integer(1, 4)
        strength = rng.uniform(0.55, 1.0) * (1.0 - 0.5 * cy / sparkle_bottom)
        blend(cx, cy, white, 1.0)
        for d in range(1, arm + 1):
            a = strength * (1.0 - d / (arm + 1.0))
            for dx, dy in ((d, 0), (-d, 0), (0, d), (0, -d)):
                blend(cx + dx, cy + dy, white, a)
        if arm >= 3:
            for dx, dy in ((1, 1), (1, -1), (-1, 1), (-1, -1)):
                blend(cx + dx, cy + dy, white, strength * 0.35)

    # Clouds rising from the lower edge: soft discs whose fields add up, so
    # neighbouring puffs merge like metaballs. Puffs grow larger and sit
    # lower towards the bottom edge.
    puffs = []
    x = -30.0
    while x < w + 40:
        r = rng.uniform(34.0, 64.0)
        cy = h + rng.uniform(-25.0, 25.0)
        puffs.append((x, cy, r))
        x += rng.uniform(28.0, 52.0)
    # Smaller puffs higher up give the cloud bank an uneven, billowing top.
    for _ in range(30):
        r = rng.uniform(16.0, 40.0)
        puffs.append((rng.uniform(-10.0, w + 10.0), h - rng.uniform(45.0, 110.0), r))

    field = [[0.0] * w for _ in range(h)]
    for px, py, r in puffs:
        reach = r * 1.6
        x0 = max(0, int(px - reach))
        x1 = min(w - 1, int(px + reach) + 1)
        y0 = max(0, int(py - reach))
        y1 = min(h - 1, int(py + reach) + 1)
        rr = reach * reach
        for yy in range(y0, y1 + 1):
            dy = yy - py
            frow = field[yy]
            for xx in range(x0, x1 + 1):
                dx = xx - px
                q = (dx * dx + dy * dy) / rr
                if q < 1.0:
                    k = 1.0 - q
                    frow[xx] += k * k

    # Cloud tops are white; lower down, and more so towards the left edge, the
    # cloud takes on a little of the sky's blue.
    cloud_light = (255.0, 255.0, 255.0)
    cloud_shade = (214.0, 236.0, 242.0)
    for yy in range(h):
        frow = field[yy]
        prow = pic[yy]
        low = clamp01((yy - (h - 70)) / 70.0)
        for xx in range(w):
            f = frow[xx]
            if f <= 0.18:
                continue
            alpha = clamp01((f - 0.18) / 0.42)
            alpha = alpha * alpha * (3.0 - 2.0 * alpha)
            left = 1.0 - xx / (w - 1)
            shade = clamp01(0.55 * (1.0 - clamp01((f - 0.3) / 0.9)) + low * (0.15 + 0.45 * left))
            colour = mix(cloud_light, cloud_shade, shade)
            prow[xx] = mix(prow[xx], colour, alpha * 0.97)

    return [[[int(c + 0.5) for c in px] for px in row] for row in pic]


def bmp_file(rows):
    """An uncompressed, bottom-up 24-bit BMP at 96 dpi from rows of (r, g, b)."""
    height = len(rows)
    width = len(rows[0])
    stride = row_stride(width, 24)
    pad = bytes(stride - width * 3)
    body = b"".join(
        b"".join(bytes((b, g, r)) for (r, g, b) in row) + pad for row in reversed(rows)
    )
    info = struct.pack(
        "<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), DPI96, DPI96, 0, 0
    )
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + body


# --------------------------------------------------------------------------
# Embedding
# --------------------------------------------------------------------------

# (C++ array name, function name, file name)
EMBEDDED = [
    ("kIconFile", "icon_file", "tavrino.ico"),
    ("kIconImage32", "icon_image_32", "icon32.bin"),
    ("kIconImage16", "icon_image_16", "icon16.bin"),
    ("kAboutBmp", "about_bmp", "about.bmp"),
    ("kStripHBmp", "strip_h_bmp", "strip_h.bmp"),
    ("kStripVBmp", "strip_v_bmp", "strip_v.bmp"),
]


def cpp_source(files):
    """C++ source with one array per embedded file. Decimal lists keep the
    file free of overlong string literals and compile quickly."""
    out = [
        "// Generated by resources/generate.py; do not edit.\n",
        "#include \"resources/resources.h\"\n\n",
        "namespace tavrino::res {\nnamespace {\n\n",
    ]
    for array, _, name in EMBEDDED:
        data = files[name]
        out.append("// %s, %d bytes\n" % (name, len(data)))
        out.append("const std::uint8_t %s[%d] = {\n" % (array, len(data)))
        for i in range(0, len(data), 40):
            out.append(",".join(str(b) for b in data[i : i + 40]) + ",\n")
        out.append("};\n\n")
    out.append("}  // namespace\n\n")
    for array, func, _ in EMBEDDED:
        out.append("Bytes %s() { return Bytes(%s, sizeof %s); }\n" % (func, array, array))
    out.append("\n}  // namespace tavrino::res\n")
    return "".join(out).encode("ascii")


def build():
    """Every output file as {name: bytes}."""
    files = {}
    icon32 = icon_image(ICON_32)
    icon16 = icon_image(ICON_16)
    files["tavrino.ico"] = ico_file([(32, icon32), (16, icon16)])
    files["icon32.bin"] = icon32
    files["icon16.bin"] = icon16
    for size, pixel_map, factor in ICON_PNGS:
        if len(pixel_map) * factor != size:
            raise AssertionError("icon%d.png would be %d pixels" % (size, len(pixel_map) * factor))
        files["icon%d.png" % size] = icon_png(scaled(pixel_map, factor))

    about = draw_about()
    files["about.bmp"] = bmp_file(about)
    # Both strips are cut from the same pixels as the background.
    files["strip_h.bmp"] = bmp_file(about[ABOUT_H - 39 :])
    files["strip_v.bmp"] = bmp_file([row[3:33] for row in about[217:612]])

    expected_sizes = {
        "icon32.bin": 744,
        "icon16.bin": 296,
        "about.bmp": 954774,
        "strip_h.bmp": 60894,
        "strip_v.bmp": 36394,
    }
    for name, size in expected_sizes.items():
        if len(files[name]) != size:
            raise AssertionError("%s is %d bytes, expected %d" % (name, len(files[name]), size))

    files["resources_data.cpp"] = cpp_source(files)
    return files


def main(argv):
    args = argv[1:]
    check = "--check" in args
    args = [a for a in args if a != "--check"]
    if len(args) != 1:
        sys.stderr.write("usage: generate.py [--check] OUTPUT_DIR\n")
        return 2
    out_dir = args[0]
    files = build()
    if check:
        # Compare against an earlier run's output instead of writing: any
        # difference means the output depends on something besides this file.
        differ = []
        for name, data in sorted(files.items()):
            path = os.path.join(out_dir, name)
            if not os.path.exists(path):
                differ.append(name + " (missing)")
                continue
            with open(path, "rb") as f:
                if f.read() != data:
                    differ.append(name)
        if differ:
            sys.stderr.write("generate.py: output differs from %s: %s\n" % (out_dir, ", ".join(differ)))
            return 1
        return 0
    os.makedirs(out_dir, exist_ok=True)
    for name, data in sorted(files.items()):
        path = os.path.join(out_dir, name)
        # Write to a temporary name first so an interrupted run never leaves
        # a truncated file that looks up to date.
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
