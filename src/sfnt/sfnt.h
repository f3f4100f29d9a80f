// Fonts written directly (-T ttf, -T otf, -T otb): each glyph record traced into a
// glyf entry or CFF charstring and spooled as it comes, its bitmap into the strikes, and the
// tables assembled at the end with their checksums, in one pass.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sfnt/cff.h"
#include "sfnt/ebdt.h"
#include "bdf/identity.h"
#include "io/io.h"
#include "font/record.h"
#include "font/trace.h"

// The font being made: the glyf entries in a spool (an unnamed temporary
// file, or in-process a string), and per glyph what the other tables need.
struct sfnt_state {
  output spool;
  int spool_fd = -1;
  std::string spool_text;
  uint32_t glyf_length = 0;       // bytes spooled, each entry padded to 4
  uint32_t glyf_sum = 0;          // their checksum so far
  std::vector<uint32_t> loca;     // each glyph's offset in glyf, .notdef first
  std::vector<uint16_t> advances; // in font units
  std::vector<int16_t> bearings;  // left side bearings: each glyph's xMin, 0 when empty
  std::vector<uint64_t> cmap;     // Unicode value << 32 | glyph index
  std::string names;              // the glyph names as post keeps them: length, then bytes
  int32_t x_min = 0, y_min = 0, x_max = 0, y_max = 0; // the font's box, once a glyph has ink
  bool inked = false;
  int32_t min_right = 0, max_extent = 0;
  uint32_t max_points = 0, max_contours = 0;
  std::unique_ptr<trace_result> trace;
  std::vector<int16_t> xs, ys; // the open glyph's points
  std::vector<uint16_t> ends;  // and its contours' last points
  std::string glyph;           // its glyf entry
  std::vector<uint8_t> flags;  // and its points' flags
  bool outlines = true;        // glyf entries traced, else an OTB's empty glyf
  bool cff_outlines = false;   // the outlines as CFF charstrings instead of glyf
  cff_state cff;
  bool bitmaps = false; // a strike per operand
  char message[400];    // a glyph's message that names it
  strike_set strikes;
};

// Opens the spool: an unnamed file in $TMPDIR or /tmp when in_memory is
// false, else a string.  Returns false with errno set if it can't be made.
bool sfnt_open(sfnt_state &font, bool in_memory);

// Releases the spool and what the font holds.
void sfnt_close(sfnt_state &font);

// The message of an advance in font units the font can't hold, else nullptr.
const char *sfnt_advance_error(const sfnt_state &font, int64_t width);

// Adds a whole glyph: its outline traced from its rows, unit font units a
// pixel, unless outline is false, with its advance in font units, name and
// Unicode value; without an outline, its ink still measures the font where
// measured is set.  Returns the message of one the format can't hold, else
// nullptr.
const char *sfnt_take(sfnt_state &font, const glyph_record &record, int32_t unit, int32_t advance,
                      bool outline, bool measured);

// Writes the font with the identity's names and metrics; returns false with
// errno set if the spool can't be read back.
bool sfnt_write(sfnt_state &font, const identity_record &identity, output &out);
