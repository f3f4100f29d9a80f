#!/usr/bin/env python3
"""Draws examples/options.png: a few glyphs of the sample font as each option
writes them, the squares of -b, the merged outlines of -b -m and the strike
of -s, from the tool's own output.  Needs nothing but Python.

Run as: examples/draw-options.py build/quadsmith
"""
import os
import struct
import subprocess
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
GLYPHS = ["Q", "uni0038", "A"]  # the digit 8 is named by its Unicode value
SCALE = 12                       # image pixels per font pixel
ROWS = [("-b: one square per pixel", ["-b"]), ("-b -m: merged outlines", ["-b", "-m"]),
        ("-s: the strike", ["-s"])]
INK, GRID, PAPER, FILL = (20, 20, 20), (215, 215, 215), (255, 255, 255), (70, 110, 200)


def convert(tool, options):
    return subprocess.run([tool, *options, os.path.join(HERE, "quadsmith-sample.bdf")],
                          capture_output=True, check=True, env={"SOURCE_DATE_EPOCH": "0"}
                          ).stdout.decode()


def contours(sfd, name):
    """The contours of a glyph record, in font units."""
    record = sfd.split(f"StartChar: {name}\n", 1)[1].split("EndChar", 1)[0]
    found = []
    for line in record.splitlines():
        if line.endswith(" m 1"):
            found.append([tuple(map(float, line.split()[:2]))])
        elif line.endswith(" l 1"):
            found[-1].append(tuple(map(float, line.split()[:2])))
    return found


def ascii85(text, count):
    data = bytearray()
    i = 0
    while len(data) < count:
        if text[i] == "z":
            data += bytes(4)
            i += 1
            continue
        value = 0
        for c in text[i:i + 5]:
            value = value * 85 + ord(c) - 33
        data += value.to_bytes(4, "big")
        i += 5
    return data[:count]


def strike_pixels(sfd, name):
    """The set pixels of a glyph's bitmap as (column, row above the baseline)."""
    index = sfd.split(f"StartChar: {name}\n", 1)[1].split("\n", 1)[0].split()[3]
    line, data = sfd.split(f"\nBDFChar: {index} ", 1)[1].split("\n")[:2]
    _, _, xmin, xmax, ymin, ymax = map(int, line.split())
    per_row = (xmax - xmin) // 8 + 1
    rows = ascii85(data, (ymax - ymin + 1) * per_row)
    return {(xmin + c, ymax - r) for r in range(ymax - ymin + 1) for c in range(xmax - xmin + 1)
            if rows[r * per_row + c // 8] & (0x80 >> (c % 8))}


def main():
    tool = sys.argv[1]
    outputs = [convert(tool, options) for _, options in ROWS]
    unit = 1024 / 9  # font units per pixel: the sample's pixel size is 9
    cell_w, cell_h, margin = 6 * SCALE, 9 * SCALE, SCALE
    width = len(GLYPHS) * (cell_w + margin) + margin
    height = len(ROWS) * (cell_h + margin) + margin
    image = [[PAPER] * width for _ in range(height)]

    def put(x, y, colour):
        if 0 <= x < width and 0 <= y < height:
            image[y][x] = colour

    for r, sfd in enumerate(outputs):
        top = margin + r * (cell_h + margin)
        for g, name in enumerate(GLYPHS):
            left = margin + g * (cell_w + margin)
            # The pixel grid of the cell, ascent 7 above the baseline.
            for c in range(7):
                for y in range(cell_h):
                    put(left + c * SCALE, top + y, GRID)
            for k in range(10):
                for x in range(cell_w):
                    put(left + x, top + k * SCALE, GRID)
            to_image = lambda fx, fy: (left + round(fx / unit * SCALE),
                                       top + round((7 - fy / unit) * SCALE))
            if ROWS[r][1] == ["-s"]:
                for c, row in strike_pixels(sfd, name):
                    for dy in range(1, SCALE):
                        for dx in range(1, SCALE):
                            put(left + c * SCALE + dx, top + (7 - row - 1) * SCALE + dy, FILL)
                continue
            for contour in contours(sfd, name):
                points = [to_image(x, y) for x, y in contour]
                # Edges are vertical or horizontal; each is drawn two pixels wide.
                for (x0, y0), (x1, y1) in zip(points, points[1:]):
                    n = max(abs(x1 - x0), abs(y1 - y0)) or 1
                    for t in range(n + 1):
                        x, y = x0 + (x1 - x0) * t // n, y0 + (y1 - y0) * t // n
                        put(x, y, INK)
                        put(x + (x0 == x1), y + (y0 == y1), INK)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in image)
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data)))
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0,
                                                             0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(os.path.join(HERE, "options.png"), "wb") as out:
        out.write(png)
    print(f"wrote examples/options.png: {', '.join(label for label, _ in ROWS)}, top to bottom")


if __name__ == "__main__":
    main()
