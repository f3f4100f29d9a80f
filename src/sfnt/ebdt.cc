#include "sfnt/ebdt.h"

#include <algorithm>
#include <tuple>
#include <vector>

#include "bdf/bdf.h"
#include "io/compat.h"
#include "sfnt/sfnt_bytes.h"

namespace {

int8_t clamp8(int32_t value) {
  return static_cast<int8_t>(std::clamp(value, -128, 127));
}

// A glyph's image of format 2 cropped to its ink, which most glyphs of a
// cell font leave room around; an image of no ink is one blank pixel.
std::string cropped(std::string_view image) {
  const auto height = static_cast<uint8_t>(image[0]), width = static_cast<uint8_t>(image[1]);
  const auto bit = [&](uint32_t r, uint32_t c) {
    const size_t n = size_t{r} * width + c;
    return (static_cast<uint8_t>(image[5 + n / 8]) >> (7 - n % 8) & 1) != 0;
  };
  uint32_t top = height, bottom = 0, left = width, right = 0;
  for (uint32_t r = 0; r < height; r++)
    for (uint32_t c = 0; c < width; c++)
      if (bit(r, c)) {
        top = std::min(top, r), bottom = std::max(bottom, r + 1);
        left = std::min(left, c), right = std::max(right, c + 1);
      }
  std::string out;
  if (top == height) {
    out = {1, 1, 0, 0, image[4], 0};
    return out;
  }
  const uint32_t h = bottom - top, w = right - left;
  out += static_cast<char>(h);
  out += static_cast<char>(w);
  out += static_cast<char>(static_cast<int8_t>(image[2]) + static_cast<int32_t>(left));
  out += static_cast<char>(static_cast<int8_t>(image[3]) - static_cast<int32_t>(top));
  out += image[4];
  uint32_t byte = 0, bits = 0;
  for (uint32_t r = top; r < bottom; r++)
    for (uint32_t c = left; c < right; c++) {
      byte = byte << 1 | (bit(r, c) ? 1 : 0);
      if (++bits == 8) {
        out += static_cast<char>(byte);
        byte = bits = 0;
      }
    }
  if (bits > 0) out += static_cast<char>(byte << (8 - bits));
  return out;
}

} // namespace

