// Cell metrics, glyph records and the pixel contours of bitmap rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "bdf.h"
#include "charset.h"
#include "io.h"
#include "trace.h"

// A glyph's box in pixels: its size and the offset of its lower left corner
// from the origin.
struct glyph_box {
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t x = 0;
  int32_t y = 0;
};

// Ready-made texts of the pixel contours, so that a set pixel costs one copy:
// the column edges for one cell, and for each recently seen row top the five
// lines of every pixel of that row, back to back.
struct pixel_texts {
  uint32_t width = 0;      // the columns the texts were made for; 0 when nothing is made
  uint32_t generation = 0; // counts the times the column texts were made
  int32_t first_column = 0;
  uint32_t xstep_bits = 0;
  uint32_t ystep_bits = 0;
  char x0[32][16]; // left edge of each column, NUL-free, length in x0_len
  char x1[32][16];
  uint8_t x0_len[32];
  uint8_t x1_len[32];
  struct slot {
    uint32_t top_bits;
    uint32_t entry; // offset of the row in the arena; UINT32_MAX when the slot is free
  };
  slot slots[256];
  uint32_t used_slots = 0;       // rows kept; all are forgotten when the table is half full
  std::unique_ptr<char[]> arena; // row entries: width + 1 offsets, then the text
  size_t arena_used = 0;
  char last_bottom[48]; // the text of the last row bottom made, the next row's top
  uint8_t last_bottom_len = 0;
  uint32_t last_bottom_bits = 0;
};

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

// Conversion state of the glyph actions.
struct glyph_state {
  uint32_t width = 0;  // cell width in pixels, 1 to 32 once accepted
  uint32_t height = 0; // cell height in pixels, 1 to 64 once accepted
  float xstep = 64.0f; // font units per pixel horizontally
  float ystep = 64.0f; // font units per pixel vertically
  uint32_t mask = 0;   // the row bit of the leftmost pixel
  bool in_bitmap = false;
  float pen_y = 0.0f;  // top edge of the next bitmap row
  uint64_t glyphs = 0; // BITMAP lines seen
  pixel_texts texts;
  // The BDF's own geometry (-b): the offsets of the font's box, the font's
  // ascent and descent in pixels (-1 while unset), the box and advance a
  // glyph gives itself before its bitmap, and the box of the open bitmap.
  glyph_box font_box;
  int32_t ascent_pixels = -1;
  int32_t descent_pixels = -1;
  glyph_box next_box;
  int32_t next_advance = 0;
  bool has_box = false;
  bool has_advance = false;
  glyph_box box;
  // The BDF's structure and charset (-b): whether a glyph is open, whether it
  // had its ENCODING, the rows of its bitmap so far, the glyphs written
  // without a Unicode value, and the charset properties with their map.
  bool in_glyph = false;
  bool has_encoding = false;
  uint32_t rows_read = 0;
  uint64_t unencoded = 0;
  char charset_names[2][64]; // CHARSET_REGISTRY and CHARSET_ENCODING, read as BDF strings
  uint8_t charset_lengths[2] = {};
  bool charset_too_long = false;
  bool charset_ready = false; // the map is open for the names as they stand
  bool charset_known = true;
  charset_map charset;
  // Merged outlines: the rows not yet traced (pixel c at bit c), the tops of
  // their row lines, and the texts of the row lines last written.
  uint32_t band[trace_rows];
  float band_tops[trace_rows + 1];
  int band_rows = 0;
  int32_t band_first_column = 0; // the columns the band's rows lie in
  uint32_t band_columns = 0;
  uint32_t line_bits[trace_rows + 1];
  char line_text[trace_rows + 1][48];
  uint8_t line_len[trace_rows + 1] = {};
  uint32_t line_stamp[trace_rows + 1] = {}; // changes whenever the line's text does
  uint32_t stamps = 0;
  std::unique_ptr<trace_result> trace; // made once, kept across runs
  std::unique_ptr<corner_texts> corners;
};

// Takes the cell size from the tokens behind FONTBOUNDINGBOX, with bdf
// geometry its offsets too; returns the fatal message on invalid values,
// else nullptr.
const char *fontboundingbox_action(glyph_state &state, bdf_line &line,
                                   const conversion_options &options);

