#include "bdf/glyph.h"
#include "sfd/rows.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

#include "test_util.h"

namespace {

using namespace std::string_literals;

// The five lines of one pixel's contour.
std::string square(const std::string &x0, const std::string &x1, const std::string &bottom,
                   const std::string &top) {
  return x0 + " " + top + " m 1\n " + x0 + " " + bottom + " l 1\n " + x1 + " " + bottom +
         " l 1\n " + x1 + " " + top + " l 1\n " + x0 + " " + top + " l 1\n";
}

std::string glyph_record(const std::string &name, const std::string &code,
                         const std::string &outline) {
  return "StartChar: " + name + "\nEncoding: " + code + " " + code + " " + code + "\n" +
         sfd_preamble + outline + sfd_glyph_end;
}

TEST(worked_example, cell_8_by_16) {
  const std::string sfd = convert_text("FONTBOUNDINGBOX 8 16 0 -2\nFONT_ASCENT 14\n"
                                       "FONT_DESCENT 2\nSTARTCHAR A\nENCODING 65\nBITMAP\n"
                                       "18\n80\nENDCHAR\n");
  EXPECT_EQ(sfd, glyph_record("A", "65",
                              square("192.000000", "256.000000", "832.000000", "896.000000") +
                                  square("256.000000", "320.000000", "832.000000", "896.000000") +
                                  square("0.000000", "64.000000", "768.000000", "832.000000")) +
                     sfd_end);
}

TEST(worked_example, cell_5_by_7) {
  const std::string sfd = convert_text("FONTBOUNDINGBOX 5 7 0 0\nBITMAP\n40\n");
  EXPECT_EQ(sfd,
            sfd_preamble + square("102.400002", "204.800003", "-146.285721", "0.000000") + sfd_end);
}

TEST(worked_example, cell_7_by_7) {
  const std::string sfd =
      convert_text("FONTBOUNDINGBOX 7 7 0 0\nFONT_ASCENT 6\nBITMAP\n06\n80\n80\n80\n");
  EXPECT_EQ(sfd, sfd_preamble + square("365.714294", "438.857147", "730.714294", "877.000000") +
                     square("438.857178", "512.000061", "730.714294", "877.000000") +
                     square("0.000000", "73.142860", "584.428589", "730.714294") +
                     square("0.000000", "73.142860", "438.142883", "584.428589") +
                     square("0.000000", "73.142860", "291.857178", "438.142883") + sfd_end);
}

struct metric_case {
  std::string bdf;
  std::string first_row; // the first square's top, which is the ascent
};

TEST(font_ascent, is_scaled_in_single_precision_and_truncated) {
  const metric_case cases[] = {
      {"FONTBOUNDINGBOX 8 13 0 0\nFONT_ASCENT 10\n", "787.000000"},
      {"FONTBOUNDINGBOX 8 25 0 0\nFONT_ASCENT 25\n", "1024.000000"},
      {"FONT_ASCENT 3\nFONTBOUNDINGBOX 8 16 0 0\n", "192.000000"},
      {"FONTBOUNDINGBOX 8 16 0 0\nFONT_ASCENT\n", "0.000000"},
      {"FONTBOUNDINGBOX 8 16 0 0\nFONT_ASCENT 4\nFONT_ASCENT\n", "256.000000"},
      {"FONTBOUNDINGBOX 8 16 0 0\n", "0.000000"},
  };
  for (const metric_case &c : cases) {
    const std::string sfd = convert_text(c.bdf + "BITMAP\n80\n");
    EXPECT_EQ(sfd.substr(sfd_preamble.size(), sfd.find(" m 1") - sfd_preamble.size()),
              "0.000000 " + c.first_row)
        << c.bdf;
  }
}

struct fatal_case {
  std::string bdf;
  std::string message;
};

TEST(metrics, invalid_values_are_fatal) {
  const std::string bbox = "Invalid value for FONTBOUNDINGBOX.";
  const fatal_case cases[] = {
      {"FONTBOUNDINGBOX 33 16 0 0\n", bbox},
      {"FONTBOUNDINGBOX 8 65 0 0\n", bbox},
      {"FONTBOUNDINGBOX 0 16 0 0\n", bbox},
      {"FONTBOUNDINGBOX 8 0 0 0\n", bbox},
      {"FONTBOUNDINGBOX 8 16\n", bbox},
      {"FONTBOUNDINGBOX\n", bbox},
      {"FONTBOUNDINGBOX \n", bbox},
      {"FONTBOUNDINGBOX 8 16 0 0\nFONTBOUNDINGBOX \n", bbox},
      {"FONTBOUNDINGBOX 8 16 0 0\nFONTBOUNDINGBOX\t\n", bbox},
      {"FONTBOUNDINGBOX 8 x 0 0\n", bbox},
      {"FONTBOUNDINGBOX 123456789012345678901234567890 16 0 0\n", bbox},
      {"FONT_ASCENT 65\n", "Invalid value for FONT_ASCENT."},
      {"FONT_ASCENT -1\n", "Invalid value for FONT_ASCENT."},
      {"FONT_ASCENT 14 \n", "Invalid value for FONT_ASCENT."},
      {"FONT_ASCENT 14\r\n", "Invalid value for FONT_ASCENT."},
      {"FONT_DESCENT 65\n", "Invalid value for FONT_DESCENT."},
      {"FONT_DESCENT two\n", "Invalid value for FONT_DESCENT."},
  };
  for (const fatal_case &c : cases) {
    std::string message;
    convert_text("STARTCHAR before\n" + c.bdf + "STARTCHAR after\n", &message);
    EXPECT_EQ(message, c.message) << c.bdf;
  }
}

TEST(metrics, accepted_bounding_boxes) {
  const std::string accepted[] = {
      "FONTBOUNDINGBOX 8 16 \n",
      "FONTBOUNDINGBOX 32 64 0 0\n",
      "FONTBOUNDINGBOX 8 16",
      "FONTBOUNDINGBOX 8 16 0 0\nFONTBOUNDINGBOX\n",
      "FONTBOUNDINGBOX 8 16 0 0\nFONTBOUNDINGBOX 4 ",
  };
  for (const std::string &bdf : accepted) {
    std::string message;
    convert_text(bdf, &message);
    EXPECT_EQ(message, "") << bdf;
  }
}

struct row_case {
  std::string bbox;
  std::string rows;
  std::string pixels; // the left edges of the squares drawn, in order
};

// The left edges of the squares in an SFD outline, as "x x x".
std::string left_edges(const std::string &sfd) {
  std::string edges;
  for (size_t at = sfd.find(" m 1"); at != std::string::npos; at = sfd.find(" m 1", at + 1)) {
    const size_t line = sfd.rfind('\n', at) + 1;
    const std::string x = sfd.substr(line, sfd.find(' ', line) - line);
    if (!edges.empty()) edges += ' ';
    edges.append(x, 0, x.find('.'));
  }
  return edges;
}

TEST(bitmap_rows, are_held_against_the_cell_mask) {
  const row_case cases[] = {
      {"16 16", "FF\n", "256 288 320 352 384 416 448 480"},
      {"8 16", "FF00\n", ""},
      {"8 16", "00FF\n", "0 64 128 192 256 320 384 448"},
      {"12 16", "18\n", "469"},
      {"12 16", "FFFF\n", "0 42 85 128 170 213 256 298 341 384 426 469"},
      {"8 16", "0x80\n", "0"},
      {"8 16", "-1\n", "0 64 128 192 256 320 384 448"},
      {"8 16", "zz\n", ""},
      {"8 16", "  \v80\n", "0"},
      {"8 16", "123456789012345678901234567890\n", "0 64 128 192 256 320 384 448"},
      {"32 16", "80000001\n", "0 496"},
      {"32 16", "FFFFFFFFFF\n",
       "0 16 32 48 64 80 96 112 128 144 160 176 192 208 224 240 256 272 288 304 320 336 352 368 "
       "384 400 416 432 448 464 480 496"},
      {"8 16", "ENDFONT\n", "256 320 384"},
  };
  for (const row_case &c : cases) {
    const std::string sfd = convert_text("FONTBOUNDINGBOX " + c.bbox + " 0 0\nBITMAP\n" + c.rows);
    EXPECT_EQ(left_edges(sfd), c.pixels) << c.bbox << " " << c.rows;
  }
}

TEST(bitmap_rows, move_the_pen_even_when_empty_or_cellless) {
  // Rows before any bounding box draw nothing but still move the pen by 64.
  std::string sfd = convert_text("BITMAP\n80\n\nFONTBOUNDINGBOX 8 16 0 0\nENDCHAR\nBITMAP\n"
                                 "\n80\nENDCHAR\n");
  EXPECT_EQ(sfd, sfd_preamble + sfd_glyph_end + sfd_preamble +
                     square("0.000000", "64.000000", "-128.000000", "-64.000000") + sfd_glyph_end +
                     sfd_end);
  // A line whose first byte is NUL is no row at all.
  sfd = convert_text("FONTBOUNDINGBOX 8 16 0 0\nBITMAP\n\0\n80\n"s);
  EXPECT_EQ(sfd,
            sfd_preamble + square("0.000000", "64.000000", "-64.000000", "0.000000") + sfd_end);
}

TEST(bitmap_rows, outside_a_block_draw_nothing) {
  EXPECT_EQ(convert_text("FONTBOUNDINGBOX 8 16 0 0\nFF\nBITMAP\nENDCHAR\nFF\n"),
            sfd_preamble + sfd_glyph_end + sfd_end);
}

TEST(glyph_records, follow_the_input_as_it_comes) {
  const std::string box = "FONTBOUNDINGBOX 8 16 0 0\n";
  struct record_case {
    std::string bdf;
    std::string sfd;
  } cases[] = {
      {"STARTCHAR x\nBITMAP\nENDCHAR\n", "StartChar: xWidth: 512\nFlags: HW\n"},
      // A glyph without a name keeps its record, which FontForge would stop at.
      {"STARTCHAR\nENCODING 3\nSTARTCHAR \nSTARTCHAR\t\n",
       "StartChar: _unnamed.0\nEncoding: 3 3 3\nStartChar: _unnamed.1StartChar: _unnamed.2"},
      {"STARTCHAR y\nENCODING -1 65\nENDCHAR\n",
       "StartChar: y\nEncoding: -1 65 -1 65 -1 65\n" + sfd_glyph_end},
      {"STARTCHAR z\n", "StartChar: z"},
      {"BITMAP\nBITMAP\n", sfd_preamble + sfd_preamble},
  };
  for (const record_case &c : cases) {
    const std::string sfd = convert_text(box + c.bdf);
    EXPECT_EQ(sfd.substr(0, c.sfd.size()), c.sfd) << c.bdf;
  }
  EXPECT_EQ(convert_text("STARTCHAR z\n"), "StartChar: zEndChars\nEndSplineFont\n");
}

TEST(read_row, reads_like_strtoul_base_16) {
  const std::pair<std::string, uint64_t> cases[] = {
      {"18", 0x18},
      {"0X1f", 0x1f},
      {"0x", 0},
      {"0xg", 0},
      {"+a", 0xa},
      {"-1", UINT64_MAX},
      {"-", 0},
      {"", 0},
      {"FFFFFFFFFFFFFFFF", UINT64_MAX},
      {"10000000000000000", UINT64_MAX},
      {"-10000000000000000", UINT64_MAX},
      {"\r7", 7},
      {"7\r", 7},
      {"12G4", 0x12},
  };
  for (const auto &[text, value] : cases)
    EXPECT_EQ(read_row(text), value) << '"' << text << '"';
}

// The cached writer must give exactly the plain writer's bytes for any row,
// cell and pen position, also when rows outnumber the cache.
TEST(draw_row, matches_the_plain_writer) {
  std::mt19937 random(20261209);
  std::string fast;
  std::string plain;
  output fast_out;
  output plain_out;
  ASSERT_TRUE(output_open(fast_out, -1, &fast));
  ASSERT_TRUE(output_open(plain_out, -1, &plain));
  pixel_texts texts;
  uint32_t width = 0;
  float ascent = 0;
  for (int cell = 0; cell < 40; cell++) {
    // Every other cell keeps the width and the ascent and changes only the
    // height, so that the first row's top is one seen before.
    if (cell % 2 == 0) {
      width = 1 + random() % 32;
      ascent = static_cast<float>(random() % 1025);
    }
    const uint32_t height = 1 + random() % 64;
    const uint32_t mask = 1u << (8 * ((width + 7) / 8) - 1);
    const float xstep = static_cast<float>(512.0 / width);
    const float ystep = static_cast<float>(1024.0 / height);
    // Glyphs of the cell's height reuse their row texts; the last, long one
    // runs past what the cache holds.
    for (const int rows : {static_cast<int>(height), static_cast<int>(height), 20, 300}) {
      float top = ascent;
      for (int row = 0; row < rows; row++) {
        const uint32_t bits = static_cast<uint32_t>(random());
        draw_row(fast_out, texts, bits, mask, width, top, xstep, ystep);
        draw_row_plain(plain_out, bits, mask, width, top, xstep, ystep);
        top = top - ystep;
      }
    }
  }
  output_flush(fast_out);
  output_flush(plain_out);
  EXPECT_TRUE(fast == plain);
  EXPECT_GT(fast.size(), 1000000u);
  output_close(fast_out);
  output_close(plain_out);
}

} // namespace
