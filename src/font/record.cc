#include "font/record.h"

#include <algorithm>
#include <array>
#include <bit>

#include "io/compat.h"

namespace {

// The value of each byte as a hexadecimal digit, or 16 for any other byte.
constexpr auto hex_digits = [] {
  std::array<uint8_t, 256> table{};
  for (auto &digit : table)
    digit = 16;
  for (int c = 0; c < 10; c++)
    table['0' + c] = static_cast<uint8_t>(c);
  for (int c = 0; c < 6; c++) {
    table['a' + c] = static_cast<uint8_t>(10 + c);
    table['A' + c] = static_cast<uint8_t>(10 + c);
  }
  return table;
}();

} // namespace

uint64_t read_row(std::string_view token) {
  bool negative;
  size_t i = skip_space_and_sign(token, &negative);
  const size_t n = token.size();
  if (i + 1 < n && token[i] == '0' && (token[i + 1] == 'x' || token[i + 1] == 'X')) i += 2;
  uint64_t value = 0;
  bool overflow = false;
  for (; i < n; i++) {
    const uint8_t digit = hex_digits[static_cast<unsigned char>(token[i])];
    if (digit > 15) break;
    if (value > (UINT64_MAX >> 4)) overflow = true;
    value = value << 4 | digit;
  }
  if (overflow) return UINT64_MAX;
  return negative ? 0 - value : value;
}

uint32_t read_bdf_row(std::string_view token, uint32_t width) {
  if (width == 0) return 0;
  const size_t digits = 2 * ((width + 7) / 8);
  const size_t given = token.size() < digits ? token.size() : digits;
  // The digits up to the first that is none, the rest zeros.
  uint64_t value = 0;
  size_t i = 0;
  for (; i < given; i++) {
    const uint8_t digit = hex_digits[static_cast<unsigned char>(token[i])];
    if (digit > 15) break;
    value = value << 4 | digit;
  }
  const auto row = static_cast<uint32_t>(value << (4 * (digits - i)) << (32 - 4 * digits));
  return width == 32 ? row : row & ~(UINT32_MAX >> width);
}

bool is_hex_row(std::string_view text) {
  for (const char c : text)
    if (hex_digits[static_cast<unsigned char>(c)] > 15) return false;
  return !text.empty();
}


bool record_ink(const glyph_record &record, ink_extent &ink) {
  const uint32_t slabs = slabs_of(record.box.width);
  uint32_t columns[max_slabs] = {};
  ink.first = record.count;
  ink.last = 0;
  for (uint32_t r = 0; r < record.count; r++) {
    uint32_t any = 0;
    for (uint32_t k = 0; k < slabs; k++) {
      columns[k] |= record.words[r][k];
      any |= record.words[r][k];
    }
    if (any != 0) ink.first = std::min(ink.first, r), ink.last = r + 1;
  }
  if (ink.first == record.count) return false;
  ink.from = ink.end = 0;
  for (uint32_t k = slabs; k-- > 0;)
    if (columns[k] != 0)
      ink.from = k * slab_columns + static_cast<uint32_t>(std::countl_zero(columns[k]));
  for (uint32_t k = 0; k < slabs; k++)
    if (columns[k] != 0)
      ink.end = (k + 1) * slab_columns - static_cast<uint32_t>(std::countr_zero(columns[k]));
  return true;
}

const uint32_t *record_add_row(glyph_record &record, std::string_view token) {
  if (record.count >= max_glyph_height) return record.words[max_glyph_height - 1];
  uint32_t *words = record.words[record.count++];
  const uint32_t width = record.box.width;
  // Each slab is eight digits of the row, so slab k starts at digit 8 k.
  for (uint32_t k = 0; k < slabs_of(width); k++) {
    const size_t from = 8 * k < token.size() ? 8 * k : token.size();
    words[k] = read_bdf_row(token.substr(from), slab_width(width, k));
  }
  return words;
}
