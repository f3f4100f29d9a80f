#include "sfnt/ebdt.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <tuple>
#include <vector>

#include "bdf/bdf.h"
#include "io/compat.h"
#include "sfnt/sfnt_bytes.h"

namespace {

int8_t clamp8(int32_t value) {
  return static_cast<int8_t>(std::clamp(value, -128, 127));
}

// Appends the record's image of format 2 cropped to its ink, which most
// glyphs of a cell font leave room around, its metrics those of the image
// at left, top; an image of no ink is one blank pixel.
void crop(std::string &to, const glyph_record &record, int32_t left, int32_t top) {
  ink_extent ink;
  if (!record_ink(record, ink)) {
    to += {1, 1, 0, 0, static_cast<char>(record.advance), 0};
    return;
  }
  // The cropped image's offsets are 8 bits like the box's: where cropping
  // would carry them past, blank columns or rows stay in the image.
  const uint32_t from = std::min<uint32_t>(ink.from, static_cast<uint32_t>(127 - left));
  const uint32_t first = std::min<uint32_t>(ink.first, static_cast<uint32_t>(top + 128));
  const uint32_t last = ink.last, end = ink.end;
  to += static_cast<char>(last - first);
  to += static_cast<char>(end - from);
  to += static_cast<char>(left + static_cast<int32_t>(from));
  to += static_cast<char>(top - static_cast<int32_t>(first));
  to += static_cast<char>(record.advance);
  uint64_t held = 0;
  uint32_t bits = 0;
  for (uint32_t r = first; r < last; r++)
    for (uint32_t c = from; c < end;) {
      const uint32_t offset = c % slab_columns;
      const uint32_t n = std::min(slab_columns - offset, end - c);
      held = held << n | (record.words[r][c / slab_columns] << offset) >> (32 - n);
      c += n;
      for (bits += n; bits >= 8; bits -= 8)
        to += static_cast<char>(held >> (bits - 8) & 0xFF);
    }
  if (bits > 0) to += static_cast<char>(held << (8 - bits) & 0xFF);
}

// A run of a strike's glyphs (first to end, by their place among the
// strike's glyphs) that one index subtable or more covers: with constant,
// one box and advance kept once, in the index (format 2, images of format
// 5, bits alone), else each image cropped with its metrics (format 3 of
// images of format 2).
struct image_run {
  size_t first, end;
  bool constant;
};

// The runs of a strike's images, in the fewest bytes: within each stretch
// of consecutive glyph indexes, each glyph goes in a run of one box and
// advance kept once (its bits alone) or in a run of cropped images (with
// their metrics and a 16-bit offset each), chosen glyph by glyph for the
// least bytes in all, each new run costing its subtable.
std::vector<image_run> runs_of(const sfnt_strike &strike) {
  const auto metrics = [&](size_t i) {
    return std::string_view(strike.data).substr(strike.glyphs[i].offset, 5);
  };
  // An index entry and a subtable's header: format 2 with its size and
  // big metrics, format 3 with its last offset and padding.
  constexpr size_t constant_run = 8 + 8 + 4 + 8, cropped_run = 8 + 8 + 2 + 2;
  std::vector<image_run> runs;
  // The least bytes of the stretch so far, with glyph k in a run of each
  // kind, and whether that run began with it.
  std::vector<size_t> cost[2];
  std::vector<bool> began[2];
  for (size_t i = 0; i < strike.glyphs.size();) {
    size_t end = i + 1;
    while (end < strike.glyphs.size() &&
           strike.glyphs[end].glyph == strike.glyphs[end - 1].glyph + 1)
      end++;
    for (int kind = 0; kind < 2; kind++) {
      cost[kind].assign(end - i, 0);
      began[kind].assign(end - i, true);
    }
    for (size_t k = i; k < end; k++) {
      const size_t before = k == i ? 0 : std::min(cost[0][k - i - 1], cost[1][k - i - 1]);
      const size_t bits = strike.glyphs[k].length - 5, cropped = strike.glyphs[k].cropped_length + 2;
      // Kind 1: one box and advance, which the glyph before must share.
      cost[1][k - i] = before + constant_run + bits;
      if (k > i && metrics(k) == metrics(k - 1) && cost[1][k - i - 1] + bits < cost[1][k - i]) {
        cost[1][k - i] = cost[1][k - i - 1] + bits;
        began[1][k - i] = false;
      }
      cost[0][k - i] = before + cropped_run + cropped;
      if (k > i && cost[0][k - i - 1] + cropped < cost[0][k - i]) {
        cost[0][k - i] = cost[0][k - i - 1] + cropped;
        began[0][k - i] = false;
      }
    }
    // Back from the stretch's end, run by run.
    const size_t first_run = runs.size();
    int kind = cost[1][end - i - 1] < cost[0][end - i - 1] ? 1 : 0;
    for (size_t k = end; k > i;) {
      size_t from = k - 1;
      while (!began[kind][from - i])
        from--;
      runs.push_back({from, k, kind == 1});
      k = from;
      if (k > i) kind = cost[1][k - i - 1] < cost[0][k - i - 1] ? 1 : 0;
    }
    std::reverse(runs.begin() + static_cast<std::ptrdiff_t>(first_run), runs.end());
    i = end;
  }
  return runs;
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
    const std::vector<image_run> runs = runs_of(strike);
    const auto metrics = [&](size_t i) {
      return std::string_view(strike.data).substr(strike.glyphs[i].offset, 5);
    };
    const auto image = [&](size_t i) {
      return std::string_view(strike.cropped)
          .substr(strike.glyphs[i].cropped_offset, strike.glyphs[i].cropped_length);
    };
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
    for (const image_run &r : runs) {
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
        const std::string_view cut = image(i);
        if (i == r.first || ebdt.size() + cut.size() - image_start > 0xFFFF) {
          if (i != r.first) {
            put16(subtables, static_cast<uint32_t>(ebdt.size() - image_start));
            pad4(subtables);
          }
          open_subtable(i, false);
          image_start = static_cast<uint32_t>(ebdt.size());
        }
        std::get<1>(entries.back()) = strike.glyphs[i].glyph;
        put16(subtables, static_cast<uint32_t>(ebdt.size() - image_start));
        ebdt += cut;
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
    // The line metrics are signed bytes, but for widthMax, unsigned; a value
    // past them is cut to fit, and said.
    const int32_t values[12] = {
        strike.ascent,      -strike.descent,   strike.width_max, 1, 0, 0, strike.min_origin,
        strike.min_advance, strike.max_before, strike.min_after, 0, 0};
    for (int i = 0; i < 12; i++) {
      const int32_t fit = i == 2 ? std::clamp(values[i], 0, 255) : clamp8(values[i]);
      if (fit != values[i] && font.cut_ppem == 0) font.cut_ppem = strike.ppem;
      eblc += static_cast<char>(fit);
    }
    eblc += std::string(12, '\0'); // no vertical metrics
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
  // The table keeps what fontconfig reads of it: the spacing, above all,
  // which a bitmap font says nowhere else, the foundry and the width.
  // FreeType reads no other, and the rest would make a small font's OTB
  // a quarter larger.
  static constexpr std::string_view read[] = {"FOUNDRY", "PIXEL_SIZE", "RELATIVE_SETWIDTH",
                                              "SETWIDTH_NAME", "SPACING"};
  if (header_line || std::find(std::begin(read), std::end(read), name) == std::end(read)) return;
  // The table counts a strike's properties in 16 bits, and memory holds
  // what a real font has many times over; the rest are left out, and said.
  if (font.pending.size() >= max_bdf_properties ||
      font.pending_bytes + name.size() + value.size() > max_bdf_property_bytes) {
    font.left_out++;
    return;
  }
  font.pending_bytes += name.size() + value.size();
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
  font.pending_bytes = 0;
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
  const size_t cropped_start = strike.cropped.size();
  crop(strike.cropped, record, left, top);
  strike.glyphs.push_back({static_cast<uint32_t>(record.index + 1), static_cast<uint32_t>(start),
                           static_cast<uint32_t>(d.size() - start),
                           static_cast<uint32_t>(cropped_start),
                           static_cast<uint32_t>(strike.cropped.size() - cropped_start)});
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
