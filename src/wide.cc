#include "wide.h"

#include "glyph.h"

void wide_add_row(wide_rows &wide, std::string_view token, uint32_t width) {
  if (wide.count >= max_glyph_height) return;
  uint32_t *words = wide.words[wide.count++];
  // Each slab is eight digits of the row, so slab k starts at digit 8 k.
  for (uint32_t k = 0; k < slabs_of(width); k++) {
    const size_t from = 8 * k < token.size() ? 8 * k : token.size();
    words[k] = read_bdf_row(token.substr(from), slab_width(width, k));
  }
}
