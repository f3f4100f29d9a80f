// The CFF outlines read back: random glyphs made into a CFF table, its
// charstrings run through subroutines and filled by their winding, must
// give each glyph's pixels and advance, with the table's length and sum.

#include <algorithm>
#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sfnt.h"
#include "sfnt_bytes.h"

namespace {

uint32_t big(std::string_view s, size_t at, size_t n) {
  uint32_t v = 0;
  for (size_t i = 0; i < n; i++)
    v = v << 8 | static_cast<unsigned char>(s.at(at + i));
  return v;
}

// An INDEX's items, and where the data after it starts.
std::vector<std::string_view> read_index(std::string_view s, size_t &at) {
  const uint32_t count = big(s, at, 2);
  at += 2;
  std::vector<std::string_view> items;
  if (count == 0) return items;
  const uint32_t size = big(s, at++, 1);
  const size_t data = at + (count + 1) * size - 1;
  for (uint32_t i = 0; i < count; i++)
    items.push_back(s.substr(data + big(s, at + i * size, size),
                             big(s, at + (i + 1) * size, size) - big(s, at + i * size, size)));
  at = data + big(s, at + count * size, size);
  return items;
}

// A DICT's operators with their integer operands; reals read as 0.
std::map<int, std::vector<int32_t>> read_dict(std::string_view s) {
  std::map<int, std::vector<int32_t>> dict;
  std::vector<int32_t> operands;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b == 28 || b == 29) {
      const size_t n = b == 28 ? 2 : 4;
      operands.push_back(n == 2 ? static_cast<int16_t>(big(s, i + 1, 2))
                                : static_cast<int32_t>(big(s, i + 1, 4)));
      i += n + 1;
    } else if (b == 30) {
      while ((static_cast<unsigned char>(s[++i]) & 0x0F) != 0x0F) {
      }
      i++;
      operands.push_back(0);
    } else if (b >= 32) {
      const auto b1 = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
      operands.push_back(b <= 246   ? b - 139
                         : b <= 250 ? (b - 247) * 256 + b1 + 108
                                    : -(b - 251) * 256 - b1 - 108);
      i += b <= 246 ? 1 : 2;
    } else {
      const int op = b == 12 ? 1200 + static_cast<unsigned char>(s[++i]) : b;
      i++;
      dict[op] = operands;
      operands.clear();
    }
  }
  return dict;
}

int32_t bias(size_t count) {
  return count < 1240 ? 107 : count < 33900 ? 1131 : 32768;
}

// Runs a charstring: the vertical edges of its contours, and its width.
struct machine {
  std::vector<std::string_view> global, local;
  int32_t default_width = 0, nominal_width = 0;
  std::vector<int32_t> stack;
  int32_t x = 0, y = 0, start_x = 0, start_y = 0, width = -1;
  bool open = false;
  std::vector<std::array<int32_t, 3>> edges; // x, y from, y to

  void line_to(int32_t nx, int32_t ny) {
    if (nx == x && ny != y) edges.push_back({x, y, ny});
    ASSERT_TRUE(nx == x || ny == y) << "a diagonal edge";
    x = nx;
    y = ny;
  }
  // The edge back to the contour's start; the current point stays at its
  // last point, where the next move counts from.
  void close() {
    ASSERT_TRUE(start_x == x || start_y == y) << "a diagonal edge";
    if (open && start_x == x && start_y != y) edges.push_back({x, y, start_y});
    open = false;
  }
  void take_width(size_t wanted) {
    if (width >= 0) return;
    width = stack.size() > wanted ? nominal_width + stack.front() : default_width;
    if (stack.size() > wanted) stack.erase(stack.begin());
  }
  void run(std::string_view code, int depth) {
    ASSERT_LT(depth, 10);
    for (size_t i = 0; i < code.size();) {
      const auto b = static_cast<unsigned char>(code[i]);
      if (b == 28) {
        stack.push_back(static_cast<int16_t>(big(code, i + 1, 2)));
        i += 3;
        continue;
      }
      if (b >= 32) {
        const auto b1 = i + 1 < code.size() ? static_cast<unsigned char>(code[i + 1]) : 0;
        stack.push_back(b <= 246   ? b - 139
                        : b <= 250 ? (b - 247) * 256 + b1 + 108
                                   : -(b - 251) * 256 - b1 - 108);
        i += b <= 246 ? 1 : 2;
        continue;
      }
      i++;
      ASSERT_LE(stack.size(), 48u);
      if (b == 21 || b == 22 || b == 4) {
        take_width(b == 21 ? 2 : 1);
        close();
        x += b == 4 ? 0 : stack[0];
        y += b == 22 ? 0 : stack[b == 21 ? 1 : 0];
        start_x = x;
        start_y = y;
        open = true;
      } else if (b == 6 || b == 7) {
        bool horizontal = b == 6;
        for (const int32_t d : stack) {
          line_to(horizontal ? x + d : x, horizontal ? y : y + d);
          horizontal = !horizontal;
        }
      } else if (b == 10 || b == 29) {
        const auto &subrs = b == 10 ? local : global;
        const int32_t index = stack.back() + bias(subrs.size());
        stack.pop_back();
        ASSERT_TRUE(index >= 0 && static_cast<size_t>(index) < subrs.size());
        run(subrs[static_cast<size_t>(index)], depth + 1);
        continue;
      } else if (b == 11) {
        return;
      } else {
        ASSERT_EQ(b, 14) << "an operator not made";
        take_width(0);
        close();
      }
      stack.clear();
    }
  }
  bool filled(int32_t px, int32_t py) const {
    // The winding at the pixel's centre, counted along a ray to the right.
    int winding = 0;
    for (const auto &[ex, from, to] : edges)
      if (ex > px && std::min(from, to) <= py && py < std::max(from, to))
        winding += to > from ? 1 : -1;
    return winding != 0;
  }
};

