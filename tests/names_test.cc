#include "font/names.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace std::string_literals;

std::string escaped(std::string_view name) {
  std::string text;
  output out;
  EXPECT_TRUE(output_open(out, -1, &text));
  write_glyph_name(out, name);
  output_flush(out);
  output_close(out);
  return text;
}

TEST(glyph_names, escape_what_fontforge_cannot_read_back) {
  const std::pair<std::string, std::string> cases[] = {
      {"A", "A"},
      {"\"", "_22"},
      {"a b", "a_20b"},
      {"name\r", "name_0D"},
      {"%<[]{}\\", "_25_3C_5B_5D_7B_7D_5C"},
      {"tab\there", "tab_09here"},
      {"\x7f\x01", "_7F_01"},
      {"under_score", "under_score"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"\xE2\x82\xAC\xF0\x9F\x98\x80", "\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"cut\xC3", "cut_C3"},
      {"\xC3(", "_C3("},
      {"\xC0\xAF", "_C0_AF"},               // overlong
      {"\xED\xA0\x80", "_ED_A0_80"},        // surrogate
      {"\xF4\x90\x80\x80", "_F4_90_80_80"}, // past U+10FFFF
      {"\xE0\x9F\xBF", "_E0_9F_BF"},        // overlong three bytes
      {"\x80\xBF\xFE\xFF", "_80_BF_FE_FF"},
  };
  for (const auto &[name, want] : cases)
    EXPECT_EQ(escaped(name), want) << name;
}

// Whatever the bytes, the written name holds only bytes FontForge keeps.
TEST(glyph_names, every_byte_anywhere_comes_out_readable) {
  for (int b = 1; b < 256; b++) {
    const std::string byte(1, static_cast<char>(b));
    for (const std::string &name : {byte + "x", "x" + byte + "y", "x" + byte}) {
      const std::string text = escaped(name);
      for (size_t i = 0; i < text.size(); i++) {
        const auto c = static_cast<unsigned char>(text[i]);
        ASSERT_TRUE(c > 0x20 && c != 0x7F &&
                    std::string("\"%<[]{}\\").find(static_cast<char>(c)) == std::string::npos)
            << b;
        if (c >= 0x80) {
          ASSERT_GT(utf8_sequence_length(std::string_view(text).substr(i)), 0u) << b;
        }
      }
    }
  }
}

} // namespace
