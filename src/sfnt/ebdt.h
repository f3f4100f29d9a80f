// Bitmap strikes of a font made directly (-s, -T otb): each size's glyph
// images for EBLC and EBDT, and its BDF properties for FontForge's BDF table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "font/record.h"

// A glyph's image in a strike's data.
struct sfnt_image {
  uint32_t glyph, offset, length; // its glyph index and its bytes in data
  uint32_t cropped_offset, cropped_length; // and in cropped
  bool operator<(const sfnt_image &other) const { return glyph < other.glyph; }
};

// A BDF property as the BDF table keeps it: its name, its type and its value.
using bdf_property = std::pair<std::string, std::pair<uint16_t, std::string>>;

// One size's bitmaps: each glyph's image as EBDT's image format 2 holds it
// (small metrics, rows bit-aligned), the properties, and the extremes the
// strike's line metrics give.
struct sfnt_strike {
  int32_t ppem = 0, ascent = 0, descent = 0;
  std::vector<sfnt_image> glyphs;
  std::string data;
  std::string cropped; // each image again, cropped to its ink
  std::vector<bdf_property> properties;
  int32_t width_max = 0, min_origin = 0, min_advance = 0, max_before = 0, min_after = 0;
  bool any = false;
};

// The most properties of a strike the BDF table keeps, and the most bytes
// of their names and values.
constexpr size_t max_bdf_properties = 65535;
constexpr size_t max_bdf_property_bytes = 1024 * 1024;

// The strikes of the font, and the properties read before the next opens.
struct strike_set {
  std::vector<sfnt_strike> strikes;
  std::vector<bdf_property> pending;
  size_t pending_bytes = 0; // the names and values of pending
  uint32_t left_out = 0;    // properties past the bounds above, not kept
  int32_t cut_ppem = 0;     // the first strike whose line metrics were cut to fit, if any
};

// Keeps a BDF header line (FONT, SIZE, FONTBOUNDINGBOX) or property for the
// BDF table of the strike the next ebdt_start opens; value is as it stands
// in the BDF.
void ebdt_property(strike_set &font, std::string_view name, std::string_view value,
                   bool header_line);

// Opens the strike of an operand's size, its ascent and descent in pixels.
void ebdt_start(strike_set &font, int32_t ppem, int32_t ascent, int32_t descent);

// Adds a glyph's bitmap to the open strike, at glyph index record.index + 1.
void ebdt_glyph(strike_set &font, const glyph_record &record);

// Makes the EBLC and EBDT tables of every strike with a glyph.
void ebdt_tables(strike_set &font, std::string &eblc, std::string &ebdt);

// Makes FontForge's BDF table of the strikes' properties.
std::string bdf_table(const strike_set &font);
