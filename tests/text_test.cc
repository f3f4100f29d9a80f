// BDF text as -b reads it: line ends, strings, names, charsets and structure.

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "bdf/charset.h"
#include "font/names.h"
#include "test_util.h"

namespace {

const conversion_options bdf_options{.merge = false, .bdf = true};

TEST(bdf_text, strings_lose_their_quotes_and_names_their_invalid_bytes) {
  const struct {
    std::string value, string, postscript;
  } cases[] = {
      {"\"Spleen\"", "Spleen", "Spleen"},
      {"\"Quadsmith Sample\"", "Quadsmith Sample", "QuadsmithSample"},
      {"\"say \"\"hi\"\"\"", "say \"hi\"", "say\"hi\""},
      {"Unquoted value", "Unquoted value", "Unquotedvalue"},
      {"\"open", "open", "open"},
      {"\"closed\" after", "closed", "closed"},
      {"\"\"", "", ""},
      {"\"a[b](c){d}<e>/f%g\"", "a[b](c){d}<e>/f%g", "abcdefg"},
      {"\"caf\xC3\xA9\tx\"", "caf\xC3\xA9\tx", "cafx"},
      {"\"" + std::string(80, 'n') + "\"", std::string(80, 'n'), std::string(63, 'n')},
  };
  for (const auto &c : cases) {
    std::string read(c.value.size(), '\0');
    read.resize(read_bdf_string(c.value, read.data()));
    EXPECT_EQ(read, c.string) << c.value;
    char name[max_postscript_name];
    EXPECT_EQ(std::string(name, postscript_name(read, name)), c.postscript) << c.value;
  }
}

TEST(bdf_text, header_carries_the_strings_and_a_valid_postscript_name) {
  const std::string bdf = "FAMILY_NAME \"Quadsmith Sample\"\r\nCOPYRIGHT \"(c) \"\"Q\"\"\"\r\n"
                          "FONT_VERSION \"1.9.0\"\r\nFONTBOUNDINGBOX 8 16 0 -2\r\nCHARS 0\r\n";
  const std::string sfd = convert_text(well_formed(bdf), nullptr, bdf_options);
  EXPECT_NE(sfd.find("FontName: QuadsmithSample16-Regular\nFullName: Quadsmith Sample 16\n"
                     "FamilyName: Quadsmith Sample 16\nWeight: Medium\nCopyright: (c) \"Q\"\n"
                     "Version: 1.9.0\n"),
            std::string::npos)
      << sfd;
  // The same file without -b keeps the quotes, and its carriage returns stop it.
  std::string message;
  convert_text("FAMILY_NAME \"Q\"\nCHARS 0\n", &message);
  EXPECT_NE(convert_text("FAMILY_NAME \"Q\"\nCHARS 0\n").find("FontName: \"Q\"\n"),
            std::string::npos);
}

TEST(bdf_text, line_ends_of_carriage_return_and_line_feed_are_line_ends) {
  const std::string lf =
      well_formed("FONTBOUNDINGBOX 8 16 0 -2\nFONT_ASCENT 14\nFONT_DESCENT 2\nCHARS 1\n"
                  "STARTCHAR a b\nENCODING 97\nBBX 8 16 0 -2\nBITMAP\n18\n \t3C\t\nENDCHAR\n");
  std::string crlf;
  for (const char c : lf)
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  // Two runs are compared, so their creation time is fixed.
  setenv("SOURCE_DATE_EPOCH", "0", 1);
  EXPECT_EQ(convert_text(crlf, nullptr, bdf_options), convert_text(lf, nullptr, bdf_options));
  unsetenv("SOURCE_DATE_EPOCH");
  EXPECT_NE(convert_text(lf, nullptr, bdf_options).find("StartChar: uni0061\n"), std::string::npos);
}

TEST(bdf_text, charsets_map_codes_to_unicode) {
  const struct {
    const char *registry, *encoding;
    int64_t code;
    int32_t unicode;
  } cases[] = {
      {"", "", 0x41, 0x41},
      {"ISO10646", "1", 0x1F600, 0x1F600},
      {"ISO10646", "1", 0x110000, -1},
      {"ISO8859", "1", 0xE9, 0xE9},
      {"ISO8859", "5", 0xB0, 0x410},
      {"ISO8859", "16", 0xA1, 0x104},
      {"KOI8", "R", 0xC1, 0x430},
      {"KOI8", "U", 0xA4, 0x454},
      {"Microsoft", "CP1251", 0xC0, 0x410},
      {"Paratype", "PT154", 0x80, 0x496},
      {"JISX0208.1983", "0", 0x2422, 0x3042},
      {"JISX0208.1990", "0", 0x2121, 0x3000},
      {"JISX0201.1976", "0", 0xB1, 0xFF71},
      {"GB2312.1980", "0", 0x3021, 0x554A},
      {"KSC5601.1987", "0", 0x3021, 0xAC00},
      {"BIG5", "0", 0xA440, 0x4E00},
      {"BIG5", "0", 0xA145, 0x2022},
      {"JISX0213.2004", "1", 0x2422, 0x3042},
      {"JISX0213.2000", "2", 0x2121, 0x20089},
      {"ISO10646", "1", 0xD800, -1},
      // ISO 8859-1 is Unicode's start: a code past it is taken as Unicode.
      {"ISO8859", "1", 0x100, 0x100},
      {"ISO8859", "1", 0xD800, -1},
      {"ISO8859", "2", 0x100, -1},
      // CNS 11643 past the planes X.Org has tables of, through EUC-TW.
      {"CNS11643.1992", "6", 0x2121, 0x2F802},
      {"CNS11643.1992", "6", 0x2120, -1},
      {"JISX0208.1983", "0", 0x41, -1},
      {"KOI8", "R", -1, -1},
  };
  for (const auto &c : cases) {
    charset_map map;
    EXPECT_TRUE(charset_open(map, c.registry, c.encoding)) << c.registry << "-" << c.encoding;
    EXPECT_EQ(charset_to_unicode(map, c.code), c.unicode) << c.registry << "-" << c.encoding;
    charset_close(map);
  }
  charset_map map;
  EXPECT_FALSE(charset_open(map, "NOSUCH", "9"));
  EXPECT_EQ(charset_to_unicode(map, 0x41), -1);
  charset_close(map);
}

TEST(bdf_text, encoding_lines_carry_the_unicode_value) {
  const std::string font = "FONTBOUNDINGBOX 8 16 0 -2\nCHARSET_REGISTRY \"KOI8\"\n"
                           "CHARSET_ENCODING \"R\"\n";
  const struct {
    std::string glyph, encoding;
  } cases[] = {
      {"ENCODING 193\n", "Encoding: 1072 1072 1072"},
      {"ENCODING 65\n", "Encoding: 65 65 65"},
      {"ENCODING -1 300\n", "Encoding: -1 -1 -1"},
      {"ENCODING 300\n", "Encoding: -1 -1 -1"},
      {"", "Encoding: -1 -1 -1"},
  };
  for (const auto &c : cases) {
    const std::string sfd = convert_text(
        well_formed(font + "STARTCHAR g\n" + c.glyph + "BITMAP\nENDCHAR\n"), nullptr, bdf_options);
    EXPECT_NE(sfd.find("StartChar: g\n" + c.encoding + "\n"), std::string::npos) << sfd;
  }
}

} // namespace
