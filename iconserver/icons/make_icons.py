#!/usr/bin/env python3
"""Draws the icon server's two icons and writes them as .ico files.

    make_icons.py OUTPUT_DIR

insect.ico: 32x32 and 16x16, a dark-blue insect-like figure with red and
yellow antennae. chip.ico: 32x32, a grey integrated-circuit package drawn
diagonally with yellow pins. Both are 16 colours: 4 bits per pixel over the
standard 16-colour palette, with a 1-bit transparency mask.
"""
import math
import os
import struct
import sys

# The standard 16-colour palette, in its usual index order (RGB).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, NAVY, SILVER, GREY, RED, YELLOW, BLUE, WHITE = 0, 4, 7, 8, 9, 11, 12, 15
CLEAR = None  # transparent: mask bit set, colour index 0


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[CLEAR] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = colour

    def fill(self, inside, colour):
        """Colours every pixel whose centre satisfies inside(x, y)."""
        for y in range(self.size):
            for x in range(self.size):
                if inside(x + 0.5, y + 0.5):
                    self.px[y][x] = colour

    def ellipse(self, cx, cy, rx, ry, colour):
        self.fill(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0, colour)

    def line(self, x0, y0, x1, y1, colour):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for i in range(steps + 1):
            t = i / steps
            self.put(int(x0 + (x1 - x0) * t), int(y0 + (y1 - y0) * t), colour)

    def outline(self, colour):
        """Edges the figure: clear pixels next to a drawn one take `colour`."""
        edge = []
        for y in range(self.size):
            for x in range(self.size):
                if self.px[y][x] is not CLEAR:
                    continue
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                    nx, ny = x + dx, y + dy
                    if 0 <= nx < self.size and 0 <= ny < self.size and self.px[ny][nx] not in (CLEAR, colour):
                        edge.append((x, y))
                        break
        for x, y in edge:
            self.px[y][x] = colour


def insect(size):
    s = size / 32.0
    c = Canvas(size)
    cx = 16 * s
    # Six legs from the thorax, then the antennae, under the body.
    for sign in (-1, 1):
        for (ax, ay), (bx, by), (ex, ey) in (((3, 12), (8, 9), (10, 4)),
                                             ((3, 14), (9, 14), (12, 17)),
                                             ((3, 17), (7, 21), (9, 27))):
            c.line(cx + sign * ax * s, ay * s, cx + sign * bx * s, by * s, NAVY)
            c.line(cx + sign * bx * s, by * s, cx + sign * ex * s, ey * s, NAVY)
    for sign, colour in ((-1, RED), (1, YELLOW)):
        c.line(cx + sign * 1.5 * s, 6 * s, cx + sign * 7 * s, 1 * s, colour)
        c.ellipse(cx + sign * 7.5 * s, 1.5 * s, max(1.2 * s, 0.9), max(1.2 * s, 0.9), colour)
    c.ellipse(cx, 21 * s, 5.5 * s, 8 * s, NAVY)      # abdomen
    c.ellipse(cx, 13 * s, 4.5 * s, 3.2 * s, NAVY)    # thorax
    c.ellipse(cx, 8 * s, 3.2 * s, 2.6 * s, NAVY)     # head
    if size >= 32:
        c.ellipse(cx - 1.5, 19, 1.4, 4, BLUE)        # sheen on the abdomen
        c.line(cx - 5, 21, cx + 5, 21, BLACK)        # segments
        c.line(cx - 4, 25, cx + 4, 25, BLACK)
    c.put(int(cx - 1.6 * s), int(7.5 * s), WHITE)     # eyes
    c.put(int(cx + 1.6 * s) - (1 if size < 32 else 0), int(7.5 * s), WHITE)
    if size >= 32:
        c.outline(BLACK)
    return c


def chip(size):
    c = Canvas(size)
    centre = size / 2.0
    r2 = math.sqrt(2.0)

    def along(x, y):   # position along the package's long axis (top-left to bottom-right)
        return ((x - centre) + (y - centre)) / r2

    def across(x, y):  # position across it
        return ((x - centre) - (y - centre)) / r2

    pins = (-8.0, -4.0, 0.0, 4.0, 8.0)
    c.fill(lambda x, y: 5.5 < abs(across(x, y)) <= 10.0 and any(abs(along(x, y) - p) <= 1.1 for p in pins), YELLOW)
    c.fill(lambda x, y: abs(along(x, y)) <= 11.5 and abs(across(x, y)) <= 6.5, BLACK)
    c.fill(lambda x, y: abs(along(x, y)) <= 10.5 and abs(across(x, y)) <= 5.5, GREY)
    c.fill(lambda x, y: abs(along(x, y)) <= 9.5 and -4.5 <= across(x, y) <= -3.5, SILVER)  # highlight edge
    c.fill(lambda x, y: (along(x, y) + 7.5) ** 2 + (across(x, y) - 2.5) ** 2 <= 1.6, BLACK)  # pin-1 mark
    return c


def dib(canvas):
    """One icon image: header, palette, 4-bit colour bits, 1-bit mask, bottom-up."""
    n = canvas.size
    xor_stride = ((n * 4 + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(n)):
        row = canvas.px[y]
        bits = bytearray(xor_stride)
        mbits = bytearray(and_stride)
        for x, colour in enumerate(row):
            index = 0 if colour is CLEAR else colour
            bits[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is CLEAR:
                mbits[x // 8] |= 0x80 >> (x % 8)
        xor += bits
        mask += mbits
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def write_ico(path, canvases):
    images = [dib(c) for c in canvases]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack('<BBBBHHII', c.size % 256, c.size % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else '.'
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, 'insect.ico'), [insect(32), insect(16)])
    write_ico(os.path.join(out, 'chip.ico'), [chip(32)])


if __name__ == '__main__':
    main()
