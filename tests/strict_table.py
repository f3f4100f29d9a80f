#!/usr/bin/python3
"""Malformed, hostile and odd BDF files, one row each: the options, the
input, the exit status, what standard error says, and which glyphs
FontForge finds in what was written, (name, Unicode value) pairs, for
errors too: what came before an error must stay a font FontForge opens.

Run as: strict_table.py path/to/quadsmith
"""
import os
import re
import subprocess
import sys
import tempfile

import fontforge

HEAD = ("STARTFONT 2.1\nFONTBOUNDINGBOX 8 16 0 -2\nSTARTPROPERTIES 2\n"
        "FONT_ASCENT 14\nFONT_DESCENT 2\nENDPROPERTIES\n")  # lines 1 to 6
A = "STARTCHAR a\nENCODING 97\nBBX 1 1 0 0\nBITMAP\n80\nENDCHAR\n"  # six lines


def font(glyphs, chars=None, head=HEAD):
    """A font of the glyph blocks; CHARS counts them unless given.  The FONT
    and SIZE lines a font must give stand before CHARS unless head has them."""
    count = glyphs.count("STARTCHAR") if chars is None else chars
    needed = "".join(line for key, line in (("FONT ", "FONT f\n"), ("SIZE ", "SIZE 16 75 75\n"))
                     if "\n" + key not in "\n" + head)
    return f"{head}{needed}CHARS {count}\n{glyphs}ENDFONT\n"


def glyph(name, code, rows="80\n", box="1 1 0 0", extra=""):
    return f"STARTCHAR {name}\nENCODING {code}\nBBX {box}\n{extra}BITMAP\n{rows}ENDCHAR\n"


def two_charsets(named, registry, encoding):
    """A head whose FONT name names one charset and its properties another."""
    return (f"STARTFONT 2.1\nFONT -x-y-medium-r-normal--16-160-75-75-c-80-{named}\n"
            "FONTBOUNDINGBOX 8 16 0 -2\nSTARTPROPERTIES 2\n"
            f'CHARSET_REGISTRY "{registry}"\nCHARSET_ENCODING "{encoding}"\nENDPROPERTIES\n')


def report(glyphs, unencoded=0, named=True):
    """The run report; under -b it names the input."""
    tail = f", {unencoded} without a Unicode value" if unencoded else ""
    of = " of '[^']*'" if named else ""
    return rf"Processed {glyphs} glyphs{of} in [0-9]+\.[0-9]{{6}} seconds{re.escape(tail)}\.\n"


def said(text):
    """A message of the tool, an error or a note."""
    return "quadsmith: " + re.escape(text) + "\n"


NO_CHARSET = said("No charset named: the codes are taken as Unicode.")
TWENTY = "99999999999999999999"
a = [("a", 97)]

