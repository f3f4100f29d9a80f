// Text written into the SFD header as FontForge reads it back, and Unicode
// values from glyph names.

#include <gtest/gtest.h>
#include <string>

#include "bdf/agl.h"
#include "font/sfd_text.h"

namespace {

std::string written(sfd_text_kind kind, std::string_view text) {
  std::string sink;
  output out;
  output_open(out, -1, &sink);
  sfd_write_text(out, kind, text);
  output_flush(out);
  output_close(out);
  return sink;
}

TEST(sfd_text, is_written_as_fontforge_reads_each_field) {
  const struct {
    sfd_text_kind kind;
    std::string text, sfd;
    bool fits;
  } cases[] = {
      {SFD_LINE, "Fixed \"q\" a\\b", "Fixed \"q\" a\\b", true},
      {SFD_LINE, "Bold\\", "Bold\\", false},
      {SFD_LINE, "a\nb", "a\nb", false},
      {SFD_ESCAPED, "a\\b\\", "a\\\\b\\\\", true},
      {SFD_LANG_NAME, "Semi+Bold", "\"Semi+-Bold\"", true},
      {SFD_LANG_NAME, "\"q\" \\", "\"+ACI-q+ACI- +AFw-\"", true},
      {SFD_LANG_NAME, "Gr\xC3\xA4s \xE2\x82\xAC", "\"Gr+AOQ-s +IKw-\"", true},
      {SFD_LANG_NAME, "\xF0\x9F\x98\x80", "", false},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(sfd_text_fits(c.kind, c.text), c.fits) << c.text;
    if (c.fits) {
      EXPECT_EQ(written(c.kind, c.text), c.sfd) << c.text;
    }
  }
}

TEST(sfd_text, becomes_utf8_and_is_cut_at_a_character) {
  EXPECT_EQ(sfd_utf8("Gr\xE4s"), "Gr\xC3\xA4s");         // ISO 8859-1
  EXPECT_EQ(sfd_utf8("Gr\xC3\xA4s"), "Gr\xC3\xA4s");     // UTF-8 as it stands
  EXPECT_EQ(sfd_utf8("\xC3(\xFF"), "\xC3\x83(\xC3\xBF"); // broken UTF-8 is Latin-1
  EXPECT_EQ(sfd_cut("a\xC3\xA4", 2), "a");
  EXPECT_EQ(sfd_cut("a\xC3\xA4", 3), "a\xC3\xA4");
  EXPECT_EQ(sfd_cut("abc", 2), "ab");
}

TEST(agl, gives_the_unicode_value_a_name_stands_for) {
  const std::pair<const char *, int32_t> cases[] = {
      {"uni0416", 0x416}, {"u1F600", 0x1F600},   {"u10FFFF", 0x10FFFF},       {"A", 0x41},
      {"agrave", 0xE0},   {"bracketleft", 0x5B}, {"Zhebrevecyrillic", 0x4C1}, {"uniD800", -1},
      {"u110000", -1},    {"uni04", -1},         {"uni0416.alt", -1},         {"nosuchname", -1},
      {"", -1},           {"uni041g", -1},
  };
  for (const auto &[name, unicode] : cases)
    EXPECT_EQ(agl_unicode(name), unicode) << name;
}

} // namespace
