#include "sfnt/tables.h"

#include <algorithm>
#include <utility>

#include "io/compat.h"
#include "sfnt/sfnt_bytes.h"

namespace {

// Seconds from 1904, where sfnt dates start, to 1970.
constexpr int64_t mac_epoch = 2082844800;

// One name record of the Windows platform, in UTF-16BE, its text written
// to strings.
void name_record(std::string &records, std::string &strings, uint16_t id, const std::string &utf8) {
  size_t offset = strings.size();
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
  // A text given before (the full name is often the family's) is kept once.
  const size_t length = strings.size() - offset;
  const size_t first = std::string_view(strings).substr(0, offset).find(
      std::string_view(strings).substr(offset));
  if (first != std::string_view::npos && length > 0) {
    strings.resize(offset);
    offset = first;
  }
  for (const uint32_t value : {3u, 1u, 0x409u, uint32_t{id}})
    put16(records, value);
  put16(records, static_cast<uint32_t>(length));
  put16(records, static_cast<uint32_t>(offset));
}

} // namespace

uint32_t hmtx_metrics(const sfnt_state &font) {
  const auto glyphs = static_cast<uint32_t>(font.advances.size());
  uint32_t metrics = glyphs;
  while (metrics > 1 && font.advances[metrics - 2] == font.advances[glyphs - 1])
    metrics--;
  return metrics;
}

std::string head_table(const sfnt_state &font, const identity_record &identity) {
  const int64_t created = static_cast<int64_t>(creation_time()) + mac_epoch;
  std::string head;
  put32(head, 0x00010000); // version 1.0
  put32(head, 0x00010000); // fontRevision
  put32(head, 0);          // checkSumAdjustment, set last
  put32(head, 0x5F0F3CF5); // magicNumber
  put16(head, 0x000B);     // flags: baseline at 0, side bearing at xMin, whole ppem
  put16(head, static_cast<uint32_t>(identity.em)); // unitsPerEm
  put64(head, static_cast<uint64_t>(created));     // created
  put64(head, static_cast<uint64_t>(created));     // modified
  for (const int32_t v : {font.x_min, font.y_min, font.x_max, font.y_max})
    put16(head, static_cast<uint16_t>(v)); // the ink's box
  // macStyle: bold, italic.
  put16(head, (identity.style_map & 0x20 ? 1 : 0) | (identity.style_map & 1 ? 2 : 0));
  put16(head, static_cast<uint32_t>(std::max(identity.pixel_size, 1))); // lowestRecPPEM
  put16(head, 2); // fontDirectionHint
  // indexToLocFormat: offsets halved in 16 bits where glyf is short enough,
  // as entries are padded to 4 bytes.
  put16(head, font.glyf_length <= 2 * 0xFFFF ? 0 : 1);
  put16(head, 0); // glyphDataFormat
  return head;
}

std::string hhea_table(const sfnt_state &font, const identity_record &identity, uint32_t metrics) {
  std::string hhea;
  put32(hhea, 0x00010000);                                 // version 1.0
  put16(hhea, static_cast<uint16_t>(identity.line_ascent)); // ascender
  put16(hhea, static_cast<uint16_t>(-identity.line_descent)); // descender
  put16(hhea, 0);                                            // lineGap
  put16(hhea, *std::max_element(font.advances.begin(), font.advances.end())); // advanceWidthMax
  put16(hhea, static_cast<uint16_t>(font.inked ? font.x_min : 0)); // minLeftSideBearing
  put16(hhea, static_cast<uint16_t>(font.min_right));              // minRightSideBearing
  put16(hhea, static_cast<uint16_t>(font.max_extent));             // xMaxExtent
  put16(hhea, 1); // caretSlopeRise
  put16(hhea, 0); // caretSlopeRun
  for (int i = 0; i < 6; i++)
    put16(hhea, 0); // caretOffset, four reserved, metricDataFormat
  put16(hhea, metrics); // numberOfHMetrics
  return hhea;
}

std::string hmtx_table(const sfnt_state &font, uint32_t metrics) {
  std::string hmtx;
  for (uint32_t i = 0; i < font.advances.size(); i++) {
    if (i < metrics) put16(hmtx, font.advances[i]);
    put16(hmtx, static_cast<uint16_t>(font.bearings[i]));
  }
  return hmtx;
}

std::string maxp_table(const sfnt_state &font) {
  std::string maxp;
  put32(maxp, font.cff_outlines ? 0x00005000 : 0x00010000); // version
  put16(maxp, static_cast<uint32_t>(font.advances.size())); // numGlyphs
  // CFF outlines have the short maxp, without TrueType's maxima.
  if (font.cff_outlines) return maxp;
  put16(maxp, font.max_points);   // maxPoints
  put16(maxp, font.max_contours); // maxContours
  put16(maxp, 0);                 // maxCompositePoints
  put16(maxp, 0);                 // maxCompositeContours
  put16(maxp, 2);                 // maxZones
  for (int i = 0; i < 8; i++)
    put16(maxp, 0); // twilight points, storage, function and instruction defs, stack, sizes
  return maxp;
}

