#!/usr/bin/env python3
"""Draws the updater's icon and writes it as a Windows .ico.

Thirteen images: 48, 32, 24 and 16 pixels square at 4, 8 and 32 bits per
pixel (BMP images with an AND mask), and one 256-pixel 32-bit PNG image.
The picture is a blue rounded tile with a white ring (the button) and a
small chip in its middle. Run:  python3 make_icon.py Zelvar_FW_Update_Tool.ico
Only the Python standard library is needed; the output is deterministic.
"""
import struct
import sys
import zlib

BMP_SIZES = (48, 32, 24, 16)
BMP_DEPTHS = (4, 8, 32)
PNG_SIZE = 256

# The 16-colour palette of the 4-bit images (the classic Windows one).
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# The 256-colour palette of the 8-bit images: a 6x6x6 cube and 40 greys.
CUBE = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
PALETTE256 = CUBE + [(int(i * 255 / 39),) * 3 for i in range(40)]


def pixel(x, y, n):
    """RGBA of the pixel centre (x + 0.5, y + 0.5) in an n x n image."""
    u = (x + 0.5) / n
    v = (y + 0.5) / n
    # Rounded tile.
    r = 0.18
    dx = max(abs(u - 0.5) - (0.5 - r), 0.0)
    dy = max(abs(v - 0.5) - (0.5 - r), 0.0)
    if (dx * dx + dy * dy) ** 0.5 > r - 0.02:
        return (0, 0, 0, 0)
    # Blue, lighter at the top.
    shade = 1.0 - 0.45 * v
    col = (int(20 * shade), int(90 * shade + 30), int(200 * shade + 40))
    d = ((u - 0.5) ** 2 + (v - 0.5) ** 2) ** 0.5
    if 0.27 <= d <= 0.36:
        col = (240, 245, 255)  # the ring
    if abs(u - 0.5) <= 0.12 and abs(v - 0.5) <= 0.12:
        col = (255, 200, 40)  # the chip
    return col + (255,)


def nearest(palette, rgb):
    return min(range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], rgb)))


def bmp_image(n, depth):
    pixels = [[pixel(x, y, n) for x in range(n)] for y in range(n)]
    palette = VGA16 if depth == 4 else PALETTE256 if depth == 8 else []
    rows = []
    for y in reversed(range(n)):  # bottom-up
        row = bytearray()
        if depth == 32:
            for p in pixels[y]:
                row += bytes((p[2], p[1], p[0], p[3]))
        else:
            idx = [nearest(palette, p[:3]) if p[3] else 0 for p in pixels[y]]
            if depth == 8:
                row += bytes(idx)
            else:
                for i in range(0, n, 2):
                    row.append((idx[i] << 4) | (idx[i + 1] if i + 1 < n else 0))
        row += b"\0" * (-len(row) % 4)
        rows.append(bytes(row))
    mask = []
    for y in reversed(range(n)):
        bits = bytearray((n + 7) // 8)
        for x in range(n):
            if pixels[y][x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        bits += b"\0" * (-len(bits) % 4)
        mask.append(bytes(bits))
    xor = b"".join(rows)
    andm = b"".join(mask)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, depth, 0, len(xor) + len(andm), 0, 0,
                         len(palette), 0)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + pal + xor + andm


def png_image(n):
    raw = bytearray()
    for y in range(n):
        raw.append(0)
        for x in range(n):
            raw += bytes(pixel(x, y, n))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def main(path):
    images = []
    for n in BMP_SIZES:
        for depth in BMP_DEPTHS:
            images.append((n, depth, bmp_image(n, depth)))
    images.append((PNG_SIZE, 32, png_image(PNG_SIZE)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, depth, data in images:
        colours = 16 if depth == 4 else 0
        out += struct.pack("<BBBBHHII", n % 256, n % 256, colours, 0, 1, depth, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "Zelvar_FW_Update_Tool.ico")
