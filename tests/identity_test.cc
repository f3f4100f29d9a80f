// The font's identity: names, style and metrics derived from its properties.

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

#include "bdf/identity.h"
#include "test_util.h"

namespace {

// Reads "KEYWORD value" lines as the driver hands them over.
font_identity identity_of(const std::string &properties) {
  font_identity identity;
  size_t from = 0;
  while (from < properties.size()) {
    const size_t end = properties.find('\n', from);
    const std::string text = properties.substr(from, end - from);
    bdf_line line = make_line(text);
    const keyword code = parse_keyword(line, true);
    const std::string_view value =
        line.cursor < line.text.size() ? trimmed(line.text.substr(line.cursor)) : "";
    if (code == KW_FONT)
      identity_xlfd_action(identity, value);
    else
      EXPECT_EQ(identity_property_action(identity, code, value), nullptr) << line.text;
    from = end + 1;
  }
  return identity;
}

TEST(identity, names_and_style_follow_the_xlfd) {
  const std::string fixed = "FAMILY_NAME \"Fixed\"\nFOUNDRY \"Misc\"\nPIXEL_SIZE 13\n"
                            "AVERAGE_WIDTH 60\nSPACING \"C\"\n";
  const struct {
    std::string properties, family, full, postscript, style;
    int weight, width;
    uint32_t style_map;
  } cases[] = {
      {fixed + "WEIGHT_NAME \"Medium\"\nSLANT \"R\"\nSETWIDTH_NAME \"Normal\"\n", "Fixed 6x13",
       "Fixed 6x13", "Fixed6x13-Regular", "Regular", 400, 5, 0x40},
      {fixed + "WEIGHT_NAME \"Bold\"\nSLANT \"R\"\nSETWIDTH_NAME \"SemiCondensed\"\n",
       "Fixed 6x13", "Fixed 6x13 Bold SemiCondensed", "Fixed6x13-BoldSemiCondensed",
       "Bold SemiCondensed", 700, 4, 0x20},
      // Lower-case words are capitalised as FreeType names the style.
      {fixed + "WEIGHT_NAME \"bold\"\nSLANT \"i\"\n", "Fixed 6x13", "Fixed 6x13 Bold Italic",
       "Fixed6x13-BoldItalic", "Bold Italic", 700, 5, 0x21},
      {fixed + "WEIGHT_NAME \"Medium\"\nSLANT \"O\"\n", "Fixed 6x13", "Fixed 6x13 Oblique",
       "Fixed6x13-Oblique", "Oblique", 500, 5, 0x200},
      {fixed + "WEIGHT_NAME \"Light\"\nSLANT \"I\"\nADD_STYLE_NAME \"Sans\"\n", "Fixed Sans 6x13",
       "Fixed Sans 6x13 Light Italic", "FixedSans6x13-LightItalic", "Light Italic", 300, 5, 0x1},
      // Proportional: the size alone, as the average width differs by weight.
      {"FAMILY_NAME \"Helvetica\"\nPIXEL_SIZE 12\nAVERAGE_WIDTH 67\nSPACING \"P\"\n",
       "Helvetica 12", "Helvetica 12", "Helvetica12-Regular", "Regular", 400, 5, 0x40},
      // The XLFD name stands in for missing properties.
      {"FONT -Xos4-Terminus-Bold-R-Normal--16-160-72-72-C-80-ISO10646-1\n", "Terminus 8x16",
       "Terminus 8x16 Bold", "Terminus8x16-Bold", "Bold", 700, 5, 0x20},
      // Never the box's cell: the size.
      {"", "Untitled 16", "Untitled 16", "Untitled16-Regular", "Regular", 400, 5, 0x40},
      // A pixel-font editor's: a FONT name without its foundry, a foundry of
      // free text, a family that names its size, a width for a weight.
      {"FONT -Foo11-Condensed-R-Condensed--16-16-75-75-c-60-iso10646-1\n"
       "FOUNDRY \"Made with an editor by someone\"\nFAMILY_NAME \"Foo11\"\n"
       "WEIGHT_NAME \"Condensed\"\n",
       "Foo11", "Foo11 Condensed", "Foo11-Condensed", "Condensed", 400, 3, 0x40},
      {"FONT -Foo11-Bold-R-Normal--16-16-75-75-c-80-iso10646-1\nFAMILY_NAME \"Foo11\"\n"
       "WEIGHT_NAME \"Bold\"\n",
       "Foo11", "Foo11 Bold", "Foo11-Bold", "Bold", 700, 5, 0x20},
  };
  const font_pixels pixels{8, 16, 14, 2};
  for (const auto &c : cases) {
    const identity_record r = derive_identity(identity_of(c.properties), pixels, "", "");
    EXPECT_EQ(r.family, c.family) << c.properties;
    EXPECT_EQ(r.full, c.full) << c.properties;
    EXPECT_EQ(r.postscript, c.postscript) << c.properties;
    EXPECT_TRUE(is_postscript_name(r.postscript)) << r.postscript;
    EXPECT_EQ(r.style, c.style) << c.properties;
    EXPECT_EQ(r.ttf_weight, c.weight) << c.properties;
    EXPECT_EQ(r.ttf_width, c.width) << c.properties;
    EXPECT_EQ(r.style_map, c.style_map) << c.properties;
  }
  // -f and -p win; the style still goes into the full and PostScript names.
  // Fixed fonts of other foundries than X.Org's, and fonts of charsets other
  // than Unicode, have families of their own.
  const struct {
    std::string properties, f, p, charset, names;
  } named[] = {
      {fixed, "My Fixed", "MyFixed", "", "My Fixed|My Fixed|MyFixed"},
      {fixed + "WEIGHT_NAME \"Bold\"\n", "My Fixed", "", "", "My Fixed|My Fixed Bold|MyFixed-Bold"},
      {fixed + "WEIGHT_NAME \"Bold\"\n", "", "", "ISO8859-2",
       "Fixed 6x13 ISO8859-2|Fixed 6x13 ISO8859-2 Bold|Fixed6x13ISO8859-2-Bold"},
      {fixed, "", "", "ISO10646-1", "Fixed 6x13|Fixed 6x13|Fixed6x13-Regular"},
      {"FONT -Sony-Fixed-Medium-R-Normal--16-120-100-100-C-80-ISO8859-1\n", "", "", "ISO8859-1",
       "Sony Fixed 8x16 100dpi ISO8859-1|Sony Fixed 8x16 100dpi ISO8859-1|"
       "SonyFixed8x16100dpiISO8859-1-Regular"},
      // What tells apart fonts X11 names alike: the foundry of a family many
      // make, a proportional font's size beside a charcell's cell, a spacing
      // of no usual kind, and the FONT name where a property says otherwise.
      {"FONT -Mona-Gothic-Medium-R-Normal--16-150-75-75-P-80-JISX0201.1976-0\n", "", "",
       "JISX0201.1976-0",
       "Mona Gothic 16 JISX0201.1976-0|Mona Gothic 16 "
       "JISX0201.1976-0|MonaGothic16JISX0201.1976-0-Regular"},
      {"FONT -Kappa-Mincho-Medium-R-Normal--20-190-75-75-VC-200-ISO10646-1\n", "", "", "",
       "Kappa Mincho 20x20 VC|Kappa Mincho 20x20 VC|KappaMincho20x20VC-Regular"},
      {"FONT -Poonlap-Emacs-Medium-R-Normal--8-140-100-100-C-8-TIS620-0\nFAMILY_NAME \"fixed\"\n",
       "", "", "",
       "Poonlap Emacs 0.8x8 100dpi|Poonlap Emacs 0.8x8 100dpi|"
       "PoonlapEmacs0.8x8100dpi-Regular"},
      {"FONT -xos4-Terminus-Medium-R-Normal--16-160-72-72-C-80-ISO10646-1\n", "", "", "",
       "Terminus 8x16|Terminus 8x16|Terminus8x16-Regular"},
  };
  for (const auto &c : named) {
    const identity_record r =
        derive_identity(identity_of(c.properties), pixels, c.f, c.p, c.charset);
    EXPECT_EQ(r.family + "|" + r.full + "|" + r.postscript, c.names) << c.properties;
  }
}

// The em is the pixel size; ascent and descent share it as they share the
// line, which the hhea and typo metrics give in full.
TEST(identity, em_is_the_pixel_size_and_the_line_is_ascent_and_descent) {
  const std::pair<std::string, std::string> cases[] = {
      {"PIXEL_SIZE 12\n", "12 64 768 576 192 704 192"},
      {"FONT -a-b-medium-r-normal--24-240-75-75-c-120-koi8-r\n", "24 32 768 608 160 352 96"},
      {"PIXEL_SIZE 14\n", "14 64 896 704 192 704 192"},
  };
  for (const auto &[properties, metrics] : cases) {
    const identity_record r = derive_identity(identity_of(properties), {14, 26, 11, 3}, "", "");
    char text[64];
    std::snprintf(text, sizeof text, "%d %d %d %d %d %d %d", r.pixel_size, r.units_per_pixel, r.em,
                  r.ascent, r.descent, r.line_ascent, r.line_descent);
    EXPECT_EQ(text, metrics) << properties;
  }
}

TEST(identity, every_pixel_size_has_a_whole_unit_and_a_truetype_em) {
  for (int32_t size = 1; size <= 1024; size++) {
    const int32_t unit = units_per_pixel(size);
    const int64_t em = size * unit;
    EXPECT_EQ(unit & (unit - 1), 0) << size;
    EXPECT_GE(2 * em * em, 1024 * 1024) << size;
    EXPECT_LE(em * em, 2 * 1024 * 1024) << size;
  }
  for (const int32_t size : {8, 16, 32, 64})
    EXPECT_EQ(units_per_pixel(size) * size, 1024);
}

} // namespace
