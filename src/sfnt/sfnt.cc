#include "sfnt/sfnt.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <tuple>
#include <unistd.h>

#include "sfnt/cmap.h"
#include "sfnt/ebdt.h"
#include "sfnt/tables.h"
#include "io/compat.h"
#include "sfnt/sfnt_bytes.h"
#include "io/spool.h"

namespace {

uint32_t reversed(uint32_t bits) {
  bits = (bits >> 1 & 0x55555555u) | (bits & 0x55555555u) << 1;
  bits = (bits >> 2 & 0x33333333u) | (bits & 0x33333333u) << 2;
  bits = (bits >> 4 & 0x0F0F0F0Fu) | (bits & 0x0F0F0F0Fu) << 4;
  bits = (bits >> 8 & 0x00FF00FFu) | (bits & 0x00FF00FFu) << 8;
  return bits >> 16 | bits << 16;
}

// The flag bits of a simple glyph's points.
constexpr uint8_t on_curve = 0x01, x_short = 0x02, y_short = 0x04, repeat = 0x08,
                  x_same_or_positive = 0x10, y_same_or_positive = 0x20;

// Adds a coordinate's delta: none when 0, a byte and its sign in the flag
// when short, else two bytes.
uint8_t delta_flag(int32_t delta, uint8_t is_short, uint8_t same_or_positive) {
  if (delta == 0) return same_or_positive;
  if (delta > -256 && delta < 256) return is_short | (delta > 0 ? same_or_positive : 0);
  return 0;
}

// The box of a glyph's set pixels in font units, unit a pixel, as x_min,
// y_min, x_max, y_max; false for a glyph of no ink.
bool ink_box(const glyph_record &record, int32_t unit, int32_t box[4]) {
  ink_extent ink;
  if (!record_ink(record, ink)) return false;
  const int32_t top = record.box.y + static_cast<int32_t>(record.box.height);
  box[0] = (record.box.x + static_cast<int32_t>(ink.from)) * unit;
  box[1] = (top - static_cast<int32_t>(ink.last)) * unit;
  box[2] = (record.box.x + static_cast<int32_t>(ink.end)) * unit;
  box[3] = (top - static_cast<int32_t>(ink.first)) * unit;
  return true;
}

// Takes a glyph's extent, x_min, y_min, x_max, y_max, into the font's.
void add_extent(sfnt_state &font, const int32_t extent[4], int32_t advance) {
  font.x_min = font.inked ? std::min(font.x_min, extent[0]) : extent[0];
  font.y_min = font.inked ? std::min(font.y_min, extent[1]) : extent[1];
  font.x_max = font.inked ? std::max(font.x_max, extent[2]) : extent[2];
  font.y_max = font.inked ? std::max(font.y_max, extent[3]) : extent[3];
  const int32_t right = advance - extent[2];
  font.min_right = font.inked ? std::min(font.min_right, right) : right;
  font.max_extent = font.inked ? std::max(font.max_extent, extent[2]) : extent[2];
  font.inked = true;
}

// Writes a delta of one coordinate as its flag says: nothing, a byte of
// its size, or two bytes; returns the next free byte.
char *put_delta(char *to, int32_t delta, uint8_t flag, uint8_t is_short) {
  if (delta == 0) return to;
  if (flag & is_short) {
    *to++ = static_cast<char>(delta < 0 ? -delta : delta);
    return to;
  }
  *to++ = static_cast<char>(delta >> 8 & 0xFF);
  *to++ = static_cast<char>(delta & 0xFF);
  return to;
}

char *put_word(char *to, uint16_t value) {
  *to++ = static_cast<char>(value >> 8);
  *to++ = static_cast<char>(value & 0xFF);
  return to;
}

// Makes the open glyph's glyf entry of its points, each corner on the
// curve, each delta as short as it can be.  The entry is written through a
// pointer into room made once for the most it can take: a glyph has
// thousands of points, each of a flag and up to four bytes.
void encode_glyph(sfnt_state &font, int32_t x_min, int32_t y_min, int32_t x_max, int32_t y_max) {
  std::string &g = font.glyph;
  const size_t n = font.xs.size();
  g.resize(12 + 2 * font.ends.size() + 5 * n + 3);
  char *to = g.data();
  to = put_word(to, static_cast<uint16_t>(font.ends.size()));
  for (const int32_t v : {x_min, y_min, x_max, y_max})
    to = put_word(to, static_cast<uint16_t>(v));
  for (const uint16_t end : font.ends)
    to = put_word(to, end);
  to = put_word(to, 0); // no instructions
  // Each point's flag against the point before it, then runs of one flag
  // written once and counted.
  font.flags.resize(n);
  int32_t x = 0, y = 0;
  for (size_t i = 0; i < n; i++) {
    font.flags[i] = on_curve | delta_flag(font.xs[i] - x, x_short, x_same_or_positive) |
                    delta_flag(font.ys[i] - y, y_short, y_same_or_positive);
    x = font.xs[i];
    y = font.ys[i];
  }
  for (size_t i = 0; i < n;) {
    const uint8_t flag = font.flags[i];
    size_t run = 0;
    while (i + run + 1 < n && run < 255 && font.flags[i + run + 1] == flag)
      run++;
    *to++ = static_cast<char>(run > 0 ? flag | repeat : flag);
    if (run > 0) *to++ = static_cast<char>(run);
    i += run + 1;
  }
  // The deltas as their points' flags say: none, a byte or two.
  for (int axis = 0; axis < 2; axis++) {
    const std::vector<int16_t> &values = axis == 0 ? font.xs : font.ys;
    const uint8_t is_short = axis == 0 ? x_short : y_short;
    int32_t last = 0;
    for (size_t i = 0; i < n; i++) {
      to = put_delta(to, values[i] - last, font.flags[i], is_short);
      last = values[i];
    }
  }
  // Padded to 4 bytes with zeros.
  size_t length = static_cast<size_t>(to - g.data());
  while (length % 4 != 0)
    g[length++] = '\0';
  g.resize(length);
}

// The message of a glyph whose outline the font can't hold or FreeType
// can't load, else nullptr.  A glyf entry steps from point to point in 16
// bits, so it spans at most 32,767 units either way; FreeType loads at most
// 4,094 contours of a TrueType glyph and 32,767 points of any.
const char *outline_error(sfnt_state &font, const glyph_record &record, int32_t width,
                          int32_t height) {
  const char *rule = nullptr;
  if (!font.cff_outlines && (width > 32767 || height > 32767))
    rule = "spans more than the 32,767 units a TrueType glyph's steps hold";
  else if (!font.cff_outlines && font.ends.size() > 4094)
    rule = "has more than the 4,094 contours FreeType loads of a TrueType glyph";
  else if (font.xs.size() > 32767)
    rule = "has more than the 32,767 points FreeType loads of an outline";
  if (rule == nullptr) return nullptr;
  std::snprintf(font.message, sizeof font.message, "Glyph %.*s %s.",
                static_cast<int>(record.name_length), record.name, rule);
  return font.message;
}

} // namespace

