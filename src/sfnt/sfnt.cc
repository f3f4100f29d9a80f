#include "sfnt/sfnt.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <tuple>
#include <unistd.h>

#include "sfnt/ebdt.h"
#include "io/compat.h"
#include "sfnt/sfnt_bytes.h"
#include "io/spool.h"

namespace {

// Seconds from 1904, where sfnt dates start, to 1970.
constexpr int64_t mac_epoch = 2082844800;

uint32_t reversed(uint32_t bits) {
  uint32_t result = 0;
  for (int i = 0; i < 32; i++, bits >>= 1)
    result = result << 1 | (bits & 1);
  return result;
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

void put_delta(std::string &to, int32_t delta, uint8_t flag, uint8_t is_short) {
  if (delta == 0) return;
  if (flag & is_short)
    to += static_cast<char>(delta < 0 ? -delta : delta);
  else
    put16(to, static_cast<uint16_t>(delta));
}

// Makes the open glyph's glyf entry of its points, each corner on the
// curve, each delta as short as it can be.
void encode_glyph(sfnt_state &font, int32_t x_min, int32_t y_min, int32_t x_max, int32_t y_max) {
  std::string &g = font.glyph;
  g.clear();
  put16(g, static_cast<uint16_t>(font.ends.size()));
  for (const int32_t v : {x_min, y_min, x_max, y_max})
    put16(g, static_cast<uint16_t>(v));
  for (const uint16_t end : font.ends)
    put16(g, end);
  put16(g, 0); // no instructions
  const size_t n = font.xs.size();
  int32_t x = 0, y = 0;
  // Flags, with runs of one flag written once and counted.
  for (size_t i = 0; i < n;) {
    const uint8_t flag = on_curve | delta_flag(font.xs[i] - x, x_short, x_same_or_positive) |
                         delta_flag(font.ys[i] - y, y_short, y_same_or_positive);
    x = font.xs[i];
    y = font.ys[i];
    size_t run = 0;
    int32_t rx = x, ry = y;
    while (i + run + 1 < n && run < 255) {
      const uint8_t next = on_curve |
                           delta_flag(font.xs[i + run + 1] - rx, x_short, x_same_or_positive) |
                           delta_flag(font.ys[i + run + 1] - ry, y_short, y_same_or_positive);
      if (next != flag) break;
      rx = font.xs[i + run + 1];
      ry = font.ys[i + run + 1];
      run++;
    }
    g += static_cast<char>(run > 0 ? flag | repeat : flag);
    if (run > 0) g += static_cast<char>(run);
    i += run + 1;
    x = rx;
    y = ry;
  }
  for (int axis = 0; axis < 2; axis++) {
    const std::vector<int16_t> &values = axis == 0 ? font.xs : font.ys;
    const uint8_t is_short = axis == 0 ? x_short : y_short;
    const uint8_t same = axis == 0 ? x_same_or_positive : y_same_or_positive;
    int32_t last = 0;
    for (size_t i = 0; i < n; i++) {
      const int32_t delta = values[i] - last;
      put_delta(g, delta, delta_flag(delta, is_short, same), is_short);
      last = values[i];
    }
  }
  pad4(g);
}

// One name record of the Windows platform, in UTF-16BE, its text written
// to strings.
void name_record(std::string &records, std::string &strings, uint16_t id, const std::string &utf8) {
  const size_t offset = strings.size();
  // The texts are well-formed UTF-8 by now.
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    uint32_t code = length == 1 ? c : c & (0x7F >> length);
    for (size_t j = 1; j < length && i + j < utf8.size(); j++)
      code = code << 6 | (static_cast<unsigned char>(utf8[i + j]) & 63);
    i += length;
    if (code > 0xFFFF) {
      code -= 0x10000;
      put16(strings, 0xD800 | code >> 10);
      put16(strings, 0xDC00 | (code & 0x3FF));
    } else {
      put16(strings, code);
    }
  }
  for (const uint32_t value : {3u, 1u, 0x409u, uint32_t{id}})
    put16(records, value);
  put16(records, static_cast<uint32_t>(strings.size() - offset));
  put16(records, static_cast<uint32_t>(offset));
}

std::string name_table(const identity_record &identity) {
  const std::string version = "Version " + (identity.version.empty() ? "1.0" : identity.version);
  const std::pair<uint16_t, const std::string *> texts[] = {
      {0, &identity.copyright}, {1, &identity.family}, {2, &identity.style},
      {3, &identity.full},      {4, &identity.full},   {5, &version},
      {6, &identity.postscript}};
  std::string records, strings;
  uint16_t count = 0;
  for (const auto &[id, text] : texts) {
    if (text->empty()) continue;
    name_record(records, strings, id, *text);
    count++;
  }
  std::string table;
  put16(table, 0);
  put16(table, count);
  put16(table, 6 + 12u * count);
  return table + records + strings;
}

// A format 4 subtable of the BMP's codes: one segment per run of
// consecutive codes and glyphs, then the closing segment.
std::string cmap_format4(const std::vector<uint64_t> &cmap) {
  struct segment {
    uint32_t start, end;
    uint16_t delta;
  };
  std::vector<segment> segments;
  for (const uint64_t entry : cmap) {
    const auto code = static_cast<uint32_t>(entry >> 32), glyph = static_cast<uint32_t>(entry);
    if (code > 0xFFFE) break;
    const auto delta = static_cast<uint16_t>(glyph - code);
    if (!segments.empty() && segments.back().end + 1 == code && segments.back().delta == delta)
      segments.back().end = code;
    else
      segments.push_back({code, code, delta});
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

std::string cmap_table(std::vector<uint64_t> &cmap) {
  std::sort(cmap.begin(), cmap.end());
  // A Unicode value is one glyph's; the first given keeps it.
  cmap.erase(std::unique(cmap.begin(), cmap.end(),
                         [](uint64_t a, uint64_t b) { return a >> 32 == b >> 32; }),
             cmap.end());
  // A font of no Unicode value has the format 4 subtable alone: a format
  // 12 one of no group is refused by sanitizers.
  const bool every_code = !cmap.empty();
  const std::string bmp = cmap_format4(cmap), all = every_code ? cmap_format12(cmap) : "";
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

std::string post_table(const sfnt_state &font, const identity_record &identity) {
  std::string table;
  // A CID-keyed CFF's glyphs have no names.
  put32(table, font.cff_outlines ? 0x00030000 : 0x00020000);
  put32(table, static_cast<uint32_t>(identity.italic_angle * 65536));
  put16(table, static_cast<uint16_t>(identity.underline_position));
  put16(table, static_cast<uint16_t>(identity.underline_width));
  put32(table, identity.monospaced ? 1 : 0);
  for (int i = 0; i < 4; i++)
    put32(table, 0);
  if (font.cff_outlines) return table;
  const auto glyphs = static_cast<uint32_t>(font.advances.size());
  put16(table, glyphs);
  put16(table, 0); // .notdef, a standard name
  for (uint32_t i = 1; i < glyphs; i++)
    put16(table, 258 + i - 1);
  return table + font.names;
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

const char *sfnt_take(sfnt_state &font, const glyph_record &record, int32_t unit, int32_t width,
                      bool outline) {
  if (font.advances.size() >= 65535) return "A font holds at most 65,535 glyphs.";
  if (width < 0 || width > 65535) return "A font's advances are 0 to 65,535 units.";
  // A charstring's width is a 16-bit number counted from another width.
  if (font.cff_outlines && width > 32767)
    return "An OpenType font's advances are 0 to 32,767 units.";
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
      size_t point = 0;
      for (size_t c = 0; c < trace.contours; c++) {
        for (; point < trace.contour_end[c]; point++) {
          font.xs.push_back(static_cast<int16_t>((left + trace.points[point].x) * unit));
          font.ys.push_back(static_cast<int16_t>((top - trace.points[point].y) * unit));
        }
        font.ends.push_back(static_cast<uint16_t>(font.xs.size() - 1));
      }
    }
  }
  const auto advance = static_cast<uint16_t>(width);
  int16_t bearing = 0;
  if (!font.xs.empty()) {
    const auto [x_min, x_max] = std::minmax_element(font.xs.begin(), font.xs.end());
    const auto [y_min, y_max] = std::minmax_element(font.ys.begin(), font.ys.end());
    if (!font.cff_outlines) encode_glyph(font, *x_min, *y_min, *x_max, *y_max);
    bearing = *x_min;
    font.x_min = font.inked ? std::min<int32_t>(font.x_min, *x_min) : *x_min;
    font.y_min = font.inked ? std::min<int32_t>(font.y_min, *y_min) : *y_min;
    font.x_max = font.inked ? std::max<int32_t>(font.x_max, *x_max) : *x_max;
    font.y_max = font.inked ? std::max<int32_t>(font.y_max, *y_max) : *y_max;
    const int32_t right = advance - *x_max;
    font.min_right = font.inked ? std::min(font.min_right, right) : right;
    font.max_extent = font.inked ? std::max<int32_t>(font.max_extent, *x_max) : *x_max;
    font.inked = true;
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
  font.names += static_cast<char>(record.name_length);
  font.names.append(record.name, record.name_length);
  return nullptr;
}

bool sfnt_write(sfnt_state &font, const identity_record &identity, output &out) {
  // An outline font of no ink still needs a glyf table of some length; no
  // glyph points into these bytes.  A bitmap font's is empty, so that
  // FreeType and fontconfig take it for one.
  if (font.glyf_length == 0 && font.outlines && !font.cff_outlines) {
    output_write(font.spool, std::string_view("\0\0\0\0", 4));
    font.glyf_length = 4;
  }
  const auto glyphs = static_cast<uint32_t>(font.advances.size());
  const int64_t created = static_cast<int64_t>(creation_time()) + mac_epoch;
  const uint16_t mac_style = (identity.style_map & 0x20 ? 1 : 0) | (identity.style_map & 1 ? 2 : 0);

  std::string head;
  put32(head, 0x00010000);
  put32(head, 0x00010000);
  put32(head, 0); // checkSumAdjustment, set last
  put32(head, 0x5F0F3CF5);
  put16(head, 0x000B); // baseline at 0, side bearing at xMin, whole ppem
  put16(head, static_cast<uint32_t>(identity.em));
  put64(head, static_cast<uint64_t>(created));
  put64(head, static_cast<uint64_t>(created));
  for (const int32_t v : {font.x_min, font.y_min, font.x_max, font.y_max})
    put16(head, static_cast<uint16_t>(v));
  put16(head, mac_style);
  put16(head, static_cast<uint32_t>(std::max(identity.pixel_size, 1)));
  put16(head, 2);
  // Offsets halved in 16 bits where glyf is short enough, as entries are
  // padded to 4 bytes.
  const bool short_loca = font.glyf_length <= 2 * 0xFFFF;
  put16(head, short_loca ? 0 : 1);
  put16(head, 0);

  // Trailing glyphs of the last advance share one metric.
  uint32_t metrics = glyphs;
  while (metrics > 1 && font.advances[metrics - 2] == font.advances[glyphs - 1])
    metrics--;
  std::string hhea;
  put32(hhea, 0x00010000);
  put16(hhea, static_cast<uint16_t>(identity.line_ascent));
  put16(hhea, static_cast<uint16_t>(-identity.line_descent));
  put16(hhea, 0);
  put16(hhea, *std::max_element(font.advances.begin(), font.advances.end()));
  put16(hhea, static_cast<uint16_t>(font.inked ? font.x_min : 0));
  put16(hhea, static_cast<uint16_t>(font.min_right));
  put16(hhea, static_cast<uint16_t>(font.max_extent));
  put16(hhea, 1);
  put16(hhea, 0);
  for (int i = 0; i < 6; i++)
    put16(hhea, 0);
  put16(hhea, metrics);

  std::string hmtx;
  for (uint32_t i = 0; i < glyphs; i++) {
    if (i < metrics) put16(hmtx, font.advances[i]);
    put16(hmtx, static_cast<uint16_t>(font.bearings[i]));
  }

  std::string maxp;
  put32(maxp, font.cff_outlines ? 0x00005000 : 0x00010000);
  put16(maxp, glyphs);
  // CFF outlines have the short maxp, without TrueType's maxima.
  if (!font.cff_outlines) {
    put16(maxp, font.max_points);
    put16(maxp, font.max_contours);
    put16(maxp, 0);
    put16(maxp, 0);
    put16(maxp, 2); // zones
    for (int i = 0; i < 8; i++)
      put16(maxp, 0);
  }

  uint64_t widths = 0, inked_widths = 0;
  for (uint32_t i = 1; i < glyphs; i++)
    if (font.advances[i] > 0) widths += font.advances[i], inked_widths++;
  std::sort(font.cmap.begin(), font.cmap.end());
  const uint32_t first_code =
      font.cmap.empty() ? 0 : static_cast<uint32_t>(font.cmap.front() >> 32);
  const uint32_t last_code = font.cmap.empty() ? 0 : static_cast<uint32_t>(font.cmap.back() >> 32);
  const int32_t em = identity.em;
  std::string os2;
  put16(os2, 4);
  put16(os2, static_cast<uint32_t>(inked_widths ? (widths + inked_widths / 2) / inked_widths : 0));
  put16(os2, static_cast<uint32_t>(identity.ttf_weight));
  put16(os2, static_cast<uint32_t>(identity.ttf_width));
  put16(os2, 0); // fsType: installable
  // Sub- and superscripts as FontForge proposes them, in shares of the em.
  for (const int32_t v :
       {em * 650 / 1000, em * 699 / 1000, 0, em * 140 / 1000, em * 650 / 1000, em * 699 / 1000, 0,
        em * 479 / 1000, identity.underline_width, em * 259 / 1000, 0})
    put16(os2, static_cast<uint16_t>(v));
  const uint8_t panose[10] = {2,
                              0,
                              static_cast<uint8_t>(identity.panose_weight),
                              static_cast<uint8_t>(identity.monospaced ? 9 : 4),
                              0,
                              0,
                              0,
                              0,
                              0,
                              0};
  os2.append(reinterpret_cast<const char *>(panose), 10);
  for (int i = 0; i < 4; i++)
    put32(os2, 0); // Unicode ranges
  const std::string vendor = (identity.vendor.empty() ? "PfEd" : identity.vendor) + "    ";
  os2.append(vendor, 0, 4);
  put16(os2, (identity.style_map & 0x261) | 0x80); // style bits, typographic metrics
  put16(os2, std::min<uint32_t>(first_code, 0xFFFF));
  put16(os2, std::min<uint32_t>(last_code, 0xFFFF));
  put16(os2, static_cast<uint16_t>(identity.line_ascent));
  put16(os2, static_cast<uint16_t>(-identity.line_descent));
  put16(os2, 0);
  put16(os2, static_cast<uint32_t>(std::max(font.y_max, 0)));
  put16(os2, static_cast<uint32_t>(std::max(-font.y_min, 0)));
  put32(os2, 0); // code pages
  put32(os2, 0);
  put16(os2, static_cast<uint16_t>(std::max(identity.x_height, 0)));
  put16(os2, static_cast<uint16_t>(std::max(identity.cap_height, 0)));
  put16(os2, 0);
  put16(os2, 32);
  put16(os2, 1);

  std::string loca_table;
  for (const uint32_t offset : font.loca)
    short_loca ? put16(loca_table, offset / 2) : put32(loca_table, offset);

  // The tables in the order of their tags, glyf or CFF's charstrings read
  // back from the spool.
  struct table {
    const char *tag;
    std::string data; // the table, or what comes before the spooled part
    uint32_t sum = 0, length = 0;
    bool spooled = false;
  };
  std::vector<table> tables;
  std::string eblc, ebdt;
  if (font.bitmaps) {
    ebdt_tables(font.strikes, eblc, ebdt);
    tables.push_back({"BDF ", bdf_table(font.strikes)});
  }
  if (font.cff_outlines) {
    const int32_t box[4] = {font.x_min, font.y_min, font.x_max, font.y_max};
    table &cff = tables.emplace_back(table{"CFF ", {}, 0, 0, true});
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
  for (auto &[tag, data] : {std::pair<const char *, std::string *>{"OS/2", &os2},
                            {"cmap", nullptr},
                            {"glyf", nullptr},
                            {"head", &head},
                            {"hhea", &hhea},
                            {"hmtx", &hmtx},
                            {"loca", &loca_table},
                            {"maxp", &maxp},
                            {"name", nullptr},
                            {"post", nullptr}}) {
    std::string made = data != nullptr                 ? std::move(*data)
                       : std::strcmp(tag, "cmap") == 0 ? cmap_table(font.cmap)
                       : std::strcmp(tag, "name") == 0 ? name_table(identity)
                       : std::strcmp(tag, "post") == 0 ? post_table(font, identity)
                                                       : std::string();
    const bool glyf_or_loca = std::strcmp(tag, "glyf") == 0 || std::strcmp(tag, "loca") == 0;
    if (glyf_or_loca && !glyf) continue;
    if (std::strcmp(tag, "glyf") == 0)
      tables.push_back({tag, {}, font.glyf_sum, font.glyf_length, true});
    else
      tables.push_back({tag, std::move(made)});
  }
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
  for (table &t : tables) {
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
  std::string &head_data = std::find_if(tables.begin(), tables.end(), [](const table &t) {
                             return std::strcmp(t.tag, "head") == 0;
                           })->data;
  for (int i = 0; i < 4; i++)
    head_data[8 + i] = static_cast<char>(adjustment >> (24 - 8 * i) & 0xFF);
  output_write(out, directory);
  for (table &t : tables) {
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
