// One glyph of the BDF's own reading (-b) as the reader hands it to the
// writers that take it whole, the strike and the index of several sizes:
// its place in the font, its advance, its box and its rows.  Glyphs wider
// than a 32-bit row are drawn from it at their end in slabs of 32 columns,
// each slab drawn, traced and written as the rows of a narrow glyph are, so
// those paths stay 32 columns wide.
#pragma once

#include <cstdint>
#include <string_view>

// The largest glyph box drawn under -b.
constexpr uint32_t max_glyph_width = 128, max_glyph_height = 128;

// The columns of one slab, and the slabs of the widest glyph.
constexpr uint32_t slab_columns = 32;
constexpr uint32_t max_slabs = max_glyph_width / slab_columns;

// A glyph's box in pixels: its size and the offset of its lower left corner
// from the origin.
struct glyph_box {
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t x = 0;
  int32_t y = 0;
};

// The open glyph: where the strike and the sizes put it, its advance and
// box in pixels, and its rows so far.
struct glyph_record {
  char name[64]; // its name as written, made by the glyph namer
  uint8_t name_length = 0;
  int32_t unicode = -1;
  uint64_t index = 0; // its glyph index in the font
  int64_t slot = 0;   // the strike's place for it
  bool added = false; // a later size's glyph the first lacks, given a record of its own
  int32_t advance = 0;
  glyph_box box;
  uint32_t words[max_glyph_height][max_slabs]; // pixel c of slab k at bit 31 - c of word k
  uint32_t count = 0;                          // rows read
};

// The slabs of a row width pixels wide.
inline uint32_t slabs_of(uint32_t width) {
  return (width + slab_columns - 1) / slab_columns;
}

// The columns of slab k of a row width pixels wide.
inline uint32_t slab_width(uint32_t width, uint32_t k) {
  return width - k * slab_columns < slab_columns ? width - k * slab_columns : slab_columns;
}

// Reads a BDF row of the record's box, at most max_glyph_width pixels
// wide, into one word per slab, missing digits 0; returns the row's words.
// A row past the glyph's height is not kept.
const uint32_t *record_add_row(glyph_record &record, std::string_view token);

// A glyph's slot in FontForge's map: its Unicode value, or for the record
// that is the nth without one (from 0), the nth slot past the 65536 of the map.
inline int64_t strike_slot(int32_t unicode, uint64_t unencoded_before) {
  return unicode >= 0 ? unicode : 65536 + static_cast<int64_t>(unencoded_before);
}

// The rows and columns of a record's set pixels: rows first to last - 1
// from the top of its box, columns from to end - 1 from its left.
struct ink_extent {
  uint32_t first = 0, last = 0, from = 0, end = 0;
};

// The extent of the record's ink; false for a record of no ink.
bool record_ink(const glyph_record &record, ink_extent &ink);

// True for a non-empty text of hexadecimal digits alone, as a row under -b is.
bool is_hex_row(std::string_view text);

// Reads a row as strtoul with base 16 reads it into 64 bits.
uint64_t read_row(std::string_view token);

// Reads a row of a box width pixels wide as BDF defines it: ceil(width / 8)
// bytes from the left, missing digits 0; returns pixel c at bit 31 - c.
uint32_t read_bdf_row(std::string_view token, uint32_t width);