void ebdt_tables(strike_set &font, std::string &eblc, std::string &ebdt) {
  // A size of no glyph has no strike.  Each strike's index subtables cover
  // runs of consecutive glyph indexes, its images written in their order.
  std::erase_if(font.strikes, [](const sfnt_strike &strike) { return strike.glyphs.empty(); });
  put32(ebdt, 0x00020000);
  put32(eblc, 0x00020000);
  put32(eblc, static_cast<uint32_t>(font.strikes.size()));
  std::string arrays;
  const size_t arrays_start = 8 + 48 * font.strikes.size();
  for (sfnt_strike &strike : font.strikes) {
    std::sort(strike.glyphs.begin(), strike.glyphs.end());
    // Runs of consecutive glyph indexes, split where the metrics change
    // between long runs of one box and advance: those keep their metrics
    // once, in the index (format 2, images of format 5, bits alone).
    struct run {
      size_t first, end;
      bool constant;
    };
    std::vector<run> runs;
    const auto metrics = [&](size_t i) {
      return std::string_view(strike.data).substr(strike.glyphs[i].offset, 5);
    };
    // Each image cropped once: for choosing the runs and for writing them.
    std::vector<std::string> images;
    for (const auto &g : strike.glyphs)
      images.push_back(cropped(std::string_view(strike.data).substr(g.offset, g.length)));
    for (size_t i = 0; i < strike.glyphs.size();) {
      size_t end = i + 1;
      while (end < strike.glyphs.size() &&
             strike.glyphs[end].glyph == strike.glyphs[end - 1].glyph + 1)
        end++;
      // Within the consecutive glyphs, a run of one box and advance keeps
      // its metrics once where that is smaller than cropping each glyph.
      for (size_t j = i; j < end;) {
        size_t same = j + 1;
        while (same < end && metrics(same) == metrics(j))
          same++;
        size_t apart = 0;
        for (size_t k = j; k < same; k++)
          apart += 2 + images[k].size();
        const bool constant = 28 + (same - j) * (strike.glyphs[j].length - 5) < apart;
        if (constant || j == i || runs.back().constant)
          runs.push_back({j, same, constant});
        else
          runs.back().end = same;
        j = same;
      }
      i = end;
    }
    const size_t array_offset = arrays_start + arrays.size();
    // Each subtable's glyph range and offset among the subtables.
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> entries;
    std::string subtables;
    const auto open_subtable = [&](size_t first, bool constant) {
      entries.emplace_back(strike.glyphs[first].glyph, 0, subtables.size());
      put16(subtables, constant ? 2 : 3);
      put16(subtables, constant ? 5 : 2);
      put32(subtables, static_cast<uint32_t>(ebdt.size()));
    };
    for (const run &r : runs) {
      if (r.constant) {
        open_subtable(r.first, true);
        std::get<1>(entries.back()) = strike.glyphs[r.end - 1].glyph;
        put32(subtables, strike.glyphs[r.first].length - 5);
        // Big metrics: the small ones, then no vertical ones.
        subtables += metrics(r.first);
        subtables += std::string(3, '\0');
        for (size_t i = r.first; i < r.end; i++)
          ebdt.append(strike.data, strike.glyphs[i].offset + 5, strike.glyphs[i].length - 5);
        continue;
      }
      // The images cropped, with offsets of 16 bits: a subtable ends where
      // its images would pass them.
      uint32_t image_start = 0;
      for (size_t i = r.first; i < r.end; i++) {
        const std::string &image = images[i];
        if (i == r.first || ebdt.size() + image.size() - image_start > 0xFFFF) {
          if (i != r.first) {
            put16(subtables, static_cast<uint32_t>(ebdt.size() - image_start));
            pad4(subtables);
          }
          open_subtable(i, false);
          image_start = static_cast<uint32_t>(ebdt.size());
        }
        std::get<1>(entries.back()) = strike.glyphs[i].glyph;
        put16(subtables, static_cast<uint32_t>(ebdt.size() - image_start));
        ebdt += image;
      }
      put16(subtables, static_cast<uint32_t>(ebdt.size() - image_start));
      pad4(subtables);
    }
    std::string array;
    for (const auto &[first, last, offset] : entries) {
      put16(array, first);
      put16(array, last);
      put32(array, static_cast<uint32_t>(8 * entries.size() + offset));
    }
    arrays += array + subtables;
    put32(eblc, static_cast<uint32_t>(array_offset));
    put32(eblc, static_cast<uint32_t>(array.size() + subtables.size()));
    put32(eblc, static_cast<uint32_t>(entries.size()));
    put32(eblc, 0);
    for (int direction = 0; direction < 2; direction++) {
      const int32_t values[12] = {
          strike.ascent,      -strike.descent,   strike.width_max, 1, 0, 0, strike.min_origin,
          strike.min_advance, strike.max_before, strike.min_after, 0, 0};
      for (const int32_t v : values)
        eblc += static_cast<char>(direction == 0 ? clamp8(v) : 0);
    }
    put16(eblc, strike.glyphs.empty() ? 0 : strike.glyphs.front().glyph);
    put16(eblc, strike.glyphs.empty() ? 0 : strike.glyphs.back().glyph);
    eblc += static_cast<char>(strike.ppem);
    eblc += static_cast<char>(strike.ppem);
    eblc += '\1'; // one bit a pixel
    eblc += '\1'; // horizontal
  }
  eblc += arrays;
}

