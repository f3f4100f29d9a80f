// The glyph actions: cell and glyph metrics, glyph records and bitmap rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "bdf/bdf.h"
#include "bdf/charset.h"
#include "bdf/identity.h"
#include "io/io.h"
#include "font/names.h"
#include "font/record.h"
#include "bdf/sizes.h"

// What the reader knows of the font's cell and of the open glyph.
struct glyph_state {
  uint32_t width = 0;  // cell width in pixels, 1 to 32 once accepted (-b: to 1024)
  uint32_t height = 0; // cell height in pixels, 1 to 64 once accepted (-b: to 1024)
  float xstep = 64.0f; // font units per pixel horizontally
  float ystep = 64.0f; // font units per pixel vertically
  uint32_t mask = 0;   // the row bit of the leftmost pixel
  bool in_bitmap = false;
  uint64_t glyphs = 0; // BITMAP lines seen
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
  // The BDF's glyphs and charset (-b): the glyphs written without a
  // Unicode value, and the font's charset.
  uint64_t unencoded = 0;
  font_charset charset;
  glyph_namer names;
  int32_t unicode = -1;                 // the open glyph's Unicode value
  int32_t advance_units = 0;            // -b: the open glyph's advance in font units
  bool strikes = false;                 // -s: each glyph must fit a strike
  size_set *sizes = nullptr;            // -s with several operands: the sizes read together
  std::unique_ptr<glyph_record> record; // -b: the open glyph, made once
};

// Takes the cell size from the tokens behind FONTBOUNDINGBOX, with bdf
// geometry its offsets too; returns the fatal message on invalid values,
// else nullptr.
const char *fontboundingbox_action(glyph_state &state, bdf_line &line,
                                   const conversion_options &options);

// Scales a FONT_ASCENT or FONT_DESCENT value into *units and keeps it in
// *pixels; returns message on invalid values.
const char *font_metric_action(const glyph_state &state, std::string_view value, int32_t *units,
                               int32_t *pixels, const char *message,
                               const conversion_options &options);

// Takes a glyph's box from the tokens behind BBX; returns the fatal message
// on values that can't be honoured, written into message (size bytes)
// where it states a limit, else nullptr.  A box is at most max_glyph_width
// by max_glyph_height pixels.
const char *bbx_action(glyph_state &state, bdf_line &line, char *message, size_t size);

// Takes a glyph's advance from the tokens behind DWIDTH; returns the fatal
// message on values that can't be honoured, written into message (size
// bytes) where it states a limit, else nullptr.
const char *dwidth_action(glyph_state &state, bdf_line &line, char *message, size_t size);

// The font's cell and its ascent and descent in pixels; the FONTBOUNDINGBOX
// stands in for a missing FONT_ASCENT or FONT_DESCENT.
font_pixels bdf_font_pixels(const glyph_state &state);

// Makes the pixel step units wide and tall; returns the ascent in those
// units, where the rows of glyphs start.
int32_t bdf_font_scale(glyph_state &state, float step);

// Starts a glyph under -b and forgets the last glyph's box: its record
// waits for the glyph's Unicode value, which its name may be made of.
void startchar_action(glyph_state &state, std::string_view name);

// Opens the glyph's record from an ENCODING value read as a number and
// mapped through the font's charset to Unicode: its name, Unicode value,
// index and whether a later size adds it.  Returns the message of a value
// that is no number.
const char *bdf_encoding_action(glyph_state &state, std::string_view value);

// Takes a CHARSET_REGISTRY (which 0) or CHARSET_ENCODING (which 1) value;
// returns the message of one too long to be a charset's name.
const char *charset_property_action(glyph_state &state, std::string_view value, int which);

// Takes the charset named by the last fields of a FONT value.
void xlfd_charset_action(glyph_state &state, std::string_view value);

// Releases the charset map.
void release_glyph_state(glyph_state &state);

// Makes the state ready for another run, keeping the buffers it has made.
void reset_glyph_state(glyph_state &state);

// Makes the state ready for the next size of the face: as reset_glyph_state,
// but the glyph names given out, the strike and the sizes stay.
void reset_face(glyph_state &state);

// Opens a bitmap block under -b at the glyph's box, which every glyph has,
// and counts the glyph.  A box or advance beyond the 16 bits of a font unit
// is an error, whose message is returned.
const char *bitmap_action(glyph_state &state);

// Ends the glyph; returns true where a bitmap block was open.
bool endchar_action(glyph_state &state);

// Reads a row of an open bitmap block as BDF, which is_hex_row accepts,
// into the record; returns its words, or nullptr with *message set for a
// row wider than the glyph's box or one too many.
const uint32_t *hex_row_action(glyph_state &state, std::string_view row, const char **message);


