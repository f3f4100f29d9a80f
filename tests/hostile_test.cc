// Hostile and broken input, and hostile surroundings: nothing may crash,
// hang or be reported as a success when it failed.

#include <gtest/gtest.h>
#include <string>

#include "test_util.h"

namespace {

using namespace std::string_literals;

const std::string report = "Processed [0-9]+ glyphs in [0-9]+\\.[0-9]{6} seconds\\.\n";
const std::string bbox_error = "quadsmith: Invalid value for FONTBOUNDINGBOX\\.\n";
const std::string ascent_error = "quadsmith: Invalid value for FONT_ASCENT\\.\n";
const std::string descent_error = "quadsmith: Invalid value for FONT_DESCENT\\.\n";
const std::string thirty = "123456789012345678901234567890";

// Bytes of every value in a fixed pseudo-random order, with no line feed
// before a keyword could form.
std::string garbage() {
  std::string bytes;
  uint32_t state = 12345;
  for (int i = 0; i < 100000; i++) {
    state = state * 1103515245u + 12345u;
    bytes += static_cast<char>(state >> 23);
  }
  return bytes;
}

// A glyph of 64 full rows in a 32 by 64 cell: about 270 KB of SFD.
std::string full_glyph() {
  std::string bdf = "FONTBOUNDINGBOX 32 64 0 0\nSTARTCHAR full\nENCODING 1\nBITMAP\n";
  for (int r = 0; r < 64; r++)
    bdf += "FFFFFFFF\n";
  return bdf + "ENDCHAR\n";
}

INSTANTIATE_TEST_SUITE_P(
    hostile, command_line,
    testing::Values(
        cli_case{"binary_garbage", "\"$Q\" font.bdf", garbage(), sfd_end, report, 0},
        cli_case{"nul_bytes", "\"$Q\" font.bdf",
                 "\0\0\0\nSTARTCHAR a\0b\nENCODING\0 1\nBITMAP\0\n\0FF\nENDCHAR\0\n"s,
                 "StartChar: a" + sfd_preamble + sfd_glyph_end + sfd_end, report, 0},
        cli_case{"carriage_returns_stop_at_the_ascent", "\"$Q\" font.bdf",
                 "STARTFONT 2.1\r\nFONTBOUNDINGBOX 8 16 0 -2\r\nFONT_ASCENT 14\r\nCHARS 1\r\n", "",
                 ascent_error, 1},
        cli_case{"line_of_100_mb_without_line_feed",
                 "head -c 100000000 /dev/zero | tr \"\\0\" A | \"$Q\" -", "", sfd_end, report, 0},
        cli_case{"cut_off_inside_a_glyph", "\"$Q\" font.bdf",
                 "FONTBOUNDINGBOX 8 16 0 0\nSTARTCHAR a\nENCODING 97\nBITMAP\n00\n8",
                 "StartChar: a\nEncoding: 97 97 97\n" + sfd_preamble +
                     "256.000000 -64.000000 m 1\n 256.000000 -128.000000 l 1\n"
                     " 320.000000 -128.000000 l 1\n 320.000000 -64.000000 l 1\n"
                     " 256.000000 -64.000000 l 1\n" +
                     sfd_end,
                 report, 0},
        cli_case{"width_33", "\"$Q\" font.bdf", "FONTBOUNDINGBOX 33 16 0 0\n", "", bbox_error, 1},
        cli_case{"height_65", "\"$Q\" font.bdf", "FONTBOUNDINGBOX 8 65 0 0\n", "", bbox_error, 1},
        cli_case{"negative_width", "\"$Q\" font.bdf", "FONTBOUNDINGBOX -8 16 0 0\n", "", bbox_error,
                 1},
        cli_case{"ascent_65", "\"$Q\" font.bdf", "FONT_ASCENT 65\n", "", ascent_error, 1},
        cli_case{"descent_negative", "\"$Q\" font.bdf", "FONT_DESCENT -1\n", "", descent_error, 1},
        cli_case{"width_of_30_digits", "\"$Q\" font.bdf", "FONTBOUNDINGBOX " + thirty + " 16 0 0\n",
                 "", bbox_error, 1},
        cli_case{"ascent_of_30_digits", "\"$Q\" font.bdf", "FONT_ASCENT " + thirty + "\n", "",
                 ascent_error, 1},
        cli_case{"descent_of_30_digits", "\"$Q\" font.bdf", "FONT_DESCENT -" + thirty + "\n", "",
                 descent_error, 1},
        cli_case{"encoding_of_30_digits", "\"$Q\" font.bdf", "ENCODING " + thirty + "\n",
                 "\nEncoding: " + thirty + " " + thirty + " " + thirty + "\n" + sfd_end, report, 0},
        cli_case{"row_of_30_digits", "\"$Q\" font.bdf",
                 "FONTBOUNDINGBOX 1 1 0 0\nBITMAP\n" + thirty + "\n",
                 sfd_preamble +
                     "0.000000 0.000000 m 1\n 0.000000 -1024.000000 l 1\n"
                     " 512.000000 -1024.000000 l 1\n 512.000000 0.000000 l 1\n"
                     " 0.000000 0.000000 l 1\n" +
                     sfd_end,
                 report, 0},
        cli_case{"output_closed", "\"$Q\" font.bdf >&-", full_glyph(), "",
                 "Can't write SFD output: Bad file descriptor\n", 1, false},
        cli_case{"output_full", "\"$Q\" font.bdf > /dev/full", full_glyph(), "",
                 "Can't write SFD output: No space left on device\n", 1},
        cli_case{"fatal_after_output_full", "\"$Q\" font.bdf > /dev/full",
                 full_glyph() + "FONT_ASCENT 99\n", "", ascent_error, 1},
        // The pipe's reader leaving ends the tool by SIGPIPE, without a word;
        // where SIGPIPE is ignored, the failed write is reported.
        cli_case{"pipe_closed_early",
                 "(\"$Q\" font.bdf; echo \"status $?\" >&2) | head -c 100 > /dev/null",
                 full_glyph(), "", "status 141\n|Can't write SFD output: Broken pipe\nstatus 1\n",
                 0},
        cli_case{"directory", "\"$Q\" .", "", "", "Can't read BDF file: Is a directory\n", 1},
        cli_case{"missing_file", "\"$Q\" missing.bdf", "", "",
                 "Can't open BDF file: No such file or directory\n", 1},
        cli_case{"unreadable_stdin", "\"$Q\" - <&-", "", "",
                 "Can't read BDF file: Bad file descriptor\n|Can't stat BDF file: Bad file "
                 "descriptor\n",
                 1}),
    [](const testing::TestParamInfo<cli_case> &info) { return info.param.name; });

} // namespace