bool sfnt_open(sfnt_state &font, bool in_memory) {
  sfnt_close(font);
  if (!spool_open(font.spool, font.spool_fd, font.spool_text, in_memory)) return false;
  if (!font.trace) font.trace = std::make_unique<trace_result>();
  // The .notdef glyph, empty, comes first: it starts and ends at 0.
  font.loca.assign(2, 0);
  font.advances.push_back(0);
  font.bearings.push_back(0);
  return true;
}

void sfnt_close(sfnt_state &font) {
  cff_close(font.cff);
  spool_close(font.spool, font.spool_fd);
  std::unique_ptr<trace_result> trace = std::move(font.trace);
  font = sfnt_state{};
  font.trace = std::move(trace);
}

const char *sfnt_advance_error(const sfnt_state &font, int64_t width) {
  if (width < 0 || width > 65535) return "A font's advances are 0 to 65,535 units.";
  // A charstring's width is a 16-bit number counted from another width.
  if (font.cff_outlines && width > 32767)
    return "An OpenType font's advances are 0 to 32,767 units.";
  return nullptr;
}

const char *sfnt_take(sfnt_state &font, const glyph_record &record, int32_t unit, int32_t width,
                      bool outline, bool measured) {
  if (font.advances.size() >= 65535)
    return "A font holds at most 65,535 glyphs, .notdef among them: a BDF of 65,534.";
  if (const char *message = sfnt_advance_error(font, width)) return message;
  const glyph_box &box = record.box;
  font.xs.clear();
  font.ys.clear();
  font.ends.clear();
  // Each slab of 32 columns is traced in bands of 64 rows, as the merged
  // SFD outlines are; their contours meet at the bands' edges.
  for (uint32_t k = 0; outline && k < slabs_of(box.width); k++) {
    for (uint32_t first = 0; first < record.count; first += trace_rows) {
      const uint32_t rows = std::min<uint32_t>(trace_rows, record.count - first);
      uint32_t bits[trace_rows];
      for (uint32_t r = 0; r < rows; r++)
        bits[r] = reversed(record.words[first + r][k]);
      trace_outline(bits, static_cast<int>(rows), *font.trace);
      const trace_result &trace = *font.trace;
      const int32_t left = box.x + static_cast<int32_t>(k * slab_columns);
      const int32_t top = box.y + static_cast<int32_t>(box.height) - static_cast<int32_t>(first);
      // The band's points go on behind the glyph's points so far.
      const size_t before = font.xs.size();
      const size_t points = trace.contours > 0 ? trace.contour_end[trace.contours - 1] : 0;
      font.xs.resize(before + points);
      font.ys.resize(before + points);
      int16_t *xs = font.xs.data() + before, *ys = font.ys.data() + before;
      for (size_t point = 0; point < points; point++) {
        xs[point] = static_cast<int16_t>((left + trace.points[point].x) * unit);
        ys[point] = static_cast<int16_t>((top - trace.points[point].y) * unit);
      }
      for (size_t c = 0; c < trace.contours; c++)
        font.ends.push_back(static_cast<uint16_t>(before + trace.contour_end[c] - 1));
    }
  }
  const auto advance = static_cast<uint16_t>(width);
  int16_t bearing = 0;
  // A bitmap font's extents are its ink's, as an outline font's are its outlines'.
  int32_t ink[4];
  if (!outline && measured && ink_box(record, unit, ink)) {
    bearing = static_cast<int16_t>(ink[0]);
    add_extent(font, ink, advance);
  }
  if (!font.xs.empty()) {
    const auto [x_min, x_max] = std::minmax_element(font.xs.begin(), font.xs.end());
    const auto [y_min, y_max] = std::minmax_element(font.ys.begin(), font.ys.end());
    if (const char *message = outline_error(font, record, *x_max - *x_min, *y_max - *y_min))
      return message;
    if (!font.cff_outlines) encode_glyph(font, *x_min, *y_min, *x_max, *y_max);
    bearing = *x_min;
    const int32_t extent[4] = {*x_min, *y_min, *x_max, *y_max};
    add_extent(font, extent, advance);
    font.max_points = std::max<uint32_t>(font.max_points, static_cast<uint32_t>(font.xs.size()));
    font.max_contours =
        std::max<uint32_t>(font.max_contours, static_cast<uint32_t>(font.ends.size()));
    if (!font.cff_outlines) {
      output_write(font.spool, font.glyph);
      font.glyf_sum += checksum(font.glyph.data(), font.glyph.size());
      font.glyf_length += static_cast<uint32_t>(font.glyph.size());
    }
  }
  if (font.cff_outlines)
    cff_take(font.cff, font.xs.data(), font.ys.data(), font.ends.data(), font.ends.size());
  font.loca.push_back(font.glyf_length);
  font.advances.push_back(advance);
  font.bearings.push_back(bearing);
  const auto index = static_cast<uint32_t>(font.advances.size() - 1);
  if (record.unicode >= 0) font.cmap.push_back(uint64_t(uint32_t(record.unicode)) << 32 | index);
  // Only a TrueType font names its glyphs.
  if (font.outlines && !font.cff_outlines) {
    font.names += static_cast<char>(record.name_length);
    font.names.append(record.name, record.name_length);
  }
  return nullptr;
}

