#!/usr/bin/python3
"""Fonts made directly (-T) of BDFs that push the sfnt formats to their
limits, one row each: a value the format can't hold is a refusal that says
which glyph, or a font that ots-sanitize accepts (TrueType, OpenType),
fontTools reads and FreeType draws at its pixel size as its BDF driver
draws the BDF, with the note that says what was changed on purpose; and
peak memory stays within 16 MiB.

Run as: hostile_fonts.py path/to/quadsmith
"""
import os
import random
import re
import struct
import subprocess
import sys
import tempfile

from real_fonts import freetype_glyph, open_bdf_face
from strict_table import font, glyph

MONO = 0x4 | 0x20000  # FT_LOAD_RENDER | FT_LOAD_TARGET_MONO


def head(pixels, ascent, descent, box, properties=""):
    count = 2 + properties.count("\n")
    return (f"STARTFONT 2.1\nFONT -x-hostile-medium-r-normal--{pixels}-10-75-75-c-10-iso10646-1\n"
            f"SIZE {pixels} 75 75\nFONTBOUNDINGBOX {box}\nSTARTPROPERTIES {count}\n"
            f"FONT_ASCENT {ascent}\nFONT_DESCENT {descent}\n{properties}ENDPROPERTIES\n")


def checkerboard(n):
    return "".join(f"{(0x5555 if r % 2 else 0xAAAA):04X}" * (n // 16) + "\n" for r in range(n))


def one_glyph(pixels, ascent, descent, box, rows, advance=None, properties=""):
    width = int(box.split()[0])
    return font(glyph("a", 97, rows, box, f"DWIDTH {advance or width} 0\n"),
                head=head(pixels, ascent, descent, box, properties))


def every_other_code(count):
    """Glyphs at every other BMP code: one cmap segment each."""
    return font("".join(glyph(f"g{i}", 0x100 + 2 * i, "80\n", "1 1 0 0", "DWIDTH 1 0\n")
                        for i in range(count)), head=head(16, 14, 2, "8 16 0 -2"))


def big_glyphs(count):
    """Glyphs of 128 by 128 pixels of noise, each its own."""
    rng = random.Random(count)
    return font("".join(glyph(f"g{i}", 0x4E00 + i,
                              "".join(f"{rng.getrandbits(128):032X}\n" for _ in range(128)),
                              "128 128 0 0", "DWIDTH 128 0\n") for i in range(count)),
                head=head(128, 128, 0, "128 128 0 0"))


TALL = one_glyph(1, 1, 0, "3 63 0 -32", "E0\n" * 63)
WIDE = one_glyph(2, 2, 0, "64 1 -2 0", "80" + "0" * 12 + "01\n", advance=4)
RIGHT = one_glyph(16, 14, 2, "128 1 100 0", "0" * 31 + "1\n", advance=8)
DEEP = one_glyph(16, 14, 2, "8 100 0 -200", "00\n" * 99 + "FF\n")
HIGH = one_glyph(255, 224, 31, "8 8 0 0", "FF\n" * 8, advance=255)
MANY = one_glyph(16, 14, 2, "8 1 0 0", "FF\n",
                 properties='RELATIVE_SETWIDTH 50\n' * 70000)
PLAIN = one_glyph(16, 14, 2, "8 1 0 0", "FF\n")
HUGE = one_glyph(16, 14, 2, "8 1 0 0", "FF\n",
                 properties=f'RELATIVE_SETWIDTH "{"x" * ((1 << 20) - 32)}"\n' * 40)
SPANS = "Glyph a spans more than the 32,767 units a TrueType glyph's steps hold on line"

# name: input, modes, what the run must say on standard error (a pattern
# of the notes, or of the message of a refusal with status 1), and the BDF
# FreeType draws the font against where it is not the input (whose 70,000
# properties the BDF driver does not open).
CASES = {
    "tall_glyph_at_1_pixel": (TALL, ["-T ttf"], SPANS),
    "tall_glyph_as_cff": (TALL, ["-T otf"], ""),
    "wide_glyph_at_2_pixels": (WIDE, ["-T ttf"], SPANS),
    "wide_glyph_as_cff": (WIDE, ["-T otf"], ""),
    "cropped_past_127": (RIGHT, ["-T otb", "-T ttf -s", "-T otf -s"], ""),
    "cropped_below_-128": (DEEP, ["-T otb", "-T ttf -s", "-T otf -s"], ""),
    "cmap_past_8189_segments": (every_other_code(8200), ["-T ttf", "-T otf"], ""),
    "contours_past_4094": (one_glyph(96, 96, 0, "96 96 0 0", checkerboard(96)), ["-T ttf"],
                           "Glyph a has more than the 4,094 contours FreeType loads"),
    "contours_past_4094_as_cff": (one_glyph(96, 96, 0, "96 96 0 0", checkerboard(96)),
                                  ["-T otf"], ""),
    "points_past_32767": (one_glyph(128, 128, 0, "128 128 0 0", checkerboard(128)), ["-T otf"],
                          "Glyph a has more than the 32,767 points FreeType loads"),
    "line_past_a_strike": (HIGH, ["-T otb"], "The 255-pixel strike's line metrics pass"),
    "properties_past_65535": (MANY, ["-T otb"], r"\d+ properties past the 65,535", PLAIN),
    "properties_of_40_mib": (HUGE, ["-T otb"], r"39 properties past the 65,535, or the 1 MiB",
                             PLAIN),
    "charstrings_of_19_mb": (big_glyphs(1500), ["-T otf"], ""),
}


def check_font(path, mode, bdf, case):
    """The problems of a font made of a BDF that FreeType draws as bdf."""
    import freetype
    from fontTools.ttLib import TTFont

    problems = []
    if "otb" not in mode:
        sanitized = subprocess.run(["ots-sanitize", path], capture_output=True, text=True)
        if sanitized.returncode != 0:
            problems.append(f"ots-sanitize: {sanitized.stdout.strip()[-200:]}")
    made = TTFont(path)
    for tag in made.keys():
        made[tag]
    reference, face = open_bdf_face(bdf), freetype.Face(path)
    face.set_pixel_sizes(0, int(re.search(r"\nSIZE (\d+)", open(bdf).read()).group(1)))
    codes = [code for code, _ in reference.get_chars()]
    for code in codes[:: max(1, len(codes) // 50)]:
        try:
            want, got = freetype_glyph(reference, code)[0], freetype_glyph(face, code, MONO)[0]
        except freetype.FT_Exception as error:
            problems.append(f"U+{code:04X}: FreeType: {error}")
            break
        if want != got:
            problems.append(f"U+{code:04X} drawn unlike the BDF: {sorted(want ^ got)[:4]}")
            break
    if "otb" in mode and "properties_past" in case:
        data = made.reader["BDF "]
        # As many as the bounds keep, not a count wrapped around 16 bits.
        if struct.unpack(">H", data[10:12])[0] < 50000:
            problems.append("BDF table count")
    if "line_past" in case and made["EBLC"].strikes[0].bitmapSizeTable.hori.widthMax != 255:
        problems.append("widthMax")
    return problems


def main():
    tool = sys.argv[1]
    # A sanitizer's build has memory of its own to count.
    bounded = b"__asan_init" not in open(tool, "rb").read()
    failures = 0
    with tempfile.TemporaryDirectory(prefix="quadsmith-hostile.") as folder:
        bdf, path = os.path.join(folder, "in.bdf"), os.path.join(folder, "out")
        for name, (text, modes, said, *drawn) in CASES.items():
            open(bdf, "w").write(text)
            reference = os.path.join(folder, "reference.bdf")
            open(reference, "w").write(drawn[0] if drawn else text)
            for mode in modes:
                run = subprocess.run(["/usr/bin/time", "-f", "%M", tool, *mode.split(), "-o",
                                      path, bdf], capture_output=True, text=True)
                *lines, peak = run.stderr.splitlines()
                stderr = "\n".join(lines)
                refused = said.startswith("Glyph")
                problems = [] if (run.returncode == 1) == refused else [f"status {run.returncode}"]
                if not re.search(said, stderr):
                    problems.append(f"says {stderr[-300:]!r}")
                if bounded and int(peak) > 16 * 1024:
                    problems.append(f"peak {peak} KiB")
                if run.returncode == 0:
                    problems += check_font(path, mode, reference, name)
                for problem in problems:
                    print(f"FAIL {name} {mode}: {problem}")
                failures += len(problems) > 0
    total = sum(len(case[1]) for case in CASES.values())
    print(f"{total - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
