// Glyphs wider than a 32-bit row (-b): their rows are held whole and drawn
// at the glyph's end in slabs of 32 columns, each slab drawn, traced and
// written as the rows of a narrow glyph are, so those paths stay 32 columns
// wide.
#pragma once

#include <cstdint>
#include <string_view>

// The largest glyph box drawn under -b.
constexpr uint32_t max_glyph_width = 128, max_glyph_height = 128;

// The columns of one slab, and the slabs of the widest glyph.
constexpr uint32_t slab_columns = 32;
constexpr uint32_t max_slabs = max_glyph_width / slab_columns;

// The rows of the open wide glyph and the top of its first row.
struct wide_rows {
  uint32_t words[max_glyph_height][max_slabs]; // pixel c of slab k at bit 31 - c of word k
  uint32_t count = 0;
  float top = 0.0f;
};

// The slabs of a row width pixels wide.
inline uint32_t slabs_of(uint32_t width) {
  return (width + slab_columns - 1) / slab_columns;
}

// The columns of slab k of a row width pixels wide.
inline uint32_t slab_width(uint32_t width, uint32_t k) {
  return width - k * slab_columns < slab_columns ? width - k * slab_columns : slab_columns;
}

// Reads a BDF row of a box width pixels wide, at most max_glyph_width, into
// one word per slab, missing digits 0; a row past the glyph's height is
// not kept.
void wide_add_row(wide_rows &wide, std::string_view token, uint32_t width);
