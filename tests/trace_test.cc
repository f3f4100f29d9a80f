#include "font/trace.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace {

using bitmap = std::vector<uint32_t>;

bool pixel(const bitmap &rows, int x, int y) {
  return x >= 0 && x < 32 && y >= 0 && y < static_cast<int>(rows.size()) && (rows[y] >> x & 1);
}

// Bitmaps of the given size in every kind that matters to a tracer.
bitmap make_bitmap(int kind, int width, int height, std::mt19937 &random) {
  bitmap rows(height);
  const auto set = [&](int x, int y) {
    if (x >= 0 && x < width && y >= 0 && y < height) rows[y] |= 1u << x;
  };
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      const unsigned r = random() % 100;
      switch (kind) {
      case 0:
        if (r < 10) set(x, y);
        break; // sparse
      case 1:
        if (r < 80) set(x, y);
        break; // dense
      case 2:
        if ((x + y) % 2 == 0) set(x, y);
        break; // checkerboard: corners only
      case 3:
        if (r < 50) set(x, y);
        break;  // noise
      case 4: { // rings inside rings
        const int ring = std::min(std::min(x, y), std::min(width - 1 - x, height - 1 - y));
        if (ring % 2 == 0) set(x, y);
        break;
      }
      case 5:
        if (x != width / 2 || y != height / 2) set(x, y);
        break; // one-pixel hole
      case 6:
        if ((x == y) || (x + y == width - 1)) set(x, y);
        break; // diagonals
      }
    }
  return rows;
}

struct contour_walk {
  std::map<std::pair<int, int>, int> visits; // grid vertices passed, corners included
  int winding[64][32] = {};
  int crossings[64][32] = {};
};

// Checks one contour against the bitmap and adds it to the walk.
void check_contour(const bitmap &rows, const trace_point *points, size_t n, contour_walk &walk) {
  ASSERT_GE(n, 4u);
  ASSERT_EQ(n % 2, 0u);
  for (size_t i = 0; i < n; i++) {
    const trace_point &a = points[i];
    const trace_point &b = points[(i + 1) % n];
    const trace_point &c = points[(i + 2) % n];
    // Edges alternate between horizontal and vertical: only corners are points.
    const bool horizontal = a.y == b.y;
    ASSERT_TRUE(horizontal != (a.x == b.x));
    ASSERT_EQ(horizontal, b.x == c.x);
    const int dx = (b.x > a.x) - (b.x < a.x);
    const int dy = (b.y > a.y) - (b.y < a.y);
    // The x of a corner follows its vertical edge: up means the set pixel is right of it.
    if (!horizontal) {
      ASSERT_EQ(a.pixel_right, dy < 0);
      ASSERT_EQ(b.pixel_right, dy < 0);
    }
    for (int x = a.x, y = a.y; x != b.x || y != b.y; x += dx, y += dy) {
      walk.visits[{x, y}]++;
      // The set pixel is on the right of travel, the unset one on the left.
      if (horizontal) {
        const int column = dx > 0 ? x : x - 1;
        ASSERT_TRUE(pixel(rows, column, dx > 0 ? y : y - 1));
        ASSERT_FALSE(pixel(rows, column, dx > 0 ? y - 1 : y));
      } else {
        const int row = dy > 0 ? y : y - 1;
        ASSERT_TRUE(pixel(rows, dy > 0 ? x - 1 : x, row));
        ASSERT_FALSE(pixel(rows, dy > 0 ? x : x - 1, row));
        for (int column = x; column < 32; column++) {
          walk.winding[row][column] += dy < 0 ? 1 : -1;
          walk.crossings[row][column]++;
        }
      }
    }
  }
}

// A vertex may be passed twice only where two set pixels meet at a corner alone.
bool corner_contact(const bitmap &rows, int x, int y) {
  const bool a = pixel(rows, x - 1, y - 1), b = pixel(rows, x, y - 1);
  const bool c = pixel(rows, x - 1, y), d = pixel(rows, x, y);
  return a == d && b == c && a != b;
}

TEST(trace_outline, covers_exactly_the_set_pixels_with_clean_contours) {
  std::mt19937 random(2026);
  static trace_result result;
  int traced = 0;
  for (int width = 1; width <= 32; width++)
    for (int height = 1; height <= 64; height += (height < 8 ? 1 : 7))
      for (int kind = 0; kind < 7; kind++) {
        const bitmap rows = make_bitmap(kind, width, height, random);
        trace_outline(rows.data(), height, result);
        contour_walk walk;
        size_t from = 0;
        for (size_t c = 0; c < result.contours; c++) {
          check_contour(rows, result.points + from, result.contour_end[c] - from, walk);
          if (testing::Test::HasFatalFailure()) FAIL() << width << "x" << height << " " << kind;
          from = result.contour_end[c];
        }
        for (const auto &[vertex, count] : walk.visits)
          ASSERT_TRUE(count == 1 ||
                      (count == 2 && corner_contact(rows, vertex.first, vertex.second)))
              << width << "x" << height << " kind " << kind;
        for (int y = 0; y < height; y++)
          for (int x = 0; x < 32; x++) {
            ASSERT_EQ(walk.winding[y][x] != 0, pixel(rows, x, y)) << x << "," << y;
            ASSERT_EQ(walk.crossings[y][x] % 2 == 1, pixel(rows, x, y)) << x << "," << y;
          }
        traced++;
      }
  EXPECT_GT(traced, 3000);
}

TEST(trace_outline, gives_one_contour_per_shape_and_hole) {
  struct shape_case {
    bitmap rows;
    size_t contours;
    size_t points;
  } cases[] = {
      {{}, 0, 0},
      {{0b1}, 1, 4},
      {{0b111, 0b101, 0b111}, 2, 8},      // a ring: outline and hole
      {{0b01, 0b10}, 2, 8},               // corner contact: two squares
      {{0b011, 0b110}, 1, 8},             // a step
      {{0xFFFFFFFFu, 0xFFFFFFFFu}, 1, 4}, // full width
  };
  static trace_result result;
  for (const shape_case &c : cases) {
    trace_outline(c.rows.data(), static_cast<int>(c.rows.size()), result);
    EXPECT_EQ(result.contours, c.contours);
    EXPECT_EQ(result.contours ? result.contour_end[result.contours - 1] : 0u, c.points);
  }
}

} // namespace
