// Several sizes of one face in one font (-s with several operands).

#include <gtest/gtest.h>
#include <regex>
#include <string>

#include "test_util.h"

namespace {

const std::string font = "STARTFONT 2.1\nFONT f\nSIZE 16 75 75\nFONTBOUNDINGBOX 8 16 0 -2\n"
                         "STARTPROPERTIES 5\nFAMILY_NAME \"T\"\nWEIGHT_NAME \"Medium\"\n"
                         "PIXEL_SIZE 16\nFONT_ASCENT 14\nFONT_DESCENT 2\nENDPROPERTIES\nCHARS 1\n"
                         "STARTCHAR a\nENCODING 97\nBBX 1 1 0 0\nBITMAP\n80\nENDCHAR\nENDFONT\n";
// Variants of the font: another size with a glyph the first lacks, another
// weight, the same size again.
const std::string variants =
    "sed 's/PIXEL_SIZE 16/PIXEL_SIZE 8/; s/STARTCHAR a/STARTCHAR b/; s/ENCODING 97/ENCODING 98/' "
    "font.bdf > small.bdf; sed 's/Medium/Bold/; s/PIXEL_SIZE 16/PIXEL_SIZE 8/' font.bdf > "
    "bold.bdf; cp font.bdf again.bdf; rm -rf d; mkdir d; echo old > d/out.sfd; ";
const std::string report = report_pattern("1", "[a-z]+\\.bdf");

INSTANTIATE_TEST_SUITE_P(
    sizes, command_line,
    testing::Values(
        cli_case{"make_one_font_with_a_strike_each",
                 variants + "\"$Q\" -s -o d/out.sfd font.bdf small.bdf; echo $?; grep -E "
                            "'^(FamilyName|StartChar|Encoding: [0-9]|Width|BitmapFont)' d/out.sfd",
                 font,
                 "0\nFamilyName: T\nStartChar: a\nEncoding: 97 97 0\nWidth: 512\n"
                 "StartChar: b\nEncoding: 98 98 1\nWidth: 1024\n"
                 "BitmapFont: 16 1 14 2 1\nBitmapFont: 8 1 7 1 1\n",
                 "quadsmith: 'font.bdf': No charset named: the codes are taken as Unicode\\.\n" +
                     report +
                     "\\.\nquadsmith: 'small.bdf': No charset named: the codes are taken as "
                     "Unicode\\.\nquadsmith: 'small.bdf': Its advance of 8 and line of 16 pixels "
                     "are not the first size's scaled to its size \\(4 and 8\\): Pango and "
                     "HarfBuzz lay it out with those\\.\n" +
                     report + ", 1 not in the first size, given records of their own\\.\n",
                 0},
        cli_case{"refuse_another_weight",
                 variants + "\"$Q\" -s -o d/out.sfd font.bdf bold.bdf 2>&1 >/dev/null | tail -1; "
                            "cat d/out.sfd; ls -A d",
                 font,
                 "quadsmith: 'bold.bdf': WEIGHT_NAME \"Bold\" differs from \"Medium\" of "
                 "'font.bdf'.\nold\nout.sfd\n",
                 "", 0},
        cli_case{"refuse_a_size_twice",
                 variants + "\"$Q\" -s -o d/out.sfd font.bdf again.bdf 2>&1 >/dev/null | tail -1; "
                            "cat d/out.sfd",
                 font,
                 "quadsmith: 'again.bdf': PIXEL_SIZE 16 is the size of an earlier operand.\nold\n",
                 "", 0},
        cli_case{"standard_input_is_the_first_only", "\"$Q\" -s font.bdf -", font, "",
                 "quadsmith: Only the first operand can be standard input\\.\n", 1},
        cli_case{"messages_name_the_file",
                 "printf 'STARTFONT 2.1\\nFONT f\\n' > cut.bdf; \"$Q\" -s font.bdf cut.bdf "
                 "2>&1 >/dev/null | tail -1",
                 font, "quadsmith: 'cut.bdf': End of input without ENDFONT on line 2.\n", "", 0}),
    [](const testing::TestParamInfo<cli_case> &info) { return info.param.name; });

// The same run in-process, as the fuzzer drives it: each row's operands are
// the font with the sed-like edits given, and what the run must write.
struct sizes_case {
  const char *name;
  std::vector<std::vector<std::pair<std::string, std::string>>> edits; // one list per operand
  std::string strikes; // the BitmapFont lines, in order
  std::string message; // the failure's text, exactly
};

std::string edited(std::string text,
                   const std::vector<std::pair<std::string, std::string>> &edits) {
  for (const auto &[from, to] : edits)
    text.replace(text.find(from), from.size(), to);
  return text;
}

} // namespace

TEST(sizes, run_in_process) {
  const std::pair<std::string, std::string> small = {"PIXEL_SIZE 16", "PIXEL_SIZE 8"};
  const sizes_case cases[] = {
      {"one_strike_each",
       {{}, {small, {"ENCODING 97", "ENCODING 98"}}},
       "BitmapFont: 16 1 14 2 1\nBitmapFont: 8 1 7 1 1\n",
       ""},
      {"another_weight",
       {{}, {small, {"Medium", "Bold"}}},
       "",
       "'1.bdf': WEIGHT_NAME \"Bold\" differs from \"Medium\" of '0.bdf'."},
      {"cut_off_later",
       {{}, {small, {"ENDFONT\n", ""}}},
       "",
       "'1.bdf': End of input without ENDFONT on line 18."},
      {"bad_row_later",
       {{}, {small, {"\n80\n", "\n8g\n"}}},
       "",
       "'1.bdf': Invalid bitmap row on line 17."},
  };
  for (const sizes_case &c : cases) {
    for (const bool merge : {false, true}) {
      std::vector<std::string> fonts;
      for (const auto &edits : c.edits)
        fonts.push_back(edited(font, edits));
      std::string message;
      const std::string sfd = convert_sizes_text(fonts, &message, merge);
      EXPECT_EQ(message, c.message) << c.name;
      std::string strikes;
      const std::regex line("BitmapFont: [^\n]*\n");
      for (auto it = std::sregex_iterator(sfd.begin(), sfd.end(), line);
           it != std::sregex_iterator(); ++it)
        strikes += it->str();
      EXPECT_EQ(strikes, c.strikes) << c.name;
    }
  }
}