# name, options, input, status, standard error (a regular expression), glyphs or None
CASES = [
    # The structure.
    ("startchar_without_name", "-b", font(A + "STARTCHAR\nENCODING 98\n"), 1,
     said("Invalid value for STARTCHAR on line 16."), a),
    ("startchar_with_blanks_only", "-b", font(A + "STARTCHAR  \t\n"), 1,
     said("Invalid value for STARTCHAR on line 16."), a),
    ("endchar_outside_a_glyph", "-b", font(A + "ENDCHAR\n" + glyph("b", 98)), 1,
     said("Unexpected ENDCHAR on line 16."), a),
    ("bitmap_outside_a_glyph", "-b", font(A + "BITMAP\n"), 1,
     said("Unexpected BITMAP on line 16."), a),
    ("chars_twice", "-b", HEAD + "FONT f\nSIZE 16 75 75\nCHARS 1\nCHARS 1\n" + A + "ENDFONT\n", 1,
     said("Unexpected CHARS on line 10."), []),
    ("chars_inside_a_glyph", "-b", font(A + "STARTCHAR b\nCHARS 1\n"), 1,
     said("CHARS inside a glyph on line 17."), a),
    ("chars_after_the_glyphs", "-b", HEAD + A + "CHARS 1\nENDFONT\n", 1,
     said("Unexpected STARTCHAR on line 7."), None),
    ("chars_missing", "-b", HEAD + A + "ENDFONT\n", 1,
     said("Unexpected STARTCHAR on line 7."), None),
    ("properties_never_ended", "-b", "STARTFONT 2.1\nSTARTPROPERTIES 1\nCHARS 0\n", 1,
     said("End of input without ENDFONT on line 3."), None),
    ("encoding_between_rows", "-b",
     font(A + "STARTCHAR b\nENCODING 98\nBBX 1 2 0 0\nBITMAP\n80\nENCODING 98\n80\nENDCHAR\n"), 1,
     said("ENCODING inside a glyph on line 21."), a),
    ("bitmap_twice", "-b", font(A + "STARTCHAR b\nENCODING 98\nBBX 1 1 0 0\nBITMAP\nBITMAP\n"), 1,
     said("BITMAP inside a glyph on line 20."), a),
    ("encoding_twice", "-b", font(A + "STARTCHAR b\nENCODING 98\nENCODING 99\n"), 1,
     said("ENCODING twice in a glyph on line 18."), a),
    ("endchar_without_bitmap", "-b", font(A + "STARTCHAR b\nENCODING 98\nENDCHAR\n"), 1,
     said("ENDCHAR without BITMAP on line 18."), a),
    ("carriage_returns_alone", "-b", font(A).replace("\n", "\r"), 1,
     said("Carriage return inside a line on line 1."), None),
    ("lower_case_keywords", "-b", font(A).lower(), 1,
     said("Expected STARTFONT on line 1."), None),
    ("property_named_as_a_keyword", "-b",
     font(A, head=HEAD.replace("2\nFONT_ASCENT", "4\nCHARS 1\nSTARTCHAR \"x\"\nFONT_ASCENT")), 0,
     NO_CHARSET + report(1), a),
    ("comment_and_blank_lines_before_startfont", "-b", "COMMENT x\n\n" + font(A), 0,
     NO_CHARSET + report(1), a),
    ("nul_byte_in_a_row", "-b",
     font(A + glyph("b", 98, "FF\0FF\n", "16 1 0 0")), 1,
     said("NUL byte in a line on line 20."), a),
    ("nul_byte_after_endchar", "-b", font(A).replace("ENDCHAR\n", "ENDCHAR\0junk\n"), 1,
     said("NUL byte in a line on line 15."), None),
    ("nul_byte_in_a_comment", "-b", "STARTFONT 2.1\nCOMMENT a\0b\n", 1,
     said("NUL byte in a line on line 2."), None),
    ("cut_short_without_endfont", "-b", font(A).replace("ENDFONT\n", ""), 1,
     said("End of input without ENDFONT on line 15."), a),
    ("cut_inside_a_glyph", "-b",
     font(A + "STARTCHAR b\nENCODING 98\nBBX 1 1 0 0\nBITMAP\n80\n")[:-8], 1,
     said("End of input inside a glyph on line 20."), a),
    ("startchar_inside_a_glyph", "-b", font(A + "STARTCHAR b\nSTARTCHAR c\n"), 1,
     said("STARTCHAR inside a glyph on line 17."), a),
    ("text_after_endfont", "-b", font(A) + "\nCOMMENT fine\nmore\n", 1,
     said("Text after ENDFONT on line 19."), a),
    ("more_glyphs_than_chars", "-b", font(A + glyph("b", 98), chars=1), 1,
     said("More glyphs than CHARS gives on line 16."), a),
    ("fewer_glyphs_than_chars", "-b", font(A, chars=3), 0,
     NO_CHARSET + said("CHARS gives 3 glyphs, the file has 1.") + report(1), a),
    ("chars_before_the_font_box", "-b", "STARTFONT 2.1\nFONT f\nSIZE 16 75 75\nCHARS 1\n" + A
     + "ENDFONT\n", 1, said("No FONTBOUNDINGBOX before CHARS on line 4."), None),
    ("unknown_keyword_in_a_glyph", "-b", font(A + "STARTCHAR b\nWIDTH 8\n"), 1,
     said("Unknown keyword on line 17."), a),
    ("property_outside_the_properties", "-b", "STARTFONT 2.1\nFAMILY_NAME \"x\"\n", 1,
     said("Unexpected FAMILY_NAME on line 2."), None),
    # Values.
    ("chars_of_2147483647", "-b", font(A, chars=2147483647), 1,
     said("Invalid value for CHARS on line 9."), None),
    ("chars_past_the_code_points", "-b", font(A, chars=0x110001), 1,
     said("Invalid value for CHARS on line 9."), None),
    ("chars_not_a_number", "-b", font(A, chars="many"), 1,
     said("Invalid value for CHARS on line 9."), None),
    ("carriage_return_in_a_string", "-b",
     font(A, head=HEAD.replace("2\nFONT_ASCENT",
                               "3\nCOPYRIGHT \"(c) 2024\rBeginChars: 65536 1\"\nFONT_ASCENT")), 1,
     said("Carriage return inside a line on line 4."), None),
    ("control_character_in_a_string", "-b",
     font(A, head=HEAD.replace("2\nFONT_ASCENT", "3\nCOPYRIGHT \"a\x1bb\"\nFONT_ASCENT")), 1,
     said("Control character in a line on line 4."), None),
    ("unterminated_string", "-b",
     font(A, head=HEAD.replace("2\nFONT_ASCENT", "3\nFAMILY_NAME \"Test\nFONT_ASCENT")), 1,
     said("Invalid value for FAMILY_NAME on line 4."), None),
    ("advance_beyond_16_bits", "-b", font(A + glyph("b", 98, extra="DWIDTH 1000 0\n")), 1,
     said("Invalid value for DWIDTH on line 19."), a),
    ("box_of_32768_units", "-b",
     font(glyph("w", 119, "FFFFFFFF\n", "32 1 0 0"),
          head="STARTFONT 2.1\nSIZE 1 72 72\nFONTBOUNDINGBOX 32 1 0 0\n"), 1,
     said("Invalid value for BBX on line 8."), []),
    ("box_beyond_16_bits", "-b", font(A + glyph("b", 98, box="1 1 0 600")), 1,
     said("Invalid value for BBX on line 18."), a),
    ("same_unicode_value_twice", "-b", font(A + glyph("b", 97)), 0,
     NO_CHARSET + report(2, 1), [("a", 97), ("b", -1)]),
    ("surrogate", "-b", font(glyph("s", 55296)), 0, NO_CHARSET + report(1, 1), [("s", -1)]),
    ("past_the_code_points", "-b", font(glyph("p", 0x110000)), 0, NO_CHARSET + report(1, 1),
     [("p", -1)]),
    ("big5_codes_of_one_character", "-b",
     font(glyph("x", 0xA2CC) + glyph("y", 0xA451),
          head=HEAD.replace("2\nFONT_ASCENT", "4\nCHARSET_REGISTRY \"BIG5\"\n"
                            "CHARSET_ENCODING \"0\"\nFONT_ASCENT")), 0,
     report(2, 1), [("x", 0x5341), ("y", -1)]),
    ("empty_encoding", "-b", font(A + "STARTCHAR b\nENCODING\n"), 1,
     said("Invalid value for ENCODING on line 17."), a),
    ("encoding_of_three_numbers", "-b", font(A + "STARTCHAR b\nENCODING 1 2 3\n"), 1,
     said("Invalid value for ENCODING on line 17."), a),
    ("encoding_not_a_number", "-b", font(A + "STARTCHAR b\nENCODING abc\n"), 1,
     said("Invalid value for ENCODING on line 17."), a),
    ("encoding_of_20_digits", "-b", font(A + "STARTCHAR b\nENCODING " + TWENTY + "\n"), 1,
     said("Invalid value for ENCODING on line 17."), a),
    ("empty_font_ascent", "-b", font(A, head=HEAD.replace("FONT_ASCENT 14", "FONT_ASCENT")), 1,
     said("Invalid value for FONT_ASCENT on line 4."), None),
    ("font_ascent_9999", "-b", font(A, head=HEAD.replace("FONT_ASCENT 14", "FONT_ASCENT 9999")), 1,
     said("Invalid value for FONT_ASCENT on line 4."), None),
    ("bbx_of_five_numbers", "-b", font(A + "STARTCHAR b\nBBX 1 1 0 0 0\n"), 1,
     said("Invalid value for BBX on line 17."), a),
    ("dwidth_of_three_numbers", "-b", font(A + "STARTCHAR b\nDWIDTH 8 0 0\n"), 1,
     said("Invalid value for DWIDTH on line 17."), a),
    ("font_box_of_three_numbers", "-b", "STARTFONT 2.1\nFONTBOUNDINGBOX 8 16 0\n", 1,
     said("Invalid value for FONTBOUNDINGBOX on line 2."), None),
    ("blanks_after_every_value", "-b",
     font(A.replace("\n", " \t\n"),
          head=HEAD.replace("\n", " \n").replace("ENDPROPERTIES \n", "ENDPROPERTIES\n")), 0,
     NO_CHARSET + report(1), a),
    ("blank_after_a_glyph_name", "-b", font(A.replace("STARTCHAR a", "STARTCHAR a ")), 0,
     NO_CHARSET + report(1), a),
    ("row_not_hexadecimal", "-b", font(A + glyph("b", 98, "8G\n")), 1,
     said("Invalid bitmap row on line 20."), a),
    ("row_of_two_words", "-b", font(A + glyph("b", 98, "80 80\n")), 1,
     said("Invalid bitmap row on line 20."), a),
    ("row_empty", "-b", font(A + glyph("b", 98, "\n")), 1,
     said("Invalid bitmap row on line 20."), a),
    ("row_with_0x", "-b", font(A + glyph("b", 98, "0x80\n")), 1,
     said("Invalid bitmap row on line 20."), a),
    ("row_wider_than_its_box", "-b", font(A + glyph("b", 98, "800\n")), 1,
     said("Invalid bitmap row on line 20."), a),
    ("more_rows_than_the_box", "-b", font(A + glyph("b", 98, "80\n80\n")), 1,
     said("More bitmap rows than the glyph's height on line 21."), a),
    # Charsets.
    ("charset_from_the_font_name", "-b",
     font(glyph("space", 0xA140),
          head="STARTFONT 2.1\nFONT -x-y-medium-r-normal--16-160-75-75-c-80-Big5.ETen-0\n"
               "FONTBOUNDINGBOX 8 16 0 -2\n"), 0, report(1), [("space", 0x3000)]),
    ("jis_x_0213_plane_1", "-b",
     font(glyph("a", 0x2422) + glyph("ka", 0x2477),
          head="STARTFONT 2.1\nFONT -x-y-medium-r-normal--16-160-75-75-c-80-JISX0213.2004-1\n"
               "FONTBOUNDINGBOX 8 16 0 -2\n"), 0, report(2, 1), [("a", 0x3042), ("ka", -1)]),
    ("jis_x_0213_plane_2", "-b",
     font(glyph("k", 0x2121),
          head="STARTFONT 2.1\nFONTBOUNDINGBOX 8 16 0 -2\nSTARTPROPERTIES 2\n"
               "CHARSET_REGISTRY \"JISX0213.2000\"\nCHARSET_ENCODING \"2\"\nENDPROPERTIES\n"),
     0, report(1), [("k", 0x20089)]),
    ("unknown_charset_is_said_once_and_escaped", "-b",
     font(glyph("a", 65) + glyph("b!", 66),
          head="STARTFONT 2.1\nFONTBOUNDINGBOX 8 16 0 -2\nSTARTPROPERTIES 2\n"
               "CHARSET_REGISTRY \"N\xe9\"\nCHARSET_ENCODING \"9\"\nENDPROPERTIES\n"), 0,
     said("Unknown charset N\\xE9-9: its glyphs are mapped by their names, the others at "
          "U+F0000 + their code.") + report(2),
     [("a", 97), ("uF0042", 0xF0042)]),
    # Where no table knows the charset, glyph names give the Unicode values.
    ("unknown_charset_maps_by_names", "-b",
     font(glyph("uni0416", 1) + glyph("u1F600", 2) + glyph("Zhebrevecyrillic", 3) + glyph("uni0416", 4)
          + glyph("uniD800", 5) + glyph("u110000", 6) + glyph("notaname", 7),
          head="STARTFONT 2.1\nFONTBOUNDINGBOX 8 16 0 -2\nSTARTPROPERTIES 2\n"
               "CHARSET_REGISTRY \"3270cg\"\nCHARSET_ENCODING \"1\"\nENDPROPERTIES\n"), 0,
     said("Unknown charset 3270cg-1: its glyphs are mapped by their names, the others at "
          "U+F0000 + their code.") + report(7, 1),
     [("uni0416", 0x416), ("u1F600", 0x1F600), ("Zhebrevecyrillic", 0x4C1), ("glyph3", -1),
      ("uF0005", 0xF0005), ("uF0006", 0xF0006), ("notaname", 0xF0007)]),
    # A glyph of no width has rows of no digits, empty lines (hline10 has one).
    ("zero_width_glyph_has_empty_rows", "-b", font(glyph("z", 122, "\n\n", "0 2 0 0")), 0,
     NO_CHARSET + report(1), [("z", 122)]),
    # What the format requires, once each where it allows one.
    ("no_font_line", "-b", "STARTFONT 2.1\nSIZE 16 75 75\nFONTBOUNDINGBOX 8 16 0 -2\nCHARS 0\n"
     "ENDFONT\n", 1, said("No FONT before CHARS on line 4."), None),
    ("no_size_line", "-b", "STARTFONT 2.1\nFONT f\nFONTBOUNDINGBOX 8 16 0 -2\nCHARS 0\nENDFONT\n",
     1, said("No SIZE before CHARS on line 4."), None),
    ("font_box_twice", "-b", font(A, head=HEAD + "FONTBOUNDINGBOX 8 16 0 -2\n"), 1,
     said("FONTBOUNDINGBOX given twice on line 7."), None),
    ("font_twice", "-b", font(A, head=HEAD + "FONT f\nFONT g\n"), 1,
     said("FONT given twice on line 8."), None),
    ("size_twice", "-b", font(A, head=HEAD + "SIZE 16 75 75\nSIZE 16 75 75\n"), 1,
     said("SIZE given twice on line 8."), None),
    ("second_property_block", "-b",
     font(A, head=HEAD + "STARTPROPERTIES 1\nWEIGHT_NAME \"Bold\"\nENDPROPERTIES\n"), 1,
     said("STARTPROPERTIES given twice on line 7."), None),
    ("property_count_that_does_not_match", "-b", font(A, head=HEAD.replace("PROPERTIES 2", "PROPERTIES 3")),
     1, said("STARTPROPERTIES gives 3 properties, the block has 2 on line 6."), None),
    ("metricsset_7", "-b", font(A, head=HEAD + "METRICSSET 7\n"), 1,
     said("Invalid value for METRICSSET on line 7."), None),
    ("startfont_without_a_version", "-b", font(A, head=HEAD.replace("2.1", "banana")), 1,
     said("Invalid value for STARTFONT on line 1."), None),
    ("glyph_without_encoding", "-b", font(A + "STARTCHAR b\nBBX 1 1 0 0\nBITMAP\n80\nENDCHAR\n"),
     1, said("Glyph without ENCODING on line 18."), a),
    ("glyph_without_bbx", "-b", font(A + "STARTCHAR b\nENCODING 98\nBITMAP\n80\nENDCHAR\n"), 1,
     said("Glyph without BBX on line 18."), a),
    ("charset_registry_twice", "-b",
     font(A, head=HEAD.replace("2\nFONT_ASCENT", "4\nCHARSET_REGISTRY \"ISO8859\"\n"
                                "CHARSET_REGISTRY \"KOI8\"\nFONT_ASCENT")), 1,
     said("CHARSET_REGISTRY given twice on line 5."), None),
    ("charset_registry_of_70_characters", "-b",
     font(A, head=HEAD.replace("2\nFONT_ASCENT", "3\nCHARSET_REGISTRY \"" + "I" * 70
                                + "\"\nFONT_ASCENT")), 1,
     said("Invalid value for CHARSET_REGISTRY on line 4."), None),
    ("font_name_charset_wins", "-b",
     font(glyph("euro", 0xA4),
          head=two_charsets("ISO8859-15", "ISO8859", "1")), 0,
     said("The FONT name's charset ISO8859-15 is used, not the properties' ISO8859-1.")
     + report(1), [("euro", 0x20AC)]),
    ("charset_registry_of_63_characters_quoted", "-b",
     font(glyph("x1", 97), head=HEAD.replace("2\nFONT_ASCENT", "4\nCHARSET_REGISTRY \"" + "I" * 63
                                + "\"\nCHARSET_ENCODING \"1\"\nFONT_ASCENT")), 0,
     said(f"Unknown charset {'I' * 63}-1: its glyphs are at U+F0000 + their code.") + report(1),
     [("x1", 0xF0061)]),
    ("font_name_charset_past_63_bytes", "-b",
     font(glyph("x1", 97), head="STARTFONT 2.1\nFONT -x-y-medium-r-normal--16-160-75-75-c-80-" + "I" * 64
          + "-1\nFONTBOUNDINGBOX 8 16 0 -2\n"), 0,
     said("The FONT name's charset is longer than 63 bytes, so it is unknown: its glyphs are at "
          "U+F0000 + their code.") + report(1), [("x1", 0xF0061)]),
    # X takes the FONT name's charset; the properties of some fonts say another.
    ("properties_charset_unknown_font_name_known", "-b",
     font(glyph("be", 0xC2),
          head=two_charsets("KOI8-R", "GOST19768.74", "1")), 0,
     said("The FONT name's charset KOI8-R is used, not the properties' GOST19768.74-1.")
     + report(1), [("be", 0x431)]),
    # Names and numbers the fonts FontForge makes can't hold.
    ("glyph_named_notdef", "-b", font(glyph(".notdef", 70)), 0, NO_CHARSET + report(1),
     [("uni0046", 70)]),
    ("strike_offset_past_8_bits", "-s", font(A + glyph("b", 98, box="1 1 200 0")), 1,
     said("Glyph b does not fit a strike: BBX's offsets (left and top) must be -128 to 127 pixels"
          " on line 18."), a),
    ("strike_top_past_8_bits", "-s", font(A + glyph("b", 98, box="1 1 0 -150")), 1,
     said("Glyph b does not fit a strike: BBX's offsets (left and top) must be -128 to 127 pixels"
          " on line 18."), a),
    ("strike_advance_past_8_bits", "-s", font(A + glyph("b", 98, extra="DWIDTH 300 0\n")), 1,
     said("Glyph b does not fit a strike: DWIDTH must be 0 to 255 pixels on line 19."), a),
    ("strike_properties_named_as_its_keywords", "-s",
     font(A, head=HEAD.replace("2\nFONT_ASCENT", "4\nBDFEndProperties 1\nEndBitmapFont \"x\"\n"
                                "FONT_ASCENT")), 0,
     NO_CHARSET + said("2 properties named like keywords of FontForge's strike are left out of it.")
     + report(1), a),
    # The options of -b.
    ("identity_values_beyond_any_font", "-b",
     font(A, head=HEAD.replace("2\nFONT_ASCENT", "3\nWEIGHT_NAME \"" + "w" * 64 + "\"\nFONT_ASCENT")),
     1, said("Invalid value for WEIGHT_NAME on line 4."), None),
    ("pixel_size_beyond_any_font", "-b",
     font(A, head=HEAD.replace("2\nFONT_ASCENT", "3\nPIXEL_SIZE 2000\nFONT_ASCENT")), 1,
     said("Invalid value for PIXEL_SIZE on line 4."), None),
    ("unknown_metrics_said_as_minus_one", "-b",
     font(A, head=HEAD.replace("2\nFONT_ASCENT", "4\nX_HEIGHT -1\nCAP_HEIGHT 0\nFONT_ASCENT")), 0,
     NO_CHARSET + report(1), a),
    ("postscript_name_not_valid", "-b -p a[b]", font(A), 1, said("Invalid value for -p."),
     None),
    ("strike_after_the_glyphs", "-s -m", font(A + glyph("b", 98)), 0, NO_CHARSET + report(2),
     [("a", 97), ("b", 98)]),
    # FontForge can't write a strike of no glyph.
    ("size_of_no_glyph_gives_no_strike", "-s", font(""), 0,
     NO_CHARSET + said("No glyphs, so no strike of this size.") + report(0), []),
    # Both modes.
    ("default_glyph_without_a_name", "", "FONTBOUNDINGBOX 8 16 0 -2\nCHARS 2\n"
     "STARTCHAR\nENCODING 97\nBITMAP\n80\nENDCHAR\nSTARTCHAR b\nENCODING 98\nBITMAP\n80\n"
     "ENDCHAR\n", 0, report(2, named=False), [("_unnamed.0", 97), ("b", 98)]),
    # FontForge reads 98 bytes of a glyph name: longer ones stay apart.
    ("default_glyph_names_past_98_bytes", "", "FONTBOUNDINGBOX 8 16 0 -2\nCHARS 2\n"
     + "".join(f"STARTCHAR {'b' * 100}{x}\nENCODING {97 + i}\nBITMAP\n80\nENDCHAR\n"
               for i, x in enumerate(("", "x"))), 0, report(2, named=False),
     [("b" * 77 + ".0", 97), ("b" * 77 + ".1", 98)]),
    ("default_font_box_of_20_digits", "",
     f"FONTBOUNDINGBOX {TWENTY[:-1]}8 {TWENTY[:-1]}0 0 -2\n", 1,
     said("Invalid value for FONTBOUNDINGBOX."), None),
    ("default_font_ascent_of_20_digits", "", f"FONT_ASCENT {TWENTY[:-1]}6\n", 1,
     said("Invalid value for FONT_ASCENT."), None),
]


