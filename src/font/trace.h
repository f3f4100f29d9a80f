// Tracing the outline of the union of set pixels in a band of bitmap rows.
#pragma once

#include <cstddef>
#include <cstdint>

// The most rows traced at once, and the most columns a row holds.
constexpr int trace_rows = 64;
constexpr int trace_columns = 32;

// One corner of a contour on the pixel grid: column line x (0 to 32, pixel c
// lies between lines c and c + 1), row line y (0 to the band's row count,
// row r lies between lines r and r + 1), and the side of the vertical edge
// at this corner that holds the set pixel.
struct trace_point {
  uint8_t x;
  uint8_t y;
  bool pixel_right; // the set pixel is column x, else column x - 1
};

// The contours of one band: corners only, each contour's first corner again
// implied at its end.  Outer contours run clockwise and holes counter-
// clockwise with y up (row line 0 on top), so the set pixels always lie on
// the right of the direction of travel.
struct trace_result {
  // Every corner is the end of a boundary edge between two pixels, and a
  // band has at most 4 * 64 * 32 of those; a contour has 4 corners at least.
  trace_point points[4 * trace_rows * trace_columns];
  uint16_t contour_end[trace_rows * trace_columns]; // one past each contour's last point
  size_t contours = 0;
};

// Traces rows[0] to rows[count - 1] (pixel c of a row is bit c), count at
// most trace_rows.  Each region of set pixels connected through their edges
// gives one outer contour, each hole in it one inner contour.  Set pixels
// that meet only at a corner belong to separate regions: their contours
// touch at that point and nowhere else, and so may a hole and its outline.
void trace_outline(const uint32_t *rows, int count, trace_result &result);