std::string os2_table(const sfnt_state &font, const identity_record &identity) {
  uint64_t widths = 0, inked_widths = 0;
  for (uint32_t i = 1; i < font.advances.size(); i++)
    if (font.advances[i] > 0) widths += font.advances[i], inked_widths++;
  const uint32_t first_code =
      font.cmap.empty() ? 0 : static_cast<uint32_t>(font.cmap.front() >> 32);
  const uint32_t last_code = font.cmap.empty() ? 0 : static_cast<uint32_t>(font.cmap.back() >> 32);
  const int32_t em = identity.em;
  std::string os2;
  put16(os2, 4); // version
  // xAvgCharWidth: the mean of the advances that are not 0.
  put16(os2, static_cast<uint32_t>(inked_widths ? (widths + inked_widths / 2) / inked_widths : 0));
  put16(os2, static_cast<uint32_t>(identity.ttf_weight)); // usWeightClass
  put16(os2, static_cast<uint32_t>(identity.ttf_width));  // usWidthClass
  put16(os2, 0);                                          // fsType: installable
  // Sub- and superscripts as FontForge proposes them, in shares of the em,
  // then the strikeout's size and place and the family class.
  for (const int32_t v :
       {em * 650 / 1000, em * 699 / 1000, 0, em * 140 / 1000, em * 650 / 1000, em * 699 / 1000, 0,
        em * 479 / 1000, identity.underline_width, em * 259 / 1000, 0})
    put16(os2, static_cast<uint16_t>(v));
  // panose: Latin text, its weight, monospaced or not.
  const uint8_t panose[10] = {2, 0, static_cast<uint8_t>(identity.panose_weight),
                              static_cast<uint8_t>(identity.monospaced ? 9 : 4)};
  os2.append(reinterpret_cast<const char *>(panose), 10);
  for (int i = 0; i < 4; i++)
    put32(os2, 0); // ulUnicodeRange
  const std::string vendor = (identity.vendor.empty() ? "PfEd" : identity.vendor) + "    ";
  os2.append(vendor, 0, 4);                        // achVendID
  put16(os2, (identity.style_map & 0x261) | 0x80); // fsSelection: style bits, typographic metrics
  put16(os2, std::min<uint32_t>(first_code, 0xFFFF)); // usFirstCharIndex
  put16(os2, std::min<uint32_t>(last_code, 0xFFFF));  // usLastCharIndex
  put16(os2, static_cast<uint16_t>(identity.line_ascent));   // sTypoAscender
  put16(os2, static_cast<uint16_t>(-identity.line_descent)); // sTypoDescender
  put16(os2, 0);                                             // sTypoLineGap
  put16(os2, static_cast<uint32_t>(std::max(font.y_max, 0)));  // usWinAscent
  put16(os2, static_cast<uint32_t>(std::max(-font.y_min, 0))); // usWinDescent
  put32(os2, 0); // ulCodePageRange
  put32(os2, 0);
  put16(os2, static_cast<uint16_t>(std::max(identity.x_height, 0)));   // sxHeight
  put16(os2, static_cast<uint16_t>(std::max(identity.cap_height, 0))); // sCapHeight
  put16(os2, 0);  // usDefaultChar
  put16(os2, 32); // usBreakChar
  put16(os2, 1);  // usMaxContext
  return os2;
}

std::string loca_of(const sfnt_state &font) {
  const bool short_loca = font.glyf_length <= 2 * 0xFFFF;
  std::string loca;
  for (const uint32_t offset : font.loca)
    short_loca ? put16(loca, offset / 2) : put32(loca, offset);
  return loca;
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

bool post_names_fit(const sfnt_state &font) {
  // Names of their own are numbered from 258, past the standard ones, in 16 bits.
  return font.advances.size() - 1 <= 65535 - 258;
}

std::string post_table(const sfnt_state &font, const identity_record &identity) {
  std::string table;
  // Only a TrueType font's glyphs have names: a CID-keyed CFF's have none,
  // and no client of a bitmap font reads them, as all map characters
  // through cmap.  Nor have more glyphs than format 2's indexes reach.
  const bool named = post_names_fit(font) && font.outlines && !font.cff_outlines;
  put32(table, named ? 0x00020000 : 0x00030000);
  put32(table, static_cast<uint32_t>(identity.italic_angle * 65536));
  put16(table, static_cast<uint16_t>(identity.underline_position));
  put16(table, static_cast<uint16_t>(identity.underline_width));
  put32(table, identity.monospaced ? 1 : 0);
  for (int i = 0; i < 4; i++)
    put32(table, 0);
  if (!named) return table;
  const auto glyphs = static_cast<uint32_t>(font.advances.size());
  put16(table, glyphs);
  put16(table, 0); // .notdef, a standard name
  for (uint32_t i = 1; i < glyphs; i++)
    put16(table, 258 + i - 1);
  return table + font.names;
}