TEST(cff, random_glyphs_read_back_as_their_pixels) {
  std::mt19937 rng(20261210);
  const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  sfnt_state font;
  ASSERT_TRUE(sfnt_open(font, true));
  font.cff_outlines = true;
  ASSERT_TRUE(cff_open(font.cff, true));
  std::vector<glyph_record> records(300);
  for (size_t g = 0; g < records.size(); g++) {
    glyph_record &r = records[g];
    // Small glyphs repeat, so that subroutines are made; large ones pass a
    // slab of 32 columns and a band of 64 rows.
    const bool small = g % 2 == 0;
    r.box = {1 + pick(small ? 3 : 70), 1 + pick(small ? 3 : 70), static_cast<int32_t>(pick(11)) - 5,
             static_cast<int32_t>(pick(11)) - 5};
    r.count = g % 17 == 0 ? 0 : r.box.height;
    const uint32_t density = pick(4);
    for (uint32_t row = 0; row < r.count; row++)
      for (uint32_t k = 0; k < max_slabs; k++) {
        uint32_t bits = static_cast<uint32_t>(rng());
        for (uint32_t d = 0; d < density; d++)
          bits &= static_cast<uint32_t>(rng());
        const uint32_t columns = k < slabs_of(r.box.width) ? slab_width(r.box.width, k) : 0;
        r.words[row][k] = columns == 0 ? 0 : columns == 32 ? bits : bits & ~(~0u >> columns);
      }
    ASSERT_EQ(sfnt_take(font, r, 1, static_cast<int32_t>(pick(80)), true), nullptr);
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
  EXPECT_EQ(table.size(), length);
  EXPECT_EQ(checksum(table.data(), table.size()), sum);

  size_t at = static_cast<unsigned char>(table[2]);
  read_index(table, at); // the name
  const auto top = read_dict(read_index(table, at).at(0));
  read_index(table, at); // the strings
  machine m;
  m.global = read_index(table, at);
  size_t where = static_cast<size_t>(top.at(1236).at(0));
  const auto private_at = read_dict(read_index(table, where).at(0)).at(18);
  const auto private_dict = read_dict(std::string_view(table).substr(
      static_cast<size_t>(private_at[1]), static_cast<size_t>(private_at[0])));
  m.default_width = private_dict.at(20).at(0);
  m.nominal_width = private_dict.at(21).at(0);
  if (private_dict.count(19) != 0) {
    where = static_cast<size_t>(private_at[1] + private_dict.at(19).at(0));
    m.local = read_index(table, where);
  }
  where = static_cast<size_t>(top.at(17).at(0));
  const auto charstrings = read_index(table, where);
  ASSERT_EQ(charstrings.size(), records.size() + 1);
  EXPECT_GT(m.global.size() + m.local.size(), 0u);
  for (size_t g = 0; g < records.size(); g++) {
    const glyph_record &r = records[g];
    machine run = m;
    run.run(charstrings[g + 1], 0);
    EXPECT_EQ(run.width, font.advances[g + 1]) << "glyph " << g;
    int wrong = 0;
    for (int32_t row = -2; row < static_cast<int32_t>(r.box.height) + 2; row++)
      for (int32_t column = -2; column < static_cast<int32_t>(r.box.width) + 2; column++) {
        const bool inside = row >= 0 && column >= 0 && static_cast<uint32_t>(row) < r.count &&
                            static_cast<uint32_t>(column) < r.box.width;
        const bool set = inside && (r.words[row][column / 32] >> (31 - column % 32) & 1) != 0;
        const int32_t px = r.box.x + column,
                      py = r.box.y + static_cast<int32_t>(r.box.height) - 1 - row;
        wrong += set != run.filled(px, py);
      }
    EXPECT_EQ(wrong, 0) << "glyph " << g;
  }
  sfnt_close(font);
}

} // namespace
