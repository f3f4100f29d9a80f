// The CFF table's length and checksum, which are known before its
// charstrings are written: no sanitizer or renderer checks them.  What the
// outlines draw is held to FreeType by the real-font checks.

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sfnt/sfnt.h"
#include "sfnt/sfnt_bytes.h"

namespace {

TEST(cff, length_and_sum_are_those_of_the_table_written) {
  std::mt19937 rng(20261210);
  const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  // Some glyph counts leave the charstrings at each place in a word.
  for (const uint32_t glyphs : {1u, 2u, 3u, 40u, 301u}) {
    sfnt_state font;
    ASSERT_TRUE(sfnt_open(font, true));
    font.cff_outlines = true;
    ASSERT_TRUE(cff_open(font.cff, true));
    auto record = std::make_unique<glyph_record>();
    for (uint32_t g = 0; g < glyphs; g++) {
      glyph_record &r = *record;
      // Small glyphs repeat, so that subroutines are made.
      const uint32_t most = g % 2 == 0 ? 3 : 40;
      r.box = {1 + pick(most), 1 + pick(most), static_cast<int32_t>(pick(11)) - 5,
               static_cast<int32_t>(pick(11)) - 5};
      r.count = r.box.height;
      for (uint32_t row = 0; row < r.count; row++)
        for (uint32_t k = 0; k < slabs_of(r.box.width); k++)
          r.words[row][k] = static_cast<uint32_t>(
              (uint64_t{rng()} << 32 & ~0ull << (64 - slab_width(r.box.width, k))) >> 32);
      ASSERT_EQ(sfnt_take(font, r, 1, static_cast<int32_t>(pick(80)), true, true), nullptr);
    }
    std::string table, front;
    output out;
    ASSERT_TRUE(output_open(out, -1, &table));
    uint32_t length = 0, sum = 0;
    const int32_t box[4] = {font.x_min, font.y_min, font.x_max, font.y_max};
    ASSERT_TRUE(cff_table(font.cff, font.advances, 64, box, "Test", front, length, sum));
    output_write(out, front);
    ASSERT_TRUE(cff_stream(font.cff, font.advances, out));
    output_flush(out);
    output_close(out);
    EXPECT_EQ(table.size(), length) << glyphs << " glyphs";
    EXPECT_EQ(checksum(table.data(), table.size()), sum) << glyphs << " glyphs";
    EXPECT_TRUE(glyphs < 100 || table.size() > 4000) << "the glyphs have ink";
    sfnt_close(font);
  }
}

} // namespace
