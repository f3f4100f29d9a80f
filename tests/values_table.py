#!/usr/bin/python3
"""Values of the BDF and the command line that the SFD must carry intact or
refuse, one row each: the options, the input, the exit status, what
standard error says and, for a font that converts, the header values
FontForge must read back.  Each font that converts is also made TrueType
(and with -s an OTB), every table of it loaded by fontTools, every glyph
found mapped, and fc-query must give the family and style.

Run as: values_table.py path/to/quadsmith
"""
import os
import subprocess
import sys
import tempfile

import fontforge
from fontTools.ttLib import TTFont

from strict_table import A, HEAD, NO_CHARSET, font, report, run_case, said, summary


def props(*lines):
    """HEAD with these property lines added to its block."""
    return HEAD.replace("PROPERTIES 2\n", f"PROPERTIES {2 + len(lines)}\n" + "".join(
        line + "\n" for line in lines))


OK = NO_CHARSET + report(1)
LONG = "C" * 30000
# name, options, input (str, or bytes as they stand), status, standard error, header values
CASES = [
    ("quotes_in_a_weight", ["-b"], font(A, head=props('WEIGHT_NAME "Bo""ld"')), 0, OK,
     {"weight": 'Bo"ld', "SubFamily": 'Bo"ld', "fullname": 'f 16 Bo"ld'}),
    ("version_ending_in_a_backslash", ["-b"], font(A, head=props('FONT_VERSION "1.0\\"')), 1,
     said("Invalid value for FONT_VERSION on line 4."), None),
    ("copyright_ending_in_a_backslash", ["-b"],
     font(A, head=props('COPYRIGHT "a\\"', 'NOTICE "b\\"', "SLANT \"I\"")), 0, OK,
     {"copyright": "a\\ b\\", "italicangle": -12.0}),
    ("weight_ending_in_a_backslash", ["-b"], font(A, head=props('WEIGHT_NAME "Bold\\"')), 1,
     said("Invalid value for WEIGHT_NAME on line 4."), None),
    # The width word stands inside the family's name, where a backslash does no harm.
    # A width goes into the full name, whose line it would join to the next.
    ("setwidth_ending_in_a_backslash", ["-b"], font(A, head=props('SETWIDTH_NAME "Wide\\"')), 1,
     said("Invalid value for SETWIDTH_NAME on line 4."), None),
    ("font_name_ending_in_a_backslash", ["-b", "-f", "My\\"], font(A), 1,
     said("Invalid value for -f."), None),
    ("postscript_name_ending_in_a_backslash", ["-b", "-p", "MyFont\\"], font(A), 1,
     said("Invalid value for -p."), None),
    ("plus_in_a_weight", ["-b"], font(A, head=props('WEIGHT_NAME "Semi+Bold"')), 0, OK,
     {"SubFamily": "Semi+Bold", "weight": "Semi+Bold"}),
    ("utf8_weight", ["-b"], font(A, head=props('WEIGHT_NAME "Gräs"')), 0, OK,
     {"SubFamily": "Gräs", "weight": "Gräs"}),
    ("latin1_family", ["-b"], font(A, head=props('FAMILY_NAME "Gr\xe4s"')).encode("latin-1"), 0,
     OK, {"familyname": "Gräs 16", "fullname": "Gräs 16"}),
    ("two_word_weight", ["-b"], font(A, head=props('WEIGHT_NAME "Demi Bold"')), 0, OK,
     {"weight": "DemiBold", "SubFamily": "Demi Bold"}),
    ("copyright_of_30000_characters", ["-b"], font(A, head=props(f'COPYRIGHT "{LONG}"')), 0,
     NO_CHARSET + said("COPYRIGHT and NOTICE cut to 8192 bytes, as much as the font's name table"
                       " holds.") + report(1), {"copyright": LONG[:8192]}),
    ("heights_past_16_bits", ["-b"],
     font(A, head=props("X_HEIGHT 1024", "CAP_HEIGHT 600", "UNDERLINE_POSITION 1024",
                        "UNDERLINE_THICKNESS 1024")), 0, OK, {"os2_xheight": 0}),
    ("pixel_size_of_1", ["-b"], font(A, head=props("PIXEL_SIZE 1").replace("ASCENT 14", "ASCENT 40")),
     1, said("PIXEL_SIZE is too small for the line: it would pass 32767 font units on line 10."),
     None),
    ("box_far_above_the_baseline", ["-s"],
     font(A, head="STARTFONT 2.1\nSIZE 16 72 72\nFONTBOUNDINGBOX 8 16 0 100\n"), 0, OK,
     {"ascent": 1024, "descent": 0, "bitmapSizes": (16,)}),
    # Cuts fall between characters, each text is read as UTF-8 or Latin-1
    # on its own, and the weight is one token FontForge reads whole.
    ("version_cut_between_characters", ["-b"], font(A, head=props('FONT_VERSION "v' + "é" * 200 + '"')),
     0, NO_CHARSET + said("FONT_VERSION cut to 256 bytes.") + report(1), {"version": "v" + "é" * 127}),
    ("latin1_family_utf8_style", ["-b"],
     font(A, head=props('FAMILY_NAME "Caf\xe9"')).encode("latin-1").replace(
         b"ENDPROPERTIES", b'ADD_STYLE_NAME "\xc3\x84rger"\nENDPROPERTIES').replace(
         b"PROPERTIES 3", b"PROPERTIES 4"), 0, OK,
     {"familyname": "Café Ärger 16"}),
    ("weight_of_postscript_delimiters", ["-b"], font(A, head=props('WEIGHT_NAME "Bo%l(d)"')), 0, OK,
     {"weight": "Bold", "SubFamily": "Bo%l(d)"}),
    ("weight_with_a_tab", ["-b"], font(A, head=props('WEIGHT_NAME "Semi\tBold"')), 0, OK,
     {"weight": "SemiBold"}),
    ("latin1_weight_of_63_bytes", ["-b"], font(A, head=props('WEIGHT_NAME "' + "\xe9" * 63 + '"')).encode(
        "latin-1"), 0, OK, {"weight": "é" * 49, "SubFamily": "é" * 63}),
    ("long_latin1_family", ["-b"], font(A, head=props('FAMILY_NAME "' + "\xe9" * 1024 + '"')).encode(
        "latin-1"), 1, said("Invalid value for FAMILY_NAME on line 4."), None),
    ("long_font_name", ["-b", "-f", "F" * 5000], font(A), 1, said("Invalid value for -f."),
     None),
    # FontForge reads an SFD header line whole only below about 2,000 bytes.
    ("long_font_name_by_default", ["-f", "F" * 5000], font(A), 1,
     said("Invalid value for -f."), None),
    ("long_postscript_name_by_default", ["-p", "P" * 5000], font(A), 1,
     said("Invalid value for -p."), None),
    ("long_family_in_the_font_name", ["-b"],
     font(A, head="STARTFONT 2.1\nFONT -x-" + "F" * 1024 +
          "-medium-r-normal--16-160-75-75-c-80-iso10646-1\n" + HEAD[len("STARTFONT 2.1\n"):]),
     0, said("The FONT name's family is longer than 63 bytes: it is cut to them.") + report(1),
     {"familyname": "X " + "F" * 63 + " 8x16"}),
    ("family_past_the_bmp", ["-b"], font(A, head=props('FAMILY_NAME "Fo\U0001F600o"')), 1,
     said("Invalid value for FAMILY_NAME on line 4."), None),
    ("unknown_weight_word", ["-b"], font(A, head=props('WEIGHT_NAME "Gallant"')), 0, OK,
     {"weight": "Gallant", "SubFamily": "Gallant", "os2_weight": 400,
      "fontname": "f16-Gallant"}),
    ("strike_past_255_pixels", ["-s"], font(A, head=props("PIXEL_SIZE 300")), 1,
     said("A pixel size of 300 is past a strike's 255 on line 10."), None),
    # The default mode leaves out the backslash that would join the next line.
    ("default_family_ending_in_a_backslash", [], font(A, head=props("FAMILY_NAME Foo\\")), 0,
     report(1, named=False), {"familyname": "Foo", "fontname": "Foo", "weight": "Medium"}),
    ("default_names_ending_in_a_backslash", ["-f", "My\\", "-p", "Ps\\"], font(A), 0,
     report(1, named=False), {"familyname": "My", "fontname": "Ps", "weight": "Medium"}),
    ("names_for_every_option", ["-s", "-f", "My \"Font\"", "-p", "MyFont"],
     font(A, head=props('WEIGHT_NAME "bold"')), 0, OK,
     {"familyname": 'My "Font"', "fullname": 'My "Font" Bold', "fontname": "MyFont",
      "SubFamily": "Bold"}),
]


