#!/usr/bin/env python3
"""Draws the product artwork and writes res/velmora_setup.bmp and res/velmora_setup.ico.

The picture is a closed carton standing on its corner, seen from above: a light lid, a
shaded left side and a dark right side, with a tape band over the lid and down the front
edge. It is drawn as a few polygons in a unit square and rasterised with 4x4 supersampling,
so every size gets smooth edges. The header bitmap puts the carton on white; the icon keeps
a transparent background. Only the standard library is used, so anyone can regenerate the
files; the build itself uses the committed outputs.
"""

import os
import struct
import zlib

SUPERSAMPLE = 4
WHITE = (255, 255, 255)

# Polygons in unit coordinates (x right, y down), drawn in order; later ones cover earlier.
# The carton's corners: top of the lid, the lid's left and right corners, its front corner,
# and the bottom corners straight below the left, front and right corners.
LID_TOP = (0.50, 0.06)
LID_LEFT = (0.08, 0.27)
LID_RIGHT = (0.92, 0.27)
LID_FRONT = (0.50, 0.48)
BOTTOM_LEFT = (0.08, 0.74)
BOTTOM_FRONT = (0.50, 0.96)
BOTTOM_RIGHT = (0.92, 0.74)


def _shapes():
    """The carton as (polygon, colour) pairs."""
    lid = [LID_TOP, LID_RIGHT, LID_FRONT, LID_LEFT]
    left = [LID_LEFT, LID_FRONT, BOTTOM_FRONT, BOTTOM_LEFT]
    right = [LID_FRONT, LID_RIGHT, BOTTOM_RIGHT, BOTTOM_FRONT]
    # The tape runs straight over the lid from its back corner to its front corner and on
    # down the front edge; its ends follow the slopes of the carton's edges.
    tape_lid = [(0.45, 0.085), (0.50, 0.06), (0.55, 0.085), (0.55, 0.455), (0.50, 0.48),
                (0.45, 0.455)]
    tape_front = [(0.45, 0.455), (0.50, 0.48), (0.55, 0.455), (0.55, 0.935), (0.50, 0.96),
                  (0.45, 0.935)]
    # A label on the left side: a pale card with two text lines.
    label = [(0.16, 0.50), (0.40, 0.63), (0.40, 0.77), (0.16, 0.64)]
    line1 = [(0.19, 0.56), (0.37, 0.66), (0.37, 0.68), (0.19, 0.58)]
    line2 = [(0.19, 0.61), (0.31, 0.68), (0.31, 0.70), (0.19, 0.63)]
    return [
        (left, (46, 112, 176)),
        (right, (27, 74, 128)),
        (lid, (120, 178, 230)),
        (tape_lid, (236, 196, 92)),
        (tape_front, (214, 168, 60)),
        (label, (244, 246, 250)),
        (line1, (110, 120, 140)),
        (line2, (110, 120, 140)),
    ]


def _inside(polygon, x, y):
    """Even-odd rule point-in-polygon test."""
    inside = False
    count = len(polygon)
    for i in range(count):
        x1, y1 = polygon[i]
        x2, y2 = polygon[(i + 1) % count]
        if (y1 > y) != (y2 > y):
            cross = x1 + (y - y1) * (x2 - x1) / (y2 - y1)
            if x < cross:
                inside = not inside
    return inside


def render(width, height, margin):
    """Rows of (r, g, b, a) pixels, top row first; the drawing fills the square inside margin."""
    shapes = _shapes()
    side = min(width, height) - 2 * margin
    left = (width - side) / 2.0
    top = (height - side) / 2.0
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    ux = (px + (sx + 0.5) / SUPERSAMPLE - left) / side
                    uy = (py + (sy + 0.5) / SUPERSAMPLE - top) / side
                    colour = None
                    for polygon, fill in shapes:
                        if _inside(polygon, ux, uy):
                            colour = fill
                    if colour is not None:
                        covered += 1
                        for c in range(3):
                            total[c] += colour[c]
            samples = SUPERSAMPLE * SUPERSAMPLE
            if covered:
                row.append(tuple(int(round(t / covered)) for t in total) +
                           (int(round(255 * covered / samples)),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def on_white(pixel):
    r, g, b, a = pixel
    return tuple(int(round((c * a + 255 * (255 - a)) / 255)) for c in (r, g, b))


def bmp_24(width, height):
    """A bottom-up 24 bpp BMP file of the carton on white."""
    rows = render(width, height, 2)
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for pixel in row:
            r, g, b = on_white(pixel)
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + bytes(pixels)


def icon_image(size):
    """One 32 bpp icon image: header, bottom-up BGRA pixels and the AND mask."""
    rows = render(size, size, max(1, size // 32))
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0,
                       0, 0)
    return info + bytes(xor) + bytes(mask)


def png_image(size):
    """The same icon image as a PNG file (straight RGBA), which icons may hold since Windows
    Vista: a fraction of the raw pixels' bytes for the large sizes."""
    rows = render(size, size, max(1, size // 32))
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


# From this size on an image is stored as PNG; the small ones, which the system reads most
# often, stay plain bitmaps.
PNG_FROM_SIZE = 72


def ico(sizes):
    images = [png_image(size) if size >= PNG_FROM_SIZE else icon_image(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def main():
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "res")
    with open(os.path.join(res, "velmora_setup.bmp"), "wb") as out:
        out.write(bmp_24(55, 60))
    with open(os.path.join(res, "velmora_setup.ico"), "wb") as out:
        out.write(ico([128, 72, 48, 32, 16]))


if __name__ == "__main__":
    main()
