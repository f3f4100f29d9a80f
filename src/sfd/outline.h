// Merged outlines: bitmap rows collected in bands, traced, and written as
// the corners of their contours.
#pragma once

#include <cstdint>
#include <memory>

#include "io/io.h"
#include "sfd/rows.h"
#include "font/trace.h"

// The line of every corner of a merged outline, " x y l 1\n", made once and
// copied whole: indexed by the side of the pixel that gives x, the column
// line and the row line, and valid while its tag matches the generation of
// the column texts and the stamp of the row line's text.
struct corner_texts {
  static constexpr size_t room = 64;
  uint64_t tag[2][trace_columns + 1][trace_rows + 1] = {};
  uint8_t len[2][trace_columns + 1][trace_rows + 1];
  char text[2][trace_columns + 1][trace_rows + 1][room];
};

// The rows not yet traced (pixel c at bit c), the tops of their row lines,
// the columns and steps they were drawn with, and the texts of the row lines
// last written.  The trace and the corner texts are made once and kept.
struct outline_band {
  uint32_t rows[trace_rows];
  float tops[trace_rows + 1];
  int count = 0;
  int32_t first_column = 0;
  uint32_t columns = 0;
  float xstep = 0;
  float ystep = 0;
  uint32_t line_bits[trace_rows + 1];
  char line_text[trace_rows + 1][number_room];
  uint8_t line_len[trace_rows + 1] = {};
  uint32_t line_stamp[trace_rows + 1] = {}; // changes whenever the line's text does
  uint32_t stamps = 0;
  std::unique_ptr<trace_result> trace;
  std::unique_ptr<corner_texts> corners;
};

// Adds a row (pixel c at bit 31 - c, at column first_column + c) whose top is
// top; a full band, or one of other columns, is written first.
void outline_add_row(outline_band &band, pixel_texts &texts, output &out, uint32_t pixels,
                     int32_t first_column, uint32_t columns, float top, float xstep, float ystep);

// Writes the merged outline of the rows collected so far, if any.
void outline_flush(outline_band &band, pixel_texts &texts, output &out);
