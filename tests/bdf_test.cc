#include "bdf/bdf.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct recognize_case {
  const char *name;
  std::string line;
  keyword code;
  std::string first; // the first token, what a row is read from
  std::string value; // for value-taking codes; empty means none, so the line is skipped
  friend void PrintTo(const recognize_case &c, std::ostream *os) { *os << c.name; }
};

class recognize : public testing::TestWithParam<recognize_case> {};

TEST_P(recognize, yields_code_token_and_value) {
  const recognize_case &c = GetParam();
  bdf_line line = make_line(c.line);
  EXPECT_EQ(parse_keyword(line), c.code);
  EXPECT_EQ(std::string(line.first), c.first);
  if (takes_value(c.code)) {
    EXPECT_EQ(std::string(take_value(line)), c.value);
  }
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    lines, recognize,
    testing::Values(
        recognize_case{"family_name", "FAMILY_NAME \"Fixed\"\n", KW_FAMILY_NAME, "FAMILY_NAME",
                       "\"Fixed\""},
        recognize_case{"copyright", "COPYRIGHT Public domain\n", KW_COPYRIGHT, "COPYRIGHT",
                       "Public domain"},
        recognize_case{"bbox", "FONTBOUNDINGBOX 8 16 0 -2\n", KW_FONTBOUNDINGBOX, "FONTBOUNDINGBOX",
                       ""},
        recognize_case{"ascent", "FONT_ASCENT 14\n", KW_FONT_ASCENT, "FONT_ASCENT", "14"},
        recognize_case{"descent", "FONT_DESCENT 2\n", KW_FONT_DESCENT, "FONT_DESCENT", "2"},
        recognize_case{"version", "FONT_VERSION 1.0\n", KW_FONT_VERSION, "FONT_VERSION", "1.0"},
        recognize_case{"chars", "CHARS 256\n", KW_CHARS, "CHARS", "256"},
        recognize_case{"startchar_two_words", "STARTCHAR two words\n", KW_STARTCHAR, "STARTCHAR",
                       "two words"},
        recognize_case{"encoding_pair", "ENCODING -1 65\n", KW_ENCODING, "ENCODING", "-1 65"},
        recognize_case{"bitmap", "BITMAP\n", KW_BITMAP, "BITMAP", ""},
        recognize_case{"endchar", "ENDCHAR\n", KW_ENDCHAR, "ENDCHAR", ""},
        recognize_case{"last_line_without_feed", "ENDCHAR", KW_ENDCHAR, "ENDCHAR", ""},
        recognize_case{"leading_blanks_and_tabs", " \t ENCODING 65\n", KW_ENCODING, "ENCODING",
                       "65"},
        recognize_case{"tab_after_keyword", "CHARS\t7\n", KW_CHARS, "CHARS", "7"},
        recognize_case{"further_blanks_kept", "COPYRIGHT   x y \n", KW_COPYRIGHT, "COPYRIGHT",
                       "  x y "},
        recognize_case{"value_of_one_blank", "COPYRIGHT  \n", KW_COPYRIGHT, "COPYRIGHT", " "},
        recognize_case{"keyword_alone_no_value", "COPYRIGHT\n", KW_COPYRIGHT, "COPYRIGHT", ""},
        recognize_case{"one_blank_no_value", "COPYRIGHT \n", KW_COPYRIGHT, "COPYRIGHT", ""},
        recognize_case{"chars_without_value", "CHARS\n", KW_CHARS, "CHARS", ""},
        recognize_case{"only_line_feeds_follow", "CHARS\n\n", KW_CHARS, "CHARS", ""},
        recognize_case{"carriage_return_kept_in_value", "CHARS 3\r\n", KW_CHARS, "CHARS", "3\r"},
        recognize_case{"carriage_return_spoils_keyword", "ENDCHAR\r\n", KW_NONE, "ENDCHAR\r", ""},
        recognize_case{"longer_token", "CHARSET_REGISTRY \"ISO10646\"\n", KW_NONE,
                       "CHARSET_REGISTRY", ""},
        recognize_case{"lower_case", "chars 3\n", KW_NONE, "chars", ""},
        recognize_case{"suffix", "ENDCHARS\n", KW_NONE, "ENDCHARS", ""},
        recognize_case{"prefix", "CHAR 3\n", KW_NONE, "CHAR", ""},
        recognize_case{"row", "0FF0\n", KW_NONE, "0FF0", ""},
        recognize_case{"blanks_only", "   \n", KW_NONE, "", ""},
        recognize_case{"line_feed_only", "\n", KW_NONE, "", ""},
        recognize_case{"nul_ends_keyword_line", "ENDCHAR\0garbage\n"s, KW_ENDCHAR, "ENDCHAR", ""},
        recognize_case{"nul_hides_value", "COPYRIGHT \0text\n"s, KW_COPYRIGHT, "COPYRIGHT", ""},
        recognize_case{"nul_first", "\0ENDCHAR\n"s, KW_NONE, "", ""}),
    [](const testing::TestParamInfo<recognize_case> &info) { return info.param.name; });

TEST(next_token, follows_strtok_rules) {
  bdf_line line = make_line("FONTBOUNDINGBOX  8\t16 0 -2\n");
  ASSERT_EQ(parse_keyword(line), KW_FONTBOUNDINGBOX);
  EXPECT_EQ(next_token(line, " \t"), "8");
  EXPECT_EQ(next_token(line, " \t"), "16");
  EXPECT_EQ(next_token(line, " \t"), "0");
  EXPECT_EQ(next_token(line, " \t"), "-2\n");
  EXPECT_EQ(next_token(line, " \t"), "");
  EXPECT_EQ(next_token(line, " \t"), "");
}

TEST(next_token, nothing_remains_after_a_token_at_the_end) {
  bdf_line line = make_line("FONTBOUNDINGBOX");
  ASSERT_EQ(parse_keyword(line), KW_FONTBOUNDINGBOX);
  EXPECT_EQ(next_token(line, " \t"), "");
}

} // namespace
