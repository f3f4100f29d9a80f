// Merged outlines (-m) against the squares of the default mode, through whole
// conversions of random glyphs.

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "convert.h"
#include "test_util.h"

namespace {

struct point {
  std::string x, y;
  double vx = 0, vy = 0;
};
using contour = std::vector<point>;

// The contours of an SFD text, and the text with every contour line removed.
std::vector<contour> contours_of(const std::string &sfd, std::string *rest) {
  std::vector<contour> contours;
  std::istringstream lines(sfd);
  std::string line;
  while (std::getline(lines, line)) {
    const bool move = line.ends_with(" m 1");
    if (!move && !line.ends_with(" l 1")) {
      *rest += line + "\n";
      continue;
    }
    std::istringstream words(line);
    point p;
    words >> p.x >> p.y;
    p.vx = std::stod(p.x);
    p.vy = std::stod(p.y);
    if (move) contours.emplace_back();
    contours.back().push_back(p);
  }
  return contours;
}

// Twice the signed area, positive for clockwise with y up.
double clockwise_area(const contour &c) {
  double sum = 0;
  for (size_t i = 0; i + 1 < c.size(); i++)
    sum += c[i + 1].vx * c[i].vy - c[i].vx * c[i + 1].vy;
  return sum;
}

int winding(const std::vector<contour> &contours, double x, double y) {
  int turns = 0;
  for (const contour &c : contours)
    for (size_t i = 0; i + 1 < c.size(); i++) {
      const double x0 = c[i].vx, y0 = c[i].vy, x1 = c[i + 1].vx, y1 = c[i + 1].vy;
      if (x0 == x1 && x0 < x && std::min(y0, y1) < y && y < std::max(y0, y1))
        turns += y1 > y0 ? 1 : -1;
    }
  return turns;
}

std::string random_glyph(std::mt19937 &random, int width, int height, int rows, bool close) {
  std::string bdf = "FONTBOUNDINGBOX " + std::to_string(width) + " " + std::to_string(height) +
                    " 0 0\nFONT_ASCENT " + std::to_string(random() % (height + 1)) +
                    "\nSTARTCHAR g\nENCODING 1\nBITMAP\n";
  const int density = static_cast<int>(random() % 100);
  for (int r = 0; r < rows; r++) {
    uint32_t row = 0;
    for (int b = 0; b < 32; b++)
      if (static_cast<int>(random() % 100) < density) row |= 1u << b;
    char text[16];
    std::snprintf(text, sizeof text, "%X\n", row);
    bdf += text;
  }
  return close ? bdf + "ENDCHAR\nSTARTCHAR next\n" : bdf;
}

TEST(merged_outlines, cover_the_squares_exactly_with_their_own_coordinates) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 300; trial++) {
    const int width = 1 + static_cast<int>(random() % 32);
    const int height = 1 + static_cast<int>(random() % 64);
    // Some glyphs run past the cell, past a band, or are never closed.
    const int rows = trial % 10 == 0 ? 150 : 1 + static_cast<int>(random() % height);
    const std::string bdf = random_glyph(random, width, height, rows, trial % 7 != 0);
    std::string square_rest, merged_rest;
    const auto squares = contours_of(convert_text(bdf), &square_rest);
    const auto merged = contours_of(convert_text(bdf, nullptr, {.merge = true}), &merged_rest);
    ASSERT_EQ(merged_rest, square_rest) << bdf;
    std::set<std::string> xs, ys;
    double square_area = 0;
    for (const contour &c : squares) {
      for (const point &p : c)
        xs.insert(p.x), ys.insert(p.y);
      square_area -= clockwise_area(c);
    }
    double merged_area = 0;
    for (const contour &c : merged) {
      ASSERT_GE(c.size(), 5u);
      ASSERT_TRUE(c.front().x == c.back().x && c.front().y == c.back().y);
      for (const point &p : c)
        ASSERT_TRUE(xs.count(p.x) && ys.count(p.y)) << p.x << " " << p.y << "\n" << bdf;
      merged_area += clockwise_area(c);
    }
    // Every square's centre is inside, and the areas agree: nothing more is.
    for (const contour &c : squares) {
      const double x = (c[0].vx + c[2].vx) / 2;
      const double y = (c[0].vy + c[1].vy) / 2;
      ASSERT_EQ(winding(merged, x, y), 1) << x << " " << y << "\n" << bdf;
    }
    ASSERT_NEAR(merged_area, square_area, 1e-6 * std::max(1.0, square_area)) << bdf;
  }
}

TEST(merged_outlines, are_written_before_any_other_output) {
  const std::string box = "FONTBOUNDINGBOX 8 16 0 0\n";
  const std::string square = "0.000000 0.000000 m 1\n 64.000000 0.000000 l 1\n"
                             " 64.000000 -64.000000 l 1\n 0.000000 -64.000000 l 1\n"
                             " 0.000000 0.000000 l 1\n";
  struct flush_case {
    std::string bdf, sfd;
  } cases[] = {
      {"BITMAP\n80\nSTARTCHAR b\n", sfd_preamble + square + "StartChar: b" + sfd_end},
      {"BITMAP\n80\nFONT_ASCENT 4\nENDCHAR\n", sfd_preamble + square + sfd_glyph_end + sfd_end},
      {"BITMAP\n80\n", sfd_preamble + square + sfd_end},
      {"BITMAP\n80\nFONTBOUNDINGBOX 16 16 0 0\n", sfd_preamble + square + sfd_end},
  };
  for (const flush_case &c : cases)
    EXPECT_EQ(convert_text(box + c.bdf, nullptr, {.merge = true}), c.sfd) << c.bdf;
  std::string message;
  EXPECT_EQ(convert_text(box + "BITMAP\n80\nFONT_ASCENT 99\n", &message, {.merge = true}),
            sfd_preamble + square);
  EXPECT_EQ(message, "Invalid value for FONT_ASCENT.");
}

// A state made ready for another run keeps its cached texts; none of them
// may stand in for the texts of the new run.
TEST(merged_outlines, reset_state_leaves_no_stale_corner_texts) {
  const std::string first = "FONTBOUNDINGBOX 8 16 0 0\nFONT_ASCENT 3\nBITMAP\nFF\n";
  const std::string second = "FONTBOUNDINGBOX 8 16 0 0\nFONT_ASCENT 5\nBITMAP\nFF\n";
  conversion_state state;
  state.options.merge = true;
  std::string sfd;
  for (const std::string *bdf : {&first, &second}) {
    reset_state(state);
    sfd.clear();
    line_reader reader;
    output out;
    reader_open_memory(reader, bdf->data(), bdf->size());
    ASSERT_TRUE(output_open(out, -1, &sfd));
    EXPECT_EQ(convert(state, reader, out), nullptr);
    output_flush(out);
    output_close(out);
  }
  release_state(state);
  EXPECT_EQ(sfd, convert_text(second, nullptr, {.merge = true}));
}

} // namespace