// Scales a FONT_ASCENT or FONT_DESCENT value into *units and keeps it in
// *pixels; returns message on invalid values.
const char *font_metric_action(const glyph_state &state, std::string_view value, int32_t *units,
                               int32_t *pixels, const char *message);

// Takes a glyph's box from the tokens behind BBX; returns the fatal message
// on values that can't be honoured, else nullptr.
const char *bbx_action(glyph_state &state, bdf_line &line);

// Takes a glyph's advance from the tokens behind DWIDTH; returns the fatal
// message on values that can't be honoured, else nullptr.
const char *dwidth_action(glyph_state &state, bdf_line &line);

// Sets the ascent and descent in font units from the BDF's own metrics: the
// FONTBOUNDINGBOX stands in for missing FONT_ASCENT and FONT_DESCENT, and
// where they fill the cell the em is exactly 1024 units.
void bdf_font_metrics(const glyph_state &state, int32_t *ascent, int32_t *descent);

// Writes the start of a glyph record and forgets the last glyph's box; with
// bdf structure a glyph inside a glyph, or before the font's box, is an
// error, whose message is returned.
const char *startchar_action(glyph_state &state, output &out, std::string_view name,
                             const conversion_options &options);

// Writes the Encoding line of a glyph record from an ENCODING value read as
// a number and mapped through the font's charset to Unicode; returns the
// message of a value that is no number.
const char *bdf_encoding_action(glyph_state &state, output &out, std::string_view value);

// Takes a CHARSET_REGISTRY (which 0) or CHARSET_ENCODING (which 1) value.
void charset_property_action(glyph_state &state, std::string_view value, int which);

// The charset the font names, as "REGISTRY-ENCODING", in buffer, which has
// room for charset_name_room bytes.
constexpr size_t charset_name_room = 2 * 64;
std::string_view charset_name(const glyph_state &state, char *buffer);

// Releases the charset map.
void release_glyph_state(glyph_state &state);

// Writes the Encoding line of a glyph record.
void encoding_action(output &out, std::string_view value);

// Opens a bitmap block: writes the outline preamble, counts the glyph and
// puts the pen at the ascent, or with bdf geometry at the top of the
// glyph's box on the pen grid that starts at the ascent.
void bitmap_action(glyph_state &state, output &out, int32_t ascent,
                   const conversion_options &options);

// Closes the bitmap block and the glyph record.
void endchar_action(glyph_state &state, output &out, const conversion_options &options);

// Draws one row line of an open bitmap block from its first token, or with
// merge adds it to the rows to trace, and moves the pen down; does nothing
// outside a block.  With bdf structure the row is the whole line without
// blanks around it, and a row that is no hexadecimal number, is wider than
// the glyph's box or is one too many is an error, whose message is returned.
const char *bitmap_row_action(glyph_state &state, output &out, std::string_view row,
                              const conversion_options &options);

// Writes the merged outline of the rows collected so far, if any.
void flush_outline(glyph_state &state, output &out);

// Reads a row as strtoul with base 16 reads it into 64 bits.
uint64_t read_row(std::string_view token);

// Reads a row of a box width pixels wide as BDF defines it: ceil(width / 8)
// bytes from the left, missing digits 0; returns pixel c at bit 31 - c.
uint32_t read_bdf_row(std::string_view token, uint32_t width);

// Writes one closed square contour per set pixel of row; mask is the single
// bit of the leftmost pixel, top the row's upper edge in font units.
void draw_row(output &out, pixel_texts &texts, uint32_t row, uint32_t mask, uint32_t width,
              float top, float xstep, float ystep);

// Writes one closed square contour per set pixel, pixel c (at bit 31 - c)
// lying at column first_column + c of a box width pixels wide.
void draw_pixels(output &out, pixel_texts &texts, uint32_t pixels, int32_t first_column,
                 uint32_t width, float top, float xstep, float ystep);

// Writes a float as printf "%f" writes it widened to double; returns the length.
size_t format_coordinate(char *to, float value);

// Writes the same contours as draw_row with one snprintf per pixel: the
// plain reference that tests and benchmarks hold the fast writer against.
void draw_row_plain(output &out, uint32_t row, uint32_t mask, uint32_t width, float top,
                    float xstep, float ystep);
