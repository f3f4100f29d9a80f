// The bitmap strike (-s): every glyph's bitmap at its own box and advance,
// written after the glyph records as one FontForge BitmapFont section.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "io/io.h"
#include "font/record.h"

// The strike being collected.  Its properties and glyphs go to a spool as
// they come, an unnamed temporary file or, in-process, a string, and are
// copied to the output at the end, so memory stays bounded.
struct strike_state {
  output spool;
  int spool_fd = -1;                               // the temporary file, or -1 for a string
  std::string spool_text;                          // the spool of an in-process run
  uint32_t properties = 0;                         // property lines spooled
  uint32_t left_out = 0;                           // properties FontForge would misread
  int32_t resolution = 0;                          // from SIZE or RESOLUTION_Y, 0 while unknown
  int32_t pixel_size = 0, ascent = 0, descent = 0; // in pixels, known at CHARS
  uint64_t glyphs = 0;                             // glyphs spooled, each with its glyph index
  // The open glyph: its index, encoding slot, advance and box in pixels, and
  // its rows, each as many bytes as its width needs.
  uint64_t index = 0;
  int64_t slot = 0;
  int32_t advance = 0, x = 0, y = 0;
  uint32_t width = 0, height = 0, rows = 0;
  uint8_t bytes[128 * 16];
};

// Opens the spool: an unnamed file in $TMPDIR or /tmp when in_memory is
// false, else a string.  Returns false with errno set if it can't be made.
bool strike_open(strike_state &strike, bool in_memory);

// Releases the spool.
void strike_close(strike_state &strike);

// Keeps a header line (FONT, SIZE, FONTBOUNDINGBOX) or a property line as
// FontForge keeps a strike's BDF properties; value is as it stands in the
// BDF.  A property named like a keyword of FontForge's strike section is
// left out and counted, since FontForge would end the section there.
void strike_property(strike_state &strike, std::string_view name, std::string_view value,
                     bool header_line);

// Ends the properties once the font's pixel size, ascent and descent are known.
void strike_metrics(strike_state &strike, int32_t pixel_size, int32_t ascent, int32_t descent);


// Opens a glyph's bitmap: its index, its slot in FontForge's map (its
// Unicode value, or past 65535 for none), its advance and its box in pixels.
void strike_glyph(strike_state &strike, uint64_t index, int64_t slot, int32_t advance, int32_t x,
                  int32_t y, uint32_t width, uint32_t height);

// Adds a row of the open glyph given as words of 32 pixels, pixel c of
// word k at bit 31 - c, for a glyph up to 128 pixels wide.
void strike_wide_row(strike_state &strike, const uint32_t *words);

// Spools the open glyph.
void strike_glyph_end(strike_state &strike);

// Writes out what the spool holds and lets its buffer go, keeping its
// file, while other strikes are collected; an error stays in spool.error.
void strike_rest(strike_state &strike);

// Gives a strike put to rest its buffer again; false if it can't be had.
bool strike_resume(strike_state &strike);

// Writes the BitmapFont section with everything spooled; returns false with
// errno set if the spool can't be read back.
bool strike_write(strike_state &strike, output &out);

// Takes a whole glyph of the BDF's own reading: its place, advance, box and rows.
void strike_take(strike_state &strike, const glyph_record &record);

