#include "main.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>
#include <string>

#include "test_util.h"

namespace {

const std::string usage =
    "quadsmith [-bhmsv] [-f name] [-o file] [-p name] [-T format] font.bdf ...\n"
    "\n"
    "The options are as follows:\n"
    "\n"
    "\t-f name\tSpecify font name.\n"
    "\t-o file\tWrite the SFD to file.\n"
    "\t-p name\tSpecify PostScript font name.\n"
    "\t-b\tKeep the glyph geometry and text of the BDF.\n"
    "\t-m\tMerge the pixels of each shape into one outline.\n"
    "\t-s\tAdd the bitmaps as a strike, one for each size given (implies -b).\n"
    "\t-T format\tWrite a ttf, otf, otb or woff2 font instead of the SFD (implies -b).\n"
    "\t-h\tDisplay usage.\n"
    "\t-v\tDisplay version.\n";
const std::string version = "quadsmith 1.2.0\n";
const std::string glyph_bdf = "FONTBOUNDINGBOX 8 16 0 0\nSTARTCHAR a\nENCODING 97\nBITMAP\n"
                              "80\nENDCHAR\n";
const std::string glyph_sfd = "StartChar: a\nEncoding: 97 97 97\nWidth: 512\nFlags: HW\n"
                              "LayerCount: 2\nFore\nSplineSet\n"
                              "0.000000 0.000000 m 1\n 0.000000 -64.000000 l 1\n"
                              " 64.000000 -64.000000 l 1\n 64.000000 0.000000 l 1\n"
                              " 0.000000 0.000000 l 1\nEndSplineSet\nEndChar\n\n" +
                              sfd_end;
const std::string one_report = report_pattern("1") + "\\.\n";
const std::string zero_report = report_pattern("0") + "\\.\n";

TEST_P(command_line, prints_and_exits_as_documented) {
  const cli_case &c = GetParam();
  if (!c.wrapped && std::getenv("QUADSMITH_TEST_WRAPPER") != nullptr)
    GTEST_SKIP() << "the case needs the tool run directly";
  write_file(scratch_dir() + "/font.bdf", c.input);
  const run_result r = run_shell(c.command, c.input);
  EXPECT_EQ(r.out, c.out);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(c.err))) << "stderr: " << r.err;
  EXPECT_EQ(r.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    cases, command_line,
    testing::Values(
        cli_case{"no_arguments", "\"$Q\"", "", usage, "", 0},
        cli_case{"help", "\"$Q\" -h", "", usage, "", 0},
        cli_case{"version", "\"$Q\" -v", "", version, "", 0},
        cli_case{"version_then_help", "\"$Q\" -v -h", "", version, "", 0},
        cli_case{"help_then_version", "\"$Q\" -h -v", "", usage, "", 0},
        cli_case{"grouped", "\"$Q\" -vh", "", version, "", 0},
        cli_case{"help_reads_no_file", "\"$Q\" -f x -h missing.bdf", "", usage, "", 0},
        cli_case{"option_after_operand_is_ignored", "\"$Q\" font.bdf -v", glyph_bdf, glyph_sfd,
                 one_report, 0},
        // Under -b and -s an option behind a font file is refused, never
        // ignored or opened as a file.
        cli_case{"option_after_operand_is_refused_under_b",
                 "\"$Q\" -b font.bdf -o x.sfd; echo $?; \"$Q\" -s font.bdf -m; echo $?; ls x.sfd",
                 glyph_bdf, "1\n1\n", "(quadsmith: options go before the font files\n){2}ls: .*\n",
                 2},
        cli_case{"double_hyphen", "\"$Q\" -- -", glyph_bdf, glyph_sfd, one_report, 0},
        cli_case{"standard_input", "\"$Q\" - font.bdf", glyph_bdf, glyph_sfd, one_report, 0},
        cli_case{"unknown_option", "\"$Q\" -x font.bdf", glyph_bdf, glyph_sfd,
                 ".*invalid option.*\n" + one_report, 0},
        cli_case{"option_argument_missing", "\"$Q\" -f", "", usage, ".*requires an argument.*\n",
                 0},
        cli_case{"option_argument_is_an_option", "\"$Q\" -f -p", "", usage, "", 0},
        cli_case{"missing_file", "\"$Q\" missing.bdf", "", "",
                 "Can't open BDF file: No such file or directory\n", 1},
        cli_case{"empty_input", "\"$Q\" font.bdf", "", sfd_end, zero_report, 0},
        cli_case{"directory", "\"$Q\" /tmp", "", "", "Can't read BDF file: Is a directory\n", 1},
        cli_case{"output_full", "\"$Q\" font.bdf > /dev/full", glyph_bdf, "",
                 "Can't write SFD output: No space left on device\n", 1},
        cli_case{"output_closed", "\"$Q\" font.bdf >&-", glyph_bdf, "",
                 "Can't write SFD output: Bad file descriptor\n", 1, false},
        cli_case{"fatal_keeps_earlier_output", "\"$Q\" font.bdf",
                 "STARTCHAR a\nFONT_ASCENT 99\nSTARTCHAR b\n", "StartChar: a",
                 "quadsmith: Invalid value for FONT_ASCENT\\.\n", 1},
        cli_case{"fatal_names_the_invocation", "cp \"$Q\" ./renamed && ./renamed font.bdf",
                 "FONTBOUNDINGBOX 40 16 0 0\n", "",
                 "renamed: Invalid value for FONTBOUNDINGBOX\\.\n", 1, false},
        cli_case{"unended_glyph_stays_open", "\"$Q\" font.bdf", "STARTCHAR x\n",
                 "StartChar: x" + sfd_end, zero_report, 0}),
    [](const testing::TestParamInfo<cli_case> &info) { return info.param.name; });

TEST(command_line, later_name_options_replace_earlier_ones) {
  const run_result r = run_shell("\"$Q\" -f A -f B -p C -p D -", "CHARS 0\n");
  EXPECT_NE(r.out.find("FontName: D\nFullName: B\nFamilyName: B\n"), std::string::npos);
  const run_result attached = run_shell("\"$Q\" -fName -pPs -", "CHARS 0\n");
  EXPECT_NE(attached.out.find("FontName: Ps\nFullName: Name\n"), std::string::npos);
}

// The converted sample and test fonts must match their stored SFD to the byte.
TEST(golden, files_convert_to_their_stored_sfd) {
  for (const char *name : {"tiny", "edge"}) {
    const run_result r =
        run_shell(std::string("SOURCE_DATE_EPOCH=1234567890 \"$Q\" \"$DATA/") + name + ".bdf\"");
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_TRUE(r.out == read_file(std::string(QUADSMITH_DATA "/") + name + ".sfd")) << name;
  }
}

} // namespace