namespace {

// One table of the font: its tag and bytes, or for a spooled one the bytes
// before the spooled part and the whole table's sum and length.
struct sfnt_table {
  const char *tag;
  std::string data;
  uint32_t sum = 0, length = 0;
  bool spooled = false;
};

// Puts a bitmap font's glyphs in the order of their Unicode values, those
// of none after them as they came: where a charset's order is not
// Unicode's (JIS, Big5, a terminal's own), its glyphs then follow their
// codes, and cmap keeps a run of codes in one segment instead of one a
// code.  Only a font without outlines can: glyf and the CFF are spooled in
// the BDF's order.
void unicode_order(sfnt_state &font) {
  const size_t glyphs = font.advances.size();
  std::vector<uint32_t> place(glyphs, 0);
  uint32_t next = 1; // .notdef stays first
  for (const uint64_t entry : font.cmap) {
    const auto glyph = static_cast<uint32_t>(entry);
    if (place[glyph] == 0) place[glyph] = next++;
  }
  for (size_t g = 1; g < glyphs; g++)
    if (place[g] == 0) place[g] = next++;
  std::vector<uint16_t> advances(glyphs);
  std::vector<int16_t> bearings(glyphs);
  for (size_t g = 0; g < glyphs; g++) {
    advances[place[g]] = font.advances[g];
    bearings[place[g]] = font.bearings[g];
  }
  font.advances = std::move(advances);
  font.bearings = std::move(bearings);
  for (uint64_t &entry : font.cmap)
    entry = (entry & ~uint64_t{0xFFFFFFFF}) | place[static_cast<uint32_t>(entry)];
  for (sfnt_strike &strike : font.strikes.strikes)
    for (sfnt_image &image : strike.glyphs)
      image.glyph = place[image.glyph];
}

// The font's tables in the order of their tags, glyf or the CFF's
// charstrings to be read back from their spools; false with errno set
// where the CFF's spool can't be read.
bool make_tables(sfnt_state &font, const identity_record &identity,
                 std::vector<sfnt_table> &tables) {
  std::sort(font.cmap.begin(), font.cmap.end());
  if (!font.outlines) unicode_order(font);
  std::string eblc, ebdt;
  if (font.bitmaps) {
    ebdt_tables(font.strikes, eblc, ebdt);
    tables.push_back({"BDF ", bdf_table(font.strikes)});
  }
  if (font.cff_outlines) {
    const int32_t box[4] = {font.x_min, font.y_min, font.x_max, font.y_max};
    sfnt_table &cff = tables.emplace_back(sfnt_table{"CFF ", {}, 0, 0, true});
    if (!cff_table(font.cff, font.advances, identity.em, box, identity.postscript, cff.data,
                   cff.length, cff.sum))
      return false;
  }
  if (font.bitmaps) {
    tables.push_back({"EBDT", std::move(ebdt)});
    tables.push_back({"EBLC", std::move(eblc)});
  }
  // A bitmap font needs neither glyf nor loca: FreeType reads sbit-only fonts.
  const bool glyf = font.outlines && !font.cff_outlines;
  const uint32_t metrics = hmtx_metrics(font);
  tables.push_back({"OS/2", os2_table(font, identity)});
  tables.push_back({"cmap", cmap_table(font.cmap)});
  if (glyf) tables.push_back({"glyf", {}, font.glyf_sum, font.glyf_length, true});
  tables.push_back({"head", head_table(font, identity)});
  tables.push_back({"hhea", hhea_table(font, identity, metrics)});
  tables.push_back({"hmtx", hmtx_table(font, metrics)});
  if (glyf) tables.push_back({"loca", loca_of(font)});
  tables.push_back({"maxp", maxp_table(font)});
  tables.push_back({"name", name_table(identity)});
  tables.push_back({"post", post_table(font, identity)});
  return true;
}

// Writes the table directory and the tables, each padded to 4 bytes, with
// head's checkSumAdjustment; false with errno set where a spool can't be read.
bool write_tables(sfnt_state &font, std::vector<sfnt_table> &tables, output &out) {
  const auto count = static_cast<uint32_t>(tables.size());
  uint32_t power = 1, log = 0;
  while (power * 2 <= count)
    power *= 2, log++;
  uint32_t offset = 12 + 16 * count;
  std::string directory;
  put32(directory, font.cff_outlines ? 0x4F54544F : 0x00010000); // OTTO for CFF
  put16(directory, count);
  put16(directory, 16 * power);
  put16(directory, log);
  put16(directory, count * 16 - 16 * power);
  uint32_t total = 0;
  for (sfnt_table &t : tables) {
    if (!t.spooled) {
      t.length = static_cast<uint32_t>(t.data.size());
      t.sum = checksum(t.data.data(), t.data.size());
      pad4(t.data);
    }
    directory.append(t.tag, 4);
    put32(directory, t.sum);
    put32(directory, offset);
    put32(directory, t.length);
    offset += (t.length + 3) & ~3u;
    total += t.sum;
  }
  total += checksum(directory.data(), directory.size());
  const uint32_t adjustment = 0xB1B0AFBA - total;
  std::string &head_data = std::find_if(tables.begin(), tables.end(), [](const sfnt_table &t) {
                             return std::strcmp(t.tag, "head") == 0;
                           })->data;
  for (int i = 0; i < 4; i++)
    head_data[8 + i] = static_cast<char>(adjustment >> (24 - 8 * i) & 0xFF);
  output_write(out, directory);
  for (sfnt_table &t : tables) {
    output_write(out, t.data);
    if (!t.spooled) continue;
    if (std::strcmp(t.tag, "glyf") == 0) {
      if (!spool_copy(font.spool, font.spool_fd, font.spool_text, out)) return false;
      continue;
    }
    if (!cff_stream(font.cff, font.advances, out)) return false;
    output_write(out, std::string_view("\0\0\0", (4 - t.length % 4) % 4));
  }
  return true;
}

} // namespace

bool sfnt_write(sfnt_state &font, const identity_record &identity, output &out) {
  // An outline font of no ink still needs a glyf table of some length; no
  // glyph points into these bytes.  A bitmap font's is empty, so that
  // FreeType and fontconfig take it for one.
  if (font.glyf_length == 0 && font.outlines && !font.cff_outlines) {
    output_write(font.spool, std::string_view("\0\0\0\0", 4));
    font.glyf_length = 4;
  }
  std::vector<sfnt_table> tables;
  return make_tables(font, identity, tables) && write_tables(font, tables, out);
}
