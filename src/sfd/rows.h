// The square contours of bitmap rows, written from ready-made texts.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "io/io.h"

// Room for "%f" of any float: 39 integer digits, sign, point and six decimals.
constexpr size_t number_room = 48;

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

// Makes sure the texts hold at least width columns from first_column on.
void ensure_cell(pixel_texts &texts, int32_t first_column, uint32_t width, float xstep,
                 float ystep);

// The pixels a row sets, pixel i at bit 31 - i: pixel i is row bit (high - i),
// high being the mask's bit, and pixels beyond bit 0 are never set.
uint32_t row_pixels(uint32_t row, uint32_t mask, uint32_t width);

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

// The bits of a float, which tell row tops apart exactly.
inline uint32_t float_bits(float value) {
  return std::bit_cast<uint32_t>(value);
}

// Copies text to to; returns the end of the copy.
inline char *put(char *to, std::string_view text) {
  std::memcpy(to, text.data(), text.size());
  return to + text.size();
}
