#include "font/trace.h"

#include <bit>

namespace {

enum direction { RIGHT, DOWN, LEFT, UP };

// The unit boundary edges of a band, one bit each, directed so that the set
// pixel lies on the right: with y growing downwards on the grid, right of
// travel is clockwise on screen and in font units alike.
struct edges {
  uint64_t right[trace_rows + 1]; // row line y, from (x, y) to (x + 1, y)
  uint64_t left[trace_rows + 1];  // row line y, from (x + 1, y) to (x, y)
  uint64_t down[trace_rows];      // row r, column line x, from (x, r) to (x, r + 1)
  uint64_t up[trace_rows];        // row r, column line x, from (x, r + 1) to (x, r)
};

bool has_edge(const edges &e, int count, int x, int y, direction d) {
  switch (d) {
  case RIGHT: return (e.right[y] >> x & 1) != 0;
  case LEFT: return x > 0 && (e.left[y] >> (x - 1) & 1) != 0;
  case DOWN: return y < count && (e.down[y] >> x & 1) != 0;
  case UP: return y > 0 && (e.up[y - 1] >> x & 1) != 0;
  }
  return false;
}

// Where a contour goes from a corner: a right turn first, so that pixels
// meeting only at a corner stay apart, then straight on, then a left turn.
// Elsewhere there is only one way out.
direction next_direction(const edges &e, int count, int x, int y, direction from) {
  const auto right_turn = static_cast<direction>((from + 1) & 3);
  const auto left_turn = static_cast<direction>((from + 3) & 3);
  if (has_edge(e, count, x, y, right_turn)) return right_turn;
  if (has_edge(e, count, x, y, from)) return from;
  return left_turn;
}

} // namespace

void trace_outline(const uint32_t *rows, int count, trace_result &result) {
  result.contours = 0;
  edges e;
  uint64_t above = 0;
  for (int y = 0; y <= count; y++) {
    const uint64_t row = y < count ? rows[y] : 0;
    e.right[y] = row & ~above;
    e.left[y] = above & ~row;
    if (y < count) {
      e.up[y] = row & ~(row << 1);
      e.down[y] = (row << 1) & ~row;
    }
    above = row;
  }
  // Every contour has a rightward edge, and the first one found on a row line
  // starts at a corner: the edge before it on its contour is vertical.
  uint64_t unvisited[trace_rows + 1];
  for (int y = 0; y <= count; y++)
    unvisited[y] = e.right[y];
  size_t points = 0;
  for (int start_y = 0; start_y <= count; start_y++) {
    while (unvisited[start_y] != 0) {
      const int start_x = std::countr_zero(unvisited[start_y]);
      const size_t first = points;
      result.points[points++] = {static_cast<uint8_t>(start_x), static_cast<uint8_t>(start_y),
                                 false};
      int x = start_x;
      int y = start_y;
      direction d = RIGHT;
      for (;;) {
        // A straight edge is a run of ones in its edge bitmap: where the run
        // ends the contour turns, and nowhere before.
        switch (d) {
        case RIGHT: {
          const int run = std::countr_one(e.right[y] >> x);
          unvisited[y] &= ~(((uint64_t{1} << run) - 1) << x);
          x += run;
          break;
        }
        case LEFT: x -= std::countl_one(e.left[y] << (64 - x)); break;
        case DOWN:
          do
            y++;
          while (y < count && (e.down[y] >> x & 1) != 0);
          break;
        case UP:
          do
            y--;
          while (y > 0 && (e.up[y - 1] >> x & 1) != 0);
          break;
        }
        const direction next = next_direction(e, count, x, y, d);
        if (x == start_x && y == start_y && next == RIGHT) {
          result.points[first].pixel_right = d == UP;
          break;
        }
        if (next != d) {
          // The corner's x comes from its vertical edge, whichever way it runs.
          const direction vertical = d == UP || d == DOWN ? d : next;
          result.points[points++] = {static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                                     vertical == UP};
        }
        d = next;
      }
      result.contour_end[result.contours++] = static_cast<uint16_t>(points);
    }
  }
}
