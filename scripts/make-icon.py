#!/usr/bin/env python3
"""Writes the uninstaller's icon (icon group 800): a parcel with a red "remove" badge.

Two images, each a bottom-up BMP DIB with its AND mask: 16x16 and 32x32, at 4 bits per pixel (no
48x48: its 1.6 KB cost the stub a kilobyte, and the views that show 48 pixels scale the 32-pixel
image). The drawing has eight colours, black among them, so 4 bits hold each of them exactly, and the palette
holds only the colours drawn: half the bytes of 8-bit images at the same colours (the stub's size is
counted in 512-byte steps). A display of 16 colours maps them to its own. Usage: make-icon.py OUT.ico
"""
import os
import struct
import sys

# Black outlines, as on the classic shell's icons: black is also the palette entry of the
# transparent pixels, so each 8-bit palette is one entry shorter (and each image then ends on the
# 8-byte boundary at which the resource compiler places the next one).
OUTLINE = (0, 0, 0)
BOX_FRONT = (214, 168, 96)
BOX_SIDE = (176, 128, 64)
BOX_TOP = (236, 200, 140)
TAPE = (250, 236, 200)
BADGE = (208, 24, 24)
BADGE_RIM = (120, 0, 0)
BAR = (255, 255, 255)



def in_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def colour_at(u, v):
    """The colour at (u, v) in a unit square (v grows downwards), or None for transparent."""
    # Badge: a red disc with a white bar, over the parcel's lower right corner.
    cx, cy, r = 0.70, 0.70, 0.28
    d2 = (u - cx) ** 2 + (v - cy) ** 2
    if d2 <= r * r:
        if abs(v - cy) <= 0.055 and abs(u - cx) <= r * 0.62:
            return BAR
        return BADGE_RIM if d2 >= (r - 0.055) ** 2 else BADGE
    # The parcel in a simple oblique view: front face, right side, top.
    front = [(0.06, 0.38), (0.66, 0.38), (0.66, 0.92), (0.06, 0.92)]
    side = [(0.66, 0.38), (0.90, 0.22), (0.90, 0.76), (0.66, 0.92)]
    top = [(0.06, 0.38), (0.30, 0.22), (0.90, 0.22), (0.66, 0.38)]
    for face, fill in ((front, BOX_FRONT), (side, BOX_SIDE), (top, BOX_TOP)):
        if in_polygon(u, v, face):
            edge = 0.04
            near_edge = not all(in_polygon(u + du, v + dv, face) for du, dv in
                                ((edge, 0), (-edge, 0), (0, edge), (0, -edge)))
            if near_edge:
                return OUTLINE
            # The tape runs over the top and down the middle of the front.
            if fill is BOX_TOP and abs((u - 0.30 * (0.38 - v) / 0.16) - 0.36) <= 0.05:
                return TAPE
            if fill is BOX_FRONT and abs(u - 0.36) <= 0.05:
                return TAPE
            return fill
    return None


def draw(n):
    """Rows top-down of colours or None, sampled at pixel centres."""
    return [[colour_at((x + 0.5) / n, (y + 0.5) / n) for x in range(n)] for y in range(n)]


def image(n, bpp):
    rows = draw(n)
    # A palette of only the colours drawn, black first: the transparent pixels are black where the
    # mask shows the screen through. biClrUsed says how many entries there are, so the palette
    # need not be padded to 16 or 256 entries (a kilobyte for each 8-bit image).
    used = sorted({c for row in rows for c in row if c is not None} - {(0, 0, 0)})
    palette = [(0, 0, 0)] + used
    index = {c: i for i, c in enumerate(palette)}
    assert len(palette) <= 1 << bpp
    row_bytes = ((n * bpp + 31) // 32) * 4
    mask_bytes = ((n + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in range(n - 1, -1, -1):  # bottom-up
        row = bytearray(row_bytes)
        mrow = bytearray(mask_bytes)
        for x, c in enumerate(rows[y]):
            i = 0
            if c is None:
                mrow[x // 8] |= 0x80 >> (x % 8)
            else:
                i = index[c]
            if bpp == 8:
                row[x] = i
            else:
                row[x // 2] |= i << (4 if x % 2 == 0 else 0)
        xor += row
        mask += mrow
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, bpp, 0, len(xor) + len(mask), 0, 0, len(palette), 0)
    colours = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in palette)
    return header + colours + bytes(xor) + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-icon.py OUT.ico")
    sizes = [(16, 4), (32, 4)]
    images = [image(n, bpp) for n, bpp in sizes]
    offset = 6 + 16 * len(sizes)
    out = struct.pack('<HHH', 0, 1, len(sizes))
    for (n, bpp), data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 16 if bpp == 4 else 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    target = sys.argv[1]
    os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
    with open(target + '.tmp', 'wb') as f:
        f.write(out + b''.join(images))
    os.replace(target + '.tmp', target)


if __name__ == '__main__':
    main()
