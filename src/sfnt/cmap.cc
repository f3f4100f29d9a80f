#include "sfnt/cmap.h"

#include <algorithm>
#include <tuple>

#include "sfnt/sfnt_bytes.h"

namespace {

// A format 4 segment: its codes, and either the delta from a code to its
// glyph or, where the glyphs do not follow the codes, its glyphs' place in
// the glyph array.
struct segment {
  uint32_t start, end;
  uint16_t delta;
  bool listed = false;
  uint32_t array_at = 0;
};

// A format 4 subtable of the BMP's codes, each run of consecutive codes in
// the fewest bytes: a stretch whose glyphs follow its codes is a segment
// of its own where that is smaller (8 bytes, against 2 a code in the glyph
// array of the segment around it), the rest of the run one segment whose
// glyphs are listed.  Its length is 16 bits: where the codes need more, it
// holds the lowest, and *complete is false.
std::string cmap_format4(const std::vector<uint64_t> &cmap, bool *complete) {
  std::vector<uint32_t> codes, glyphs;
  for (const uint64_t entry : cmap) {
    if ((entry >> 32) > 0xFFFE) break;
    codes.push_back(static_cast<uint32_t>(entry >> 32));
    glyphs.push_back(static_cast<uint32_t>(entry));
  }
  *complete = codes.size() == cmap.size();
  std::vector<segment> segments;
  std::vector<uint16_t> array;
  // The subtable's bytes so far, the closing segment among them.
  size_t length = 16 + 8;
  bool room = true;
  const auto add = [&](size_t from, size_t to, bool listed) {
    const size_t more = 8 + (listed ? 2 * (to - from) : 0);
    if (!room || length + more > 65535) return room = false;
    length += more;
    if (!listed) {
      segments.push_back(
          {codes[from], codes[to - 1], static_cast<uint16_t>(glyphs[from] - codes[from])});
      return true;
    }
    segments.push_back({codes[from], codes[to - 1], 0, true, static_cast<uint32_t>(array.size())});
    for (size_t k = from; k < to; k++)
      array.push_back(static_cast<uint16_t>(glyphs[k]));
    return true;
  };
  for (size_t i = 0; i < codes.size() && room;) {
    size_t j = i + 1;
    while (j < codes.size() && codes[j] == codes[j - 1] + 1)
      j++;
    // The run's stretches of following glyphs: one of its own where its
    // codes save more than the segment costs, 8 bytes at an end of the
    // run and 16 inside it, where the listed part is cut in two.
    size_t listed_from = i;
    for (size_t a = i; a < j;) {
      size_t b = a + 1;
      while (b < j && glyphs[b] == glyphs[b - 1] + 1)
        b++;
      const bool edge = a == i || b == j;
      if ((a == i && b == j) || 2 * (b - a) > (edge ? 8u : 16u)) {
        if (listed_from < a) add(listed_from, a, true);
        add(a, b, false);
        listed_from = b;
      }
      a = b;
    }
    if (listed_from < j) add(listed_from, j, true);
    i = j;
  }
  if (!room) *complete = false;
  segments.push_back({0xFFFF, 0xFFFF, 1});
  const auto count = static_cast<uint32_t>(segments.size());
  uint32_t power = 1, log = 0;
  while (power * 2 <= count)
    power *= 2, log++;
  std::string table;
  put16(table, 4);
  put16(table, static_cast<uint32_t>(16 + 8 * count + 2 * array.size()));
  put16(table, 0);
  put16(table, 2 * count);
  put16(table, 2 * power);
  put16(table, log);
  put16(table, 2 * (count - power));
  for (const segment &s : segments)
    put16(table, s.end);
  put16(table, 0);
  for (const segment &s : segments)
    put16(table, s.start);
  for (const segment &s : segments)
    put16(table, s.delta);
  // A listed segment's offset runs from its own place to its first glyph.
  for (size_t i = 0; i < segments.size(); i++)
    put16(table, segments[i].listed
                     ? static_cast<uint32_t>(2 * (segments.size() - i + segments[i].array_at))
                     : 0);
  for (const uint16_t glyph : array)
    put16(table, glyph);
  return table;
}

// A format 12 subtable of every code: one group per run of consecutive
// codes and glyphs.
std::string cmap_format12(const std::vector<uint64_t> &cmap) {
  std::vector<uint32_t> groups; // start, end, glyph
  for (const uint64_t entry : cmap) {
    const auto code = static_cast<uint32_t>(entry >> 32), glyph = static_cast<uint32_t>(entry);
    const size_t n = groups.size();
    if (n > 0 && groups[n - 2] + 1 == code && groups[n - 1] + (code - groups[n - 3]) == glyph)
      groups[n - 2] = code;
    else
      groups.insert(groups.end(), {code, code, glyph});
  }
  std::string table;
  put16(table, 12);
  put16(table, 0);
  put32(table, static_cast<uint32_t>(16 + 4 * groups.size()));
  put32(table, 0);
  put32(table, static_cast<uint32_t>(groups.size() / 3));
  for (const uint32_t value : groups)
    put32(table, value);
  return table;
}

} // namespace

std::string cmap_table(std::vector<uint64_t> &cmap) {
  std::sort(cmap.begin(), cmap.end());
  // A Unicode value is one glyph's; the first given keeps it.
  cmap.erase(std::unique(cmap.begin(), cmap.end(),
                         [](uint64_t a, uint64_t b) { return a >> 32 == b >> 32; }),
             cmap.end());
  // FreeType, HarfBuzz and fontconfig read format 4 alone, so format 12
  // comes only where format 4 can't hold every code: past the BMP, or past
  // its segments.  (A format 12 subtable of no group is refused by
  // sanitizers, and a font of no Unicode value needs none.)
  bool complete;
  const std::string bmp = cmap_format4(cmap, &complete);
  const bool every_code = !complete;
  const std::string all = every_code ? cmap_format12(cmap) : "";
  const uint32_t records = every_code ? 4 : 2;
  const uint32_t first = 4 + 8 * records, second = first + static_cast<uint32_t>(bmp.size());
  std::string table;
  put16(table, 0);
  put16(table, records);
  for (const auto &[platform, encoding, offset] :
       {std::tuple{0u, 3u, first}, {0u, 4u, second}, {3u, 1u, first}, {3u, 10u, second}}) {
    if (offset == second && !every_code) continue;
    put16(table, platform);
    put16(table, encoding);
    put32(table, offset);
  }
  return table + bmp + all;
}