def opened_glyphs(sfd_path):
    """The (name, Unicode value) pairs FontForge finds."""
    f = fontforge.open(sfd_path)
    try:
        return sorted((g.glyphname, g.unicode) for g in f.glyphs())
    finally:
        f.close()


def run_case(tool, args, data, status, stderr, folder):
    """Runs the tool on data (bytes as they stand, or text) into an SFD in
    folder; returns the SFD's path and how the status and standard error
    differ from those wanted."""
    bdf, sfd = os.path.join(folder, "in.bdf"), os.path.join(folder, "out.sfd")
    with open(bdf, "wb") as out:
        out.write(data if isinstance(data, bytes)
                  else data.encode("latin-1") if "\xe9" in data else data.encode())
    with open(sfd, "wb") as out:
        # A case that hangs fails instead of holding up the run.
        run = subprocess.run([tool, *args, bdf], stdout=out, stderr=subprocess.PIPE,
                             env={"SOURCE_DATE_EPOCH": "0"}, timeout=300)
    err = run.stderr.decode("latin-1")
    problems = []
    if run.returncode != status:
        problems.append(f"status {run.returncode}, not {status}")
    if not re.fullmatch(stderr, err):
        problems.append(f"standard error {err!r}")
    return sfd, problems


def summary(failures, cases):
    """Prints the failures and the count; returns the exit status."""
    for failure in failures:
        print(failure)
    print(f"{cases - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


def main():
    tool = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        for name, options, text, status, stderr, glyphs in CASES:
            sfd, problems = run_case(tool, options.split(), text, status, stderr, scratch)
            if glyphs is not None:
                found = opened_glyphs(sfd) if os.path.getsize(sfd) else None
                if found != sorted(glyphs):
                    problems.append(f"FontForge finds {found}, not {sorted(glyphs)}")
            if problems:
                failures.append(f"{name}: " + "; ".join(problems))
        # SOURCE_DATE_EPOCH of 20 digits is ignored, as any out-of-range value.
        bdf = os.path.join(scratch, "in.bdf")
        with open(bdf, "w") as out:
            out.write("CHARS 0\n")
        run = subprocess.run([tool, bdf], capture_output=True, text=True,
                             env={"SOURCE_DATE_EPOCH": TWENTY})
        created = re.search(r"CreationTime: (\d+)", run.stdout)
        if not created or int(created.group(1)) < 1700000000:
            failures.append(f"source_date_epoch_of_20_digits: {created and created.group(0)}")
    return summary(failures, len(CASES) + 1)


if __name__ == "__main__":
    sys.exit(main())
