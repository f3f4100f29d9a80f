// The BDF's own geometry (-b): glyph boxes, advances, square pixels and an
// exact em.

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>

#include "bdf/glyph.h"
#include "test_util.h"

namespace {

const conversion_options bdf_options{.merge = false, .bdf = true};

TEST(bdf_rows, are_read_from_the_left_in_whole_bytes) {
  const struct {
    std::string token;
    uint32_t width;
    uint32_t pixels;
  } cases[] = {
      {"80", 8, 0x80000000u},
      {"8", 8, 0x80000000u},
      {"FF", 4, 0xF0000000u},
      {"FFFF", 8, 0xFF000000u},
      {"C0", 2, 0xC0000000u},
      {"FFE0", 11, 0xFFE00000u},
      {"FFFF", 11, 0xFFE00000u},
      {"12345678", 32, 0x12345678u},
      {"", 8, 0},
      {"8z", 8, 0x80000000u},
      {"FF", 0, 0},
      {"0180", 9, 0x01800000u},
      {"FFFFFFFFFF", 32, UINT32_MAX},
      {"ff", 8, 0xFF000000u},
  };
  for (const auto &c : cases)
    EXPECT_EQ(read_bdf_row(c.token, c.width), c.pixels) << c.token << " " << c.width;
}

// "Width: n" and the top-left corner of every square, as "x y" texts.
std::string squares_of(const std::string &sfd) {
  std::string found;
  for (size_t at = sfd.find("\nWidth: "); at != std::string::npos;
       at = sfd.find("\nWidth: ", at + 1))
    found.append(sfd, at + 1, sfd.find('\n', at + 1) - at - 1).append(";");
  for (size_t at = sfd.find(" m 1"); at != std::string::npos; at = sfd.find(" m 1", at + 1)) {
    const size_t line = sfd.rfind('\n', at) + 1;
    found.append(" ").append(sfd, line, at - line);
  }
  return found;
}

TEST(bdf_geometry, places_each_glyph_in_its_own_box) {
  const std::string font = "FONTBOUNDINGBOX 8 16 0 -2\nFONT_ASCENT 14\nFONT_DESCENT 2\n"
                           "STARTCHAR g\n";
  const struct {
    std::string glyph;
    std::string squares;
  } cases[] = {
      {"BITMAP\n80\n", "Width: 512; 0.000000 896.000000"},
      {"BBX 8 16 0 -2\nDWIDTH 8 0\nBITMAP\n80\n", "Width: 512; 0.000000 896.000000"},
      {"BBX 2 2 3 -1\nBITMAP\nC0\n40\n",
       "Width: 512; 192.000000 64.000000 256.000000 64.000000 256.000000 0.000000"},
      {"BBX 1 1 -2 0\nBITMAP\n80\n", "Width: 512; -128.000000 64.000000"},
      {"BBX 1 1 0 20\nBITMAP\n80\n", "Width: 512; 0.000000 1344.000000"},
      {"BBX 1 1 0 -10\nBITMAP\n80\n", "Width: 512; 0.000000 -576.000000"},
      {"DWIDTH 5 0\nBBX 0 0 0 0\nBITMAP\n", "Width: 320;"},
      {"DWIDTH 16 0\nBBX 16 16 0 -2\nBITMAP\n8001\n", "Width: 1024; 0.000000 896.000000 "
                                                      "960.000000 896.000000"},
      {"BBX 16 16 0 -2\nBITMAP\n80\n", "Width: 512; 0.000000 896.000000"},
      {"BBX 0 0 0 0\nDWIDTH 8 0\nBITMAP\n", "Width: 512;"},
      // The box of the glyph before does not carry over.
      {"BBX 1 1 0 0\nBITMAP\n80\nENDCHAR\nSTARTCHAR h\nBITMAP\n80\n",
       "Width: 512;Width: 512; 0.000000 64.000000 0.000000 896.000000"},
  };
  // The squares and the merged outlines are compared, so their creation time is fixed.
  setenv("SOURCE_DATE_EPOCH", "0", 1);
  for (const auto &c : cases) {
    const std::string bdf = well_formed(font + c.glyph + "ENDCHAR\n");
    const std::string squares = convert_text(bdf, nullptr, bdf_options);
    EXPECT_EQ(squares_of(squares), c.squares) << c.glyph;
    const std::string merged = convert_text(bdf, nullptr, {.merge = true, .bdf = true});
    EXPECT_EQ(merged.substr(0, merged.find("SplineSet")),
              squares.substr(0, merged.find("SplineSet")));
  }
  unsetenv("SOURCE_DATE_EPOCH");
}

std::string header_metrics(const std::string &sfd) {
  std::string metrics;
  for (const char *key : {"\nAscent: ", "\nDescent: ", "\nLineGap: "}) {
    const size_t at = sfd.find(key);
    if (!metrics.empty()) metrics.append(" ");
    metrics.append(sfd, at + 1, sfd.find('\n', at + 1) - at - 1);
  }
  return metrics;
}

TEST(bdf_geometry, gives_an_exact_em_and_no_line_gap) {
  const struct {
    std::string properties;
    std::string metrics;
  } cases[] = {
      {"FONTBOUNDINGBOX 8 16 0 -2\nFONT_ASCENT 14\nFONT_DESCENT 2\n",
       "Ascent: 896 Descent: 128 LineGap: 0"},
      // A pixel is a power of two units: 64 for 13 pixels, an em of 832.
      {"FONTBOUNDINGBOX 6 13 0 -2\nFONT_ASCENT 11\nFONT_DESCENT 2\n",
       "Ascent: 704 Descent: 128 LineGap: 0"},
      {"FONTBOUNDINGBOX 8 16 0 -4\n", "Ascent: 768 Descent: 256 LineGap: 0"},
      // Ascent and descent share the em in whole pixels as they share the line.
      {"FONTBOUNDINGBOX 8 16 0 -4\nFONT_ASCENT 13\n", "Ascent: 768 Descent: 256 LineGap: 0"},
      {"FONTBOUNDINGBOX 8 16 0 -4\nFONT_DESCENT 2\n", "Ascent: 896 Descent: 128 LineGap: 0"},
      // A font that names no pixel size is as tall as its line, 18 pixels.
      {"FONTBOUNDINGBOX 8 16 0 -2\nFONT_ASCENT 14\nFONT_DESCENT 4\n",
       "Ascent: 896 Descent: 256 LineGap: 0"},
      {"FONT_ASCENT 14\nFONTBOUNDINGBOX 6 13 0 -2\n", "Ascent: 704 Descent: 128 LineGap: 0"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(
        header_metrics(convert_text(well_formed(c.properties + "CHARS 0\n"), nullptr, bdf_options)),
        c.metrics)
        << c.properties;
  EXPECT_EQ(header_metrics(convert_text("FONTBOUNDINGBOX 6 13 0 -2\nFONT_ASCENT 11\n"
                                        "FONT_DESCENT 2\nCHARS 0\n")),
            "Ascent: 866 Descent: 157 LineGap: 72");
}

TEST(bdf_geometry, refuses_boxes_and_advances_it_cannot_honour) {
  const struct {
    std::string line;
    std::string message;
  } cases[] = {
      {"BBX 8\n", "Invalid value for BBX."},
      {"BBX\n", "Invalid value for BBX."},
      {"BBX -1 16 0 0\n", "Invalid value for BBX."},
      {"BBX 129 16 0 0\n", "BBX is 129 pixels wide; at most 128 by 128 are supported."},
      {"BBX 8 129 0 0\n", "BBX is 129 pixels tall; at most 128 by 128 are supported."},
      {"BBX a b c d\n", "Invalid value for BBX."},
      {"BBX 8 16 0 2000\n", "Invalid value for BBX."},
      {"DWIDTH x 0\n", "Invalid value for DWIDTH."},
      {"DWIDTH 8 y\n", "Invalid value for DWIDTH."},
      {"DWIDTH\n", "Invalid value for DWIDTH."},
      {"BBX 8 16 0 0 0\n", "Invalid value for BBX."},
      {"DWIDTH 8 0 0\n", "Invalid value for DWIDTH."},
      {"DWIDTH 600 0\nBITMAP\n", "Invalid value for DWIDTH."},
      {"BBX 1 1 600 0\nBITMAP\n", "Invalid value for BBX."},
      {"BBX 1 1 0 -600\nBITMAP\n", "Invalid value for BBX."},
  };
  for (const auto &c : cases) {
    std::string message;
    const std::string bdf = well_formed("FONTBOUNDINGBOX 8 16 0 0\nSTARTCHAR g\n" + c.line);
    convert_text(bdf, &message, bdf_options);
    // The message names the keyword's own line, not the BITMAP after it.
    EXPECT_EQ(message, c.message.substr(0, c.message.size() - 1) + " on line 9.") << c.line;
    // Without -b these lines are no keywords, and offsets are not read.
    convert_text("FONTBOUNDINGBOX 8 16 0 0\nSTARTCHAR g\n" + c.line, &message);
    EXPECT_EQ(message, "") << c.line;
  }
}

// For a cell twice as tall as wide, of a height whose pixel is a whole
// number of units in both, whose glyphs keep the font's box and advance,
// the BDF's geometry is the cell's: the glyph records are the same.
TEST(bdf_geometry, matches_the_cell_where_pixels_are_square) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 200; trial++) {
    const int width = 4 << (random() % 4);
    const int height = 2 * width;
    const int below = static_cast<int>(random() % (height / 2 + 1));
    std::string bdf = "FONTBOUNDINGBOX " + std::to_string(width) + " " + std::to_string(height) +
                      " 0 -" + std::to_string(below) + "\nFONT_ASCENT " +
                      std::to_string(height - below) + "\nFONT_DESCENT " + std::to_string(below) +
                      "\nCHARS 3\n";
    const int digits = 2 * ((width + 7) / 8);
    for (int g = 0; g < 3; g++) {
      bdf += "STARTCHAR g" + std::to_string(g) + "\nENCODING " + std::to_string(g) + "\n";
      if (g > 0) bdf += "DWIDTH " + std::to_string(width) + " 0\n";
      if (g > 1)
        bdf += "BBX " + std::to_string(width) + " " + std::to_string(height) + " 0 -" +
               std::to_string(below) + "\n";
      bdf += "BITMAP\n";
      for (int r = 0; r < height; r++) {
        char row[16];
        std::snprintf(row, sizeof row, "%0*X\n", digits,
                      static_cast<unsigned>(random()) & ((1u << (4 * digits - 1)) * 2 - 1));
        bdf += row;
      }
      bdf += "ENDCHAR\n";
    }
    const std::string cell = convert_text(bdf);
    const std::string own = convert_text(well_formed(bdf), nullptr, bdf_options);
    // The records differ in their flags alone: -b asks for no hints.
    std::string hinted = own.substr(own.find("StartChar"));
    for (size_t at = hinted.find("Flags: W\n"); at != std::string::npos;
         at = hinted.find("Flags: W\n", at + 1))
      hinted.replace(at, 9, "Flags: HW\n");
    ASSERT_EQ(hinted, cell.substr(cell.find("StartChar"))) << bdf;
  }
}

} // namespace
