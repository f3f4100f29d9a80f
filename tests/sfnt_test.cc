// Fonts written directly (-T ttf, otf, otb).

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

#include "test_util.h"

namespace {

const std::string font = well_formed("FONT -misc-t-medium-r-normal--8-80-75-75-c-40-iso10646-1\n"
                                     "FONTBOUNDINGBOX 4 8 0 -2\nFONT_ASCENT 6\nFONT_DESCENT 2\n"
                                     "STARTCHAR A\nENCODING 65\nDWIDTH 4 0\nBBX 3 3 0 0\nBITMAP\n"
                                     "E0\nA0\nE0\nENDCHAR\n");
const std::string no_glyph =
    well_formed("FONT -misc-t-medium-r-normal--8-80-75-75-c-40-iso10646-1\n"
                "FONTBOUNDINGBOX 4 8 0 -2\nFONT_ASCENT 6\nFONT_DESCENT 2\n");
const std::string report = report_pattern("1", "[a-z.-]+") + "\\.\n";
// The font with an advance no font holds, and the line that gives it.
const std::string backwards = [] {
  std::string text = font;
  text.replace(text.find("DWIDTH 4"), 8, "DWIDTH -4");
  return text;
}();
const std::string backwards_line = std::to_string(
    std::count(backwards.begin(), backwards.begin() + backwards.find("DWIDTH"), '\n') + 1);

// The sfnt's first bytes: version 1.0 and ten tables.
const std::string sfnt_start = std::string("\0\1\0\0\0\12", 6);

INSTANTIATE_TEST_SUITE_P(
    direct, command_line,
    testing::Values(
        cli_case{"ttf_made", "\"$Q\" -T ttf font.bdf | head -c 6", font, sfnt_start, report, 0},
        cli_case{"same_bytes_twice",
                 "export SOURCE_DATE_EPOCH=0; for t in ttf otf; do \"$Q\" -T $t -o a font.bdf "
                 "2>/dev/null; sleep 1; \"$Q\" -T $t font.bdf 2>/dev/null | cmp - a && echo same; "
                 "done",
                 font, "same\nsame\n", "", 0},
        // CFF outlines: OTTO and nine tables.
        cli_case{"otf_made", "\"$Q\" -T otf font.bdf | head -c 6", font,
                 std::string("OTTO\0\11", 6), report, 0},
        cli_case{"font_of_no_glyph_refused",
                 "\"$Q\" -T otf -o none.otf font.bdf; echo $?; test -e none.otf || echo none",
                 no_glyph, "1\nnone\n", "quadsmith: The BDF has no glyph to make a font of\\.\n",
                 0},
        cli_case{"other_formats_refused", "\"$Q\" -T woff font.bdf", font, "",
                 "quadsmith: Invalid value for -T: ttf, otf, otb and woff2 are the formats "
                 "made\\.\n",
                 1},
        // WOFF 2.0: its signature and flavour, the same bytes twice, and no strikes.
        cli_case{"woff2_made",
                 "export SOURCE_DATE_EPOCH=0; \"$Q\" -T woff2 -o a font.bdf; head -c 8 a; "
                 "\"$Q\" -T woff2 font.bdf 2>/dev/null | cmp - a && echo same",
                 font, "wOF2OTTOsame\n", report, 0},
        cli_case{"woff2_without_strikes", "\"$Q\" -s -T woff2 font.bdf", font, "",
                 "quadsmith: -s makes strikes, which a WOFF2 does not carry: use -T otb or -T otf "
                 "-s\\.\n",
                 1},
        // An OTB has eleven tables, no glyf or loca; a TrueType font with
        // strikes thirteen.
        cli_case{"otb_made", "\"$Q\" -T otb font.bdf | head -c 6", font,
                 std::string("\0\1\0\0\0\13", 6), report, 0},
        cli_case{"ttf_with_strikes_made", "\"$Q\" -s -T ttf font.bdf | head -c 6", font,
                 std::string("\0\1\0\0\0\15", 6), report, 0},
        cli_case{"not_to_a_terminal",
                 "script -qec '\"$Q\" -T ttf font.bdf' /dev/null < /dev/null | tr -d '\\r'", font,
                 "quadsmith: A font is not written to a terminal: use -o or a redirection.\n", "",
                 0, false},
        cli_case{"failure_leaves_the_target",
                 "echo old > t.ttf; sed 's/E0/G0/' font.bdf > bad.bdf; \"$Q\" -T ttf -o t.ttf "
                 "bad.bdf; echo $?; cat t.ttf",
                 font, "1\nold\n", "quadsmith: Invalid bitmap row on line [0-9]+\\.\n", 0},
        // What is no BDF is named as what it is.
        cli_case{"pcf_named", "printf '\\001fcp\\0\\0' > f.pcf; \"$Q\" -T ttf f.pcf", font, "",
                 "quadsmith: 'f.pcf' is a PCF font, not a BDF: convert it with pcf2bdf first\\.\n",
                 1},
        cli_case{"gzip_named", "gzip -c font.bdf > f.gz; \"$Q\" -T ttf f.gz", font, "",
                 "quadsmith: 'f.gz' is compressed with gzip: .*\n", 1},
        cli_case{"empty_named", "\"$Q\" -T otb font.bdf", "", "",
                 "quadsmith: 'font.bdf' is empty\\.\n", 1},
        // What a message names under -T: the line at fault, the font file,
        // the outline spool; an OTB, whose strikes are in memory, needs none.
        cli_case{"negative_advance_names_its_line", "\"$Q\" -T ttf font.bdf", backwards, "",
                 "quadsmith: A font's advances are 0 to 65,535 units on line " + backwards_line +
                     "\\.\n",
                 1},
        cli_case{"fifo_without_reader_is_a_font_file",
                 "mkfifo f.otf; \"$Q\" -T otf -o f.otf font.bdf", font, "",
                 "Can't create font file 'f.otf': No process reads the FIFO\\.\n", 1},
        cli_case{"outline_spool_named", "TMPDIR=/nonexistent \"$Q\" -T ttf font.bdf", font, "",
                 "Can't create the outline spool in '/nonexistent': No such file or directory\n",
                 1, false},
        cli_case{"otb_needs_no_temporary_file",
                 "TMPDIR=/nonexistent \"$Q\" -T otb font.bdf | head -c 6", font,
                 std::string("\0\1\0\0\0\13", 6), report, 0, false},
        cli_case{
            "second_operand_refused", "\"$Q\" -T ttf font.bdf font.bdf", font, "",
            "quadsmith: A font is made of one BDF file; with -s the files are the sizes of one "
            "face\\.\n",
            1}),
    [](const testing::TestParamInfo<cli_case> &info) { return info.param.name; });

} // namespace
