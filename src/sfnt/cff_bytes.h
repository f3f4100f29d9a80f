// The bytes of CFF's own encodings: numbers as charstrings and DICTs read
// them, DICT offsets and reals, and INDEX structures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Appends a number as charstrings and DICTs both read it, up to 16 bits;
// DICTs alone take the 32-bit form it uses past that.
void put_number(std::string &to, int32_t v);

// Writes v as put_number does, at to; returns the next free byte.
inline char *put_short_number(char *to, int32_t v) {
  if (v >= -107 && v <= 107) {
    *to++ = static_cast<char>(v + 139);
  } else if (v >= 108 && v <= 1131) {
    *to++ = static_cast<char>(((v - 108) >> 8) + 247);
    *to++ = static_cast<char>((v - 108) & 0xFF);
  } else if (v >= -1131 && v <= -108) {
    *to++ = static_cast<char>(((-v - 108) >> 8) + 251);
    *to++ = static_cast<char>((-v - 108) & 0xFF);
  } else if (v >= -32768 && v <= 32767) {
    *to++ = '\x1c';
    *to++ = static_cast<char>(v >> 8 & 0xFF);
    *to++ = static_cast<char>(v & 0xFF);
  } else {
    *to++ = '\x1d';
    for (int shift = 24; shift >= 0; shift -= 8)
      *to++ = static_cast<char>(v >> shift & 0xFF);
  }
  return to;
}

// The bytes put_number takes for v, up to 16 bits.
size_t number_size(int32_t v);

// Appends a DICT offset in the 5-byte form, so that a DICT's size does not
// depend on where things land.
void put_offset(std::string &to, uint32_t v);

// Appends a real number of a DICT, in its nibbles.
void put_real(std::string &to, double value);

// Appends an INDEX's head for items ending at ends within its data.
void put_index_head(std::string &to, const std::vector<uint32_t> &ends);

// Appends an INDEX of items, head and data.
void put_index(std::string &to, const std::vector<std::string_view> &items);