// fontconfig finds a bitmap font's spacing in this table, as FontForge writes it.
std::string bdf_table(const strike_set &font) {
  std::string head, entries, strings;
  put16(head, 1);
  put16(head, static_cast<uint32_t>(font.strikes.size()));
  size_t count = 0;
  for (const sfnt_strike &strike : font.strikes) {
    put16(head, static_cast<uint32_t>(strike.ppem));
    put16(head, static_cast<uint32_t>(strike.properties.size()));
    for (const auto &[name, typed] : strike.properties) {
      put32(entries, static_cast<uint32_t>(strings.size()));
      strings += name;
      strings += '\0';
      put16(entries, typed.first);
      if ((typed.first & 15) == 2) {
        put32(entries, static_cast<uint32_t>(std::stoll(typed.second)));
      } else {
        put32(entries, static_cast<uint32_t>(strings.size()));
        strings += typed.second;
        strings += '\0';
      }
      count++;
    }
  }
  std::string table;
  put16(table, 1);
  put16(table, static_cast<uint32_t>(font.strikes.size()));
  put32(table, static_cast<uint32_t>(8 + 4 * font.strikes.size() + 10 * count));
  return table + head.substr(4) + entries + strings;
}

void ebdt_property(strike_set &font, std::string_view name, std::string_view value,
                   bool header_line) {
  // As FontForge keeps them: header lines as atoms (1), properties (16) as
  // strings (0) or integers (2).
  uint16_t type = 1;
  std::string text(value);
  if (!header_line) {
    const char *error = nullptr;
    const long long number = bounded_number(value, INT32_MIN, INT32_MAX, &error);
    type = error == nullptr ? 0x12 : 0x10;
    if (error == nullptr) {
      text = std::to_string(number);
    } else {
      text.resize(read_bdf_string(value, text.data()));
    }
  }
  font.pending.emplace_back(std::string(name), std::make_pair(type, std::move(text)));
}

void ebdt_start(strike_set &font, int32_t ppem, int32_t ascent, int32_t descent) {
  sfnt_strike &strike = font.strikes.emplace_back();
  strike.ppem = ppem;
  strike.ascent = ascent;
  strike.descent = descent;
  strike.properties = std::move(font.pending);
  font.pending.clear();
}

void ebdt_glyph(strike_set &font, const glyph_record &record) {
  if (font.strikes.empty()) return;
  sfnt_strike &strike = font.strikes.back();
  const glyph_box &box = record.box;
  // An empty bitmap is one blank pixel, which every reader takes.
  const bool empty = box.width == 0 || box.height == 0;
  const uint32_t width = empty ? 1 : box.width, height = empty ? 1 : box.height;
  const int32_t left = empty ? 0 : box.x, top = empty ? 0 : box.y + static_cast<int32_t>(height);
  std::string &d = strike.data;
  const size_t start = d.size();
  for (const int32_t v :
       {static_cast<int32_t>(height), static_cast<int32_t>(width), left, top, record.advance})
    d += static_cast<char>(v);
  // The rows run on without padding: each slab's pixels go into an
  // accumulator whose whole bytes are written as they fill.
  uint64_t held = 0;
  uint32_t bits = 0;
  for (uint32_t r = 0; r < height; r++)
    for (uint32_t k = 0; k < slabs_of(width); k++) {
      const uint32_t columns = slab_width(width, k);
      const uint32_t word = !empty && r < record.count ? record.words[r][k] : 0;
      held = held << columns | word >> (32 - columns);
      for (bits += columns; bits >= 8; bits -= 8)
        d += static_cast<char>(held >> (bits - 8) & 0xFF);
    }
  if (bits > 0) d += static_cast<char>(held << (8 - bits) & 0xFF);
  strike.glyphs.push_back({static_cast<uint32_t>(record.index + 1), static_cast<uint32_t>(start),
                           static_cast<uint32_t>(d.size() - start)});
  const int32_t right = left + static_cast<int32_t>(width);
  const int32_t bottom = top - static_cast<int32_t>(height);
  strike.width_max = std::max<int32_t>(strike.width_max, record.advance);
  strike.min_origin = strike.any ? std::min(strike.min_origin, left) : left;
  strike.min_advance =
      strike.any ? std::min(strike.min_advance, record.advance - right) : record.advance - right;
  strike.max_before = strike.any ? std::max(strike.max_before, top) : top;
  strike.min_after = strike.any ? std::min(strike.min_after, bottom) : bottom;
  strike.any = true;
}
