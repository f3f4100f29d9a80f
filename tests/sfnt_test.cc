// Fonts written directly (-T ttf, otf, otb).

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "cff.h"

#include "test_util.h"

namespace {

const std::string font = well_formed("FONT -misc-t-medium-r-normal--8-80-75-75-c-40-iso10646-1\n"
                                     "FONTBOUNDINGBOX 4 8 0 -2\nFONT_ASCENT 6\nFONT_DESCENT 2\n"
                                     "STARTCHAR A\nENCODING 65\nDWIDTH 4 0\nBBX 3 3 0 0\nBITMAP\n"
                                     "E0\nA0\nE0\nENDCHAR\n");
const std::string no_glyph =
    well_formed("FONT -misc-t-medium-r-normal--8-80-75-75-c-40-iso10646-1\n"
                "FONTBOUNDINGBOX 4 8 0 -2\nFONT_ASCENT 6\nFONT_DESCENT 2\n");
const std::string report = "Processed 1 glyphs of '[a-z.-]+' in [0-9.]+ seconds\\.\n";

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
        // CFF outlines: OTTO and nine tables, twelve with strikes.
        cli_case{"otf_made", "\"$Q\" -T otf font.bdf | head -c 6", font,
                 std::string("OTTO\0\11", 6), report, 0},
        cli_case{"otf_with_strikes_made", "\"$Q\" -s -T otf font.bdf | head -c 6", font,
                 std::string("OTTO\0\14", 6), report, 0},
        cli_case{"font_of_no_glyph_refused",
                 "\"$Q\" -T otf -o none.otf font.bdf; echo $?; test -e none.otf || echo none",
                 no_glyph, "1\nnone\n",
                 "Processed 0 glyphs .*\nquadsmith: The BDF has no glyph to make a font of\\.\n",
                 0},
        cli_case{"other_formats_refused", "\"$Q\" -T woff font.bdf", font, "",
                 "quadsmith: Invalid value for -T: ttf, otf and otb are the formats made\\.\n", 1},
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
                 font, "1\nold\n", "quadsmith: Invalid bitmap row on line [0-9]+\\.\n", 0}),
    [](const testing::TestParamInfo<cli_case> &info) { return info.param.name; });

// Contours as the tracer gives them, clockwise squares: what the CFF
// writer keeps of them, contours after joining and distinct bodies.
struct contours_case {
  const char *name;
  std::vector<int16_t> xs, ys;
  std::vector<uint16_t> ends;
  size_t contours, bodies;
};

class cff_contours : public testing::TestWithParam<contours_case> {};

TEST_P(cff_contours, join_at_corners_and_keep_bodies_once) {
  const contours_case &c = GetParam();
  cff_state cff;
  ASSERT_TRUE(cff_open(cff, true));
  cff_take(cff, c.xs.data(), c.ys.data(), c.ends.data(), c.ends.size());
  output_flush(cff.spool);
  uint16_t kept = 0;
  std::memcpy(&kept, cff.spool_text.data(), sizeof kept);
  EXPECT_EQ(kept, c.contours);
  EXPECT_EQ(cff.uses.size(), c.bodies);
  cff_close(cff);
}

INSTANTIATE_TEST_SUITE_P(
    cff, cff_contours,
    testing::Values(
        contours_case{
            "apart_and_alike", {0, 0, 1, 1, 3, 3, 4, 4}, {0, 1, 1, 0, 0, 1, 1, 0}, {3, 7}, 2, 1},
        contours_case{"touching_at_a_corner",
                      {0, 0, 1, 1, 1, 1, 2, 2},
                      {0, 1, 1, 0, 1, 2, 2, 1},
                      {3, 7},
                      1,
                      1},
        contours_case{"three_in_a_diagonal",
                      {0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3},
                      {0, 1, 1, 0, 1, 2, 2, 1, 2, 3, 3, 2},
                      {3, 7, 11},
                      1,
                      1},
        contours_case{"empty", {}, {}, {}, 0, 0}),
    [](const testing::TestParamInfo<contours_case> &info) { return info.param.name; });

} // namespace