def read_back(sfd):
    """The header values FontForge reads from the SFD, and its glyphs."""
    f = fontforge.open(sfd)
    try:
        values = {key: getattr(f, key) for key in ("fontname", "fullname", "familyname", "weight",
                                                   "copyright", "version", "italicangle",
                                                   "ascent", "descent", "os2_xheight", "os2_weight",
                                                   "bitmapSizes")}
        values.update({kind: text for _, kind, text in f.sfnt_names})
        glyphs = [(g.glyphname, g.unicode) for g in f.glyphs()]
        return values, glyphs
    finally:
        f.close()


def check_fonts(sfd, strike, folder):
    """Problems of the TrueType font (and OTB) FontForge makes of the SFD."""
    problems = []
    f = fontforge.open(sfd)
    made = [(os.path.join(folder, "out.ttf"), "ttf")]
    if strike:
        made.append((os.path.join(folder, "out.otb"), "otb"))
    for path, kind in made:
        f.generate(path, bitmap_type=kind if kind == "otb" else "")
    f.close()
    for path, _ in made:
        tt = TTFont(path)
        for tag in tt.keys():
            tt[tag]  # loads and decompiles the table
        if "cmap" in tt and not tt.getBestCmap():
            problems.append(f"{path}: no glyph mapped")
    query = subprocess.run(["fc-query", "-f", "%{family[0]}|%{style[0]}", made[0][0]],
                           capture_output=True, text=True).stdout
    ff = fontforge.open(sfd)
    want = "|".join(n[2] for n in sorted(ff.sfnt_names, key=lambda n: n[1])
                    if n[1] in ("Family", "SubFamily"))
    ff.close()
    if query != want:
        problems.append(f"fc-query says {query!r}, not {want!r}")
    return problems


def main():
    tool = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        for name, options, data, status, stderr, values in CASES:
            sfd, problems = run_case(tool, options, data, status, stderr, scratch)
            if status == 0 and not problems:
                found, glyphs = read_back(sfd)
                for key, want in values.items():
                    if found.get(key) != want:
                        problems.append(f"{key} reads back as {found.get(key)!r}, not {want!r}")
                if glyphs != [("a", 97)]:
                    problems.append(f"glyphs {glyphs}")
                problems += check_fonts(sfd, "-s" in options, scratch)
            if problems:
                failures.append(f"{name}: " + "; ".join(problems))
    return summary(failures, len(CASES))


if __name__ == "__main__":
    sys.exit(main())
