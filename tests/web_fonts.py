#!/usr/bin/python3
"""A -T woff2 font on a web page, drawn by headless Chromium.

Usage: web_fonts.py TOOL FONT

The page sets a line of the font's own characters at 1 to 4 times its pixel
size, shot at device scale factors 1 and 2.  Every pixel of the shot is
black or white, and each line's black pixels are the BDF's pixels as
FreeType's BDF driver reads them, each an s by s block (s the multiple times
the scale factor), glyph by glyph at its advance from the left edge.
"""

import os
import subprocess
import sys

from real_fonts import (EPOCH, Failure, freetype_glyph, make_bdf, open_bdf_face, parse_bdf,
                        run_check)

SAMPLE = "Hello, World! 0123 {}[]|@ ÄÖÜß Жж Ωω 漢字かな"
MULTIPLES = (1, 2, 3, 4)


def page(line, size, font_file):
    """The page and where each multiple's line starts, in CSS pixels: each
    line box its own height and as much again below it, so that no ink
    reaches the next."""
    divs, top = [], 0
    tops = {}
    for k in MULTIPLES:
        tops[k] = top
        divs.append(f'<div style="top:{top}px; font-size:{k * size}px; '
                    f'line-height:{k * size}px">{line}</div>')
        top += 2 * k * size
    html = ('<!DOCTYPE html><html><head><meta charset="utf-8"><style>'
            f'@font-face {{ font-family: "Pixel"; src: url("{font_file}") format("woff2"); }}'
            "html, body { margin: 0; padding: 0; background: #fff; }"
            'div { position: absolute; left: 0; font-family: "Pixel"; color: #000;'
            " white-space: pre; }"
            "</style></head><body>" + "".join(divs) + "</body></html>")
    return html, tops, top


def expected_line(face, line):
    """The line's pixels as (x, y) with y growing downwards from the
    baseline, and its advance."""
    pixels, pen = set(), 0
    for char in line:
        glyph, advance = freetype_glyph(face, ord(char))
        pixels |= {(pen + c, -top) for c, top in glyph}
        pen += int(advance)
    return pixels, pen


def shoot(folder, html, width, height, scale):
    """Chromium's screenshot of the page, as rows of (r, g, b)."""
    from PIL import Image

    path = os.path.join(folder, "page.html")
    open(path, "w", encoding="utf-8").write(html)
    shot = os.path.join(folder, f"shot-{scale}.png")
    subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                    f"--user-data-dir={folder}/profile", f"--force-device-scale-factor={scale}",
                    f"--window-size={width},{height}", "--virtual-time-budget=10000",
                    f"--screenshot={shot}", "file://" + path],
                   check=True, capture_output=True, cwd=folder)
    image = Image.open(shot).convert("RGB")
    return image.size, image.load()


def check_web(tool, font_name, folder):
    bdf = make_bdf(font_name, folder)
    info = parse_bdf(bdf)
    size = info.get("pixel_size", info["height"])
    face = open_bdf_face(bdf)
    line = "".join(c for c in SAMPLE if face.get_char_index(ord(c)) != 0)
    font = os.path.join(folder, "font.woff2")
    result = subprocess.run([tool, "-T", "woff2", "-o", font, bdf], capture_output=True,
                            env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH))
    if result.returncode != 0:
        raise Failure(f"{font_name}: -T woff2: {result.stderr.decode()}")
    want, advance = expected_line(face, line)
    html, tops, height = page(line, size, "font.woff2")
    for scale in (1, 2):
        (width, rows), pixels = shoot(folder, html, 4 * advance + 8, height, scale)
        grey = {pixels[x, y] for x in range(width) for y in range(rows)} - {
            (0, 0, 0), (255, 255, 255)}
        if grey:
            raise Failure(f"{font_name} at scale {scale}: grey pixels {sorted(grey)[:4]}")
        for k in MULTIPLES:
            s = k * scale
            first, last = tops[k] * scale, (tops[k] + 2 * k * size) * scale
            got = {(x, y) for y in range(first, min(last, rows)) for x in range(width)
                   if pixels[x, y] == (0, 0, 0)}
            blocks = {(s * x + i, s * y + j) for x, y in want for i in range(s) for j in range(s)}
            if not got:
                raise Failure(f"{font_name} x{k} at scale {scale}: nothing drawn")
            # The line stands where the page's line box puts its baseline:
            # the one shift allowed is downwards, the same for every glyph.
            shift = min(y for _, y in got) - min(y for _, y in blocks)
            if {(x, y + shift) for x, y in blocks} != got:
                raise Failure(f"{font_name} x{k} at scale {scale}: the line is not the BDF's"
                              f" scaled: {len(got ^ {(x, y + shift) for x, y in blocks})}"
                              " pixels differ")
    print(f"{font_name}: {len(line)} characters at 1 to 4 times {size} px, scale 1 and 2")


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    tool, font_name = os.path.abspath(sys.argv[1]), sys.argv[2]
    return run_check("quadsmith-web.", font_name,
                     lambda folder: check_web(tool, font_name, folder))


if __name__ == "__main__":
    sys.exit(main())
