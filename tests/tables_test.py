#!/usr/bin/python3
"""The sfnt tables of small fonts made directly, each read back by fontTools
on its own: the fixed lengths, the file's checksum, and the values a table
must carry from the BDF (advances, codes, glyph counts, strike sizes), for
-T ttf, otf and otb.  Fast: no font package is needed.

Run as: tables_test.py path/to/quadsmith
"""
import io
import struct
import subprocess
import sys

from fontTools.ttLib import TTFont

from strict_table import font, glyph

HEAD = ("STARTFONT 2.1\nFONT -x-tables-medium-r-normal--16-160-75-75-c-80-iso10646-1\n"
        "SIZE 16 75 75\nFONTBOUNDINGBOX 8 16 0 -2\nSTARTPROPERTIES 2\n"
        "FONT_ASCENT 14\nFONT_DESCENT 2\nENDPROPERTIES\n")
# Each case: its glyphs as (name, code, DWIDTH, BBX, rows), and its fonts.
CASES = {
    "monospaced": [("A", 65, 8, "8 2 0 0", "FF\n81\n"), ("a", 97, 8, "8 1 0 0", "3C\n")],
    "proportional": [("i", 105, 3, "1 3 1 0", "80\n00\n80\n"), ("space", 32, 4, "0 0 0 0", ""),
                     ("wide", 0x4E00, 40, "40 1 0 4", "FFFFFFFFFF\n"),
                     ("none", -1, 5, "2 2 0 0", "40\n80\n")],
    # Past the glyphs post format 2 can name: its name indexes are 16 bits.
    "many": [(f"g{i}", 0x10000 + i, 1, "1 1 0 0", "80\n") for i in range(65300)],
    # ISO 8859-1 with codes past 0xFF, which are Unicode's.
    "latin1": [("A", 65, 8, "8 1 0 0", "FF\n"), ("powerline", 0xE0A0, 8, "8 1 0 0", "FF\n"),
               ("box", 0x2500, 8, "8 1 0 0", "FF\n")],
}
FIXED = {"head": (54,), "hhea": (36,), "maxp": (6, 32), "OS/2": (96,)}


def bdf(glyphs, case):
    head = HEAD.replace("iso10646-1", "iso8859-1") if case == "latin1" else HEAD
    return font("".join(glyph(n, c, rows, box, f"DWIDTH {w} 0\n")
                        for n, c, w, box, rows in glyphs), head=head)


def problems_of(data, form, glyphs):
    padded = data + b"\0" * (-len(data) % 4)
    words = struct.unpack(f">{len(padded) // 4}I", padded)
    problems = [] if sum(words) & 0xFFFFFFFF == 0xB1B0AFBA else ["file checksum"]
    f = TTFont(io.BytesIO(data), checkChecksums=2)
    for tag, lengths in FIXED.items():
        if len(f.reader[tag]) not in lengths:
            problems.append(f"{tag} is {len(f.reader[tag])} bytes")
    unit = f["head"].unitsPerEm // f["head"].lowestRecPPEM
    if f["maxp"].numGlyphs != len(glyphs) + 1 or len(f.getGlyphOrder()) != len(glyphs) + 1:
        problems.append(f"maxp {f['maxp'].numGlyphs} glyphs")
    cmap = f.getBestCmap() or {}
    for name, code, width, _, _ in glyphs:
        if code < 0:
            continue
        advance = f["hmtx"][cmap[code]][0] if code in cmap else None
        if advance != width * unit:
            problems.append(f"{name}: advance {advance}, not {width} pixels of {unit}")
    if len(cmap) != sum(code >= 0 for _, code, *_ in glyphs):
        problems.append(f"cmap {sorted(cmap)}")
    # A CID-keyed CFF names no glyph, nor an OTB, nor post format 2 past 65,277 names.
    post = 3 if form in ("otf", "otb") or len(glyphs) > 65277 else 2
    if len(set(f.getGlyphOrder())) != len(glyphs) + 1:
        problems.append("glyph names shared")
    if f["post"].formatType != post:
        problems.append(f"post format {f['post'].formatType}")
    outlines = {"ttf": {"glyf", "loca"}, "otf": {"CFF "}, "otb": {"EBLC", "EBDT"}}[form]
    if not outlines <= set(f.keys()):
        problems.append(f"tables {sorted(f.keys())}")
    if form == "otb" and [s.bitmapSizeTable.ppemY for s in f["EBLC"].strikes] != [16]:
        problems.append("strike sizes")
    # The extents are the ink's, in an OTB as in an outline font.
    head, os2 = f["head"], f["OS/2"]
    if (head.yMax <= 0 or head.xMax <= head.xMin or os2.usWinAscent < head.yMax
            or f["hhea"].xMaxExtent <= 0):
        problems.append(f"extents {head.xMin} {head.yMin} {head.xMax} {head.yMax}")
    return problems


def main():
    tool = sys.argv[1]
    failures = 0
    for case, glyphs in CASES.items():
        for form in ("ttf", "otf", "otb"):
            run = subprocess.run([tool, "-T", form, "-"], input=bdf(glyphs, case).encode(),
                                 capture_output=True, env={"SOURCE_DATE_EPOCH": "0"})
            problems = (problems_of(run.stdout, form, glyphs) if run.returncode == 0
                        else [run.stderr.decode().strip()])
            for problem in problems:
                print(f"FAIL {case} -T {form}: {problem}")
            failures += len(problems) > 0
    print(f"{len(CASES) * 3 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
