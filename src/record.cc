#include "record.h"

#include "glyph.h"

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
