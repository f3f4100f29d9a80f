#include "sfnt/cmap.h"

#include <algorithm>
#include <tuple>

#include "sfnt/sfnt_bytes.h"

namespace {

// The most segments a format 4 subtable holds, its closing one among
// them: its length is 16 bits, 16 bytes and 8 a segment.
constexpr size_t max_segments = (65535 - 16) / 8;

// A format 4 subtable of the BMP's codes: one segment per run of
// consecutive codes and glyphs, then the closing segment.  Where the codes
// need more segments than it holds, it holds the lowest codes, and
// *complete is false.
std::string cmap_format4(const std::vector<uint64_t> &cmap, bool *complete) {
  struct segment {
    uint32_t start, end;
    uint16_t delta;
  };
  std::vector<segment> segments;
  *complete = true;
  for (const uint64_t entry : cmap) {
    const auto code = static_cast<uint32_t>(entry >> 32), glyph = static_cast<uint32_t>(entry);
    if (code > 0xFFFE) {
      *complete = false;
      break;
    }
    const auto delta = static_cast<uint16_t>(glyph - code);
    if (!segments.empty() && segments.back().end + 1 == code && segments.back().delta == delta) {
      segments.back().end = code;
    } else if (segments.size() + 1 < max_segments) {
      segments.push_back({code, code, delta});
    } else {
      *complete = false;
      break;
    }
  }
  segments.push_back({0xFFFF, 0xFFFF, 1});
  const auto count = static_cast<uint32_t>(segments.size());
  uint32_t power = 1, log = 0;
  while (power * 2 <= count)
    power *= 2, log++;
  std::string table;
  put16(table, 4);
  put16(table, 16 + 8 * count);
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
  for (size_t i = 0; i < segments.size(); i++)
    put16(table, 0);
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
