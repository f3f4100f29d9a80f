// TrueType fonts written directly (-T ttf): each glyph record traced into
// a glyf entry and spooled as it comes, the tables assembled at the end
// with their checksums, so one pass and bounded memory make the font.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "identity.h"
#include "io.h"
#include "record.h"
#include "trace.h"

// One size's bitmaps (-s, -T otb): each glyph's image as EBDT's image
// format 2 holds it (small metrics, rows bit-aligned), and the BDF
// properties the BDF table keeps beside it.
struct sfnt_image {
  uint32_t glyph, offset, length; // its glyph index and its bytes in data
  bool operator<(const sfnt_image &other) const { return glyph < other.glyph; }
};
struct sfnt_strike {
  int32_t ppem = 0, ascent = 0, descent = 0;
  std::vector<sfnt_image> glyphs;
  std::string data;
  std::vector<std::pair<std::string, std::pair<uint16_t, std::string>>> properties;
  int32_t width_max = 0, min_origin = 0, min_advance = 0, max_before = 0, min_after = 0;
  bool any = false;
};

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
  bool outlines = true;        // glyf entries traced, else an OTB's empty glyf
  bool bitmaps = false;        // a strike per operand
  std::vector<sfnt_strike> strikes;
  std::vector<std::pair<std::string, std::pair<uint16_t, std::string>>> pending; // properties
};

// Opens the spool: an unnamed file in $TMPDIR or /tmp when in_memory is
// false, else a string.  Returns false with errno set if it can't be made.
bool sfnt_open(sfnt_state &font, bool in_memory);

// Releases the spool and what the font holds.
void sfnt_close(sfnt_state &font);

// Adds a whole glyph: its outline traced from its rows, unit font units a
// pixel, unless outline is false, with its advance in font units, name and
// Unicode value.  Returns the message of one the format can't hold, else
// nullptr.
const char *sfnt_take(sfnt_state &font, const glyph_record &record, int32_t unit, int32_t advance,
                      bool outline);

// Keeps a BDF header line (FONT, SIZE, FONTBOUNDINGBOX) or property for the
// BDF table of the strike the next sfnt_strike_start opens; value is as it
// stands in the BDF.
void sfnt_property(sfnt_state &font, std::string_view name, std::string_view value,
                   bool header_line);

// Opens the strike of an operand's size, its ascent and descent in pixels.
void sfnt_strike_start(sfnt_state &font, int32_t ppem, int32_t ascent, int32_t descent);

// Adds a glyph's bitmap to the open strike.
void sfnt_strike_glyph(sfnt_state &font, const glyph_record &record);

// Writes the font with the identity's names and metrics; returns false with
// errno set if the spool can't be read back.
bool sfnt_write(sfnt_state &font, const identity_record &identity, output &out);
