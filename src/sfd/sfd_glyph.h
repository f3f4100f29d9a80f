// The SFD text of the glyphs: the default mode's records written as each
// line is read, and under -b the text of the records the reader fills.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "bdf/glyph.h"
#include "io/io.h"
#include "sfd/outline.h"
#include "sfd/rows.h"

// The top edges of the pixel rows from the ascent down and up, each one
// step from the last as the pen walks, so that a glyph's box far from the
// baseline costs one look-up.
struct pen_grid {
  static constexpr int32_t reach = 2304; // steps each way, past any box the limits allow
  float origin = 0.0f;
  float step = 0.0f;
  std::unique_ptr<float[]> tops; // 2 * reach + 1 of them, origin in the middle
};

// What drawing the glyphs as SFD contours keeps between lines.
struct sfd_glyph_state {
  float pen_y = 0.0f;   // top edge of the next bitmap row
  float top = 0.0f;     // -b: the top of the open glyph's first row
  uint64_t unnamed = 0; // glyphs given a name of their own
  pixel_texts texts;
  pen_grid pens;
  outline_band band; // merged outlines
};

// Makes the state ready for another run or size, keeping the buffers it has made.
void reset_sfd_glyph(sfd_glyph_state &sfd);

// Writes the start of a glyph record of the default mode; a glyph without
// a name gets one of its own.
void sfd_startchar(sfd_glyph_state &sfd, glyph_state &glyph, output &out, std::string_view name);

// Writes the Encoding line of a default-mode glyph record.
void sfd_encoding(output &out, std::string_view value);

// Opens a default-mode bitmap block: writes the outline preamble, counts
// the glyph and puts the pen at the ascent.
void sfd_bitmap(sfd_glyph_state &sfd, glyph_state &glyph, output &out, int32_t ascent);

// Draws one row line of an open default-mode bitmap block from its first
// token, or with merge adds it to the rows to trace, and moves the pen
// down; does nothing outside a block.
void sfd_row(sfd_glyph_state &sfd, glyph_state &glyph, output &out, std::string_view first_token,
             bool merge);

// Writes the start of the open record (-b): its name and Encoding line,
// whose third number is third.
void sfd_record_open(output &out, const glyph_record &record, int64_t third);

// Writes the outline preamble of the open record (-b) and puts the pen at
// the top of its box, on the pen grid that starts at ascent.
void sfd_record_bitmap(sfd_glyph_state &sfd, const glyph_state &glyph, output &out,
                       int32_t ascent);

// Draws a row of a glyph up to 32 columns wide (-b), pixel c at bit 31 - c.
void sfd_record_row(sfd_glyph_state &sfd, const glyph_state &glyph, output &out, uint32_t row,
                    bool merge);

// Closes the glyph record; under -b a wide glyph's rows are drawn first, a
// slab at a time, from the record.
void sfd_endchar(sfd_glyph_state &sfd, const glyph_state &glyph, output &out, bool merge);

// Writes the merged outline of the rows collected so far, if any.
void sfd_flush(sfd_glyph_state &sfd, output &out);
