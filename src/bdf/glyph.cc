#include "bdf/glyph.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "io/compat.h"
#include "font/names.h"

namespace {

constexpr const char *bbox_message = "Invalid value for FONTBOUNDINGBOX.";
// The largest offset, advance or font box in pixels taken from a BDF;
// nothing real comes near it, and it keeps the pen's walk to a glyph's box
// short.
constexpr long long max_offset = 1024;


// The font's ascent in pixels; the FONTBOUNDINGBOX stands in for a missing
// FONT_ASCENT.
int32_t ascent_pixels(const glyph_state &state) {
  return state.ascent_pixels >= 0 ? state.ascent_pixels
                                  : static_cast<int32_t>(state.height) + state.font_box.y;
}

// The product is rounded to a float before truncation: 25 * 40.96f is
// exactly 1024 in single precision, not 1023.99... as in double.
int32_t scale(long long pixels, float step) {
  const float product = static_cast<float>(pixels) * step;
  return static_cast<int32_t>(product);
}

bool in_font_units(float value) {
  return value >= -32768.0f && value <= 32767.0f;
}

// Whether a box's edges, a whole number of pixels from the baseline, fit
// FontForge's 16 bits.
bool box_in_font_units(const glyph_box &box, float unit) {
  const float left = static_cast<float>(box.x) * unit;
  const float right = static_cast<float>(box.x + static_cast<int32_t>(box.width)) * unit;
  const float bottom = static_cast<float>(box.y) * unit;
  const float top = static_cast<float>(box.y + static_cast<int32_t>(box.height)) * unit;
  return in_font_units(left) && in_font_units(right) && in_font_units(bottom) && in_font_units(top);
}

// The message of a glyph whose box or advance a strike can't hold.
const char *past_strike(const glyph_state &state, char *message, size_t size, const char *rule) {
  std::snprintf(message, size, "Glyph %.*s does not fit a strike: %s pixels.",
                static_cast<int>(state.names.length), state.names.name, rule);
  return message;
}

// Opens the glyph's record under -b once its Unicode value is known: its
// name, which may be made of that value, its index and whether a later
// size adds it.
void open_record(glyph_state &state, int32_t unicode) {
  uint64_t index = state.names.glyphs - 1;
  bool added = false;
  if (state.sizes != nullptr && state.sizes->master) {
    sizes_note(*state.sizes, unicode, index);
  } else if (state.sizes != nullptr) {
    // A later size's glyph finds the first size's record, or adds its own.
    sizes_glyph(*state.sizes, unicode);
    index = state.sizes->index;
    added = state.sizes->is_added;
  }
  if (!state.record) state.record = std::make_unique<glyph_record>();
  glyph_record &record = *state.record;
  record.name_length = static_cast<uint8_t>(namer_name(state.names, unicode, record.name));
  record.unicode = unicode;
  record.index = index;
  record.added = added;
  state.unicode = unicode;
  if (unicode < 0) state.unencoded++;
}

} // namespace

const char *bdf_encoding_action(glyph_state &state, std::string_view value) {
  bdf_line words = make_line(value);
  const char *error = nullptr;
  const long long code = bounded_number(next_token(words, " \t"), -1, INT32_MAX, &error);
  if (error) return "Invalid value for ENCODING.";
  // The second number of "ENCODING -1 n" is a code of no standard charset.
  const std::string_view other = next_token(words, " \t");
  if (!other.empty()) bounded_number(other, -1, INT32_MAX, &error);
  if (error || !next_token(words, " \t").empty()) return "Invalid value for ENCODING.";
  // The record waits for the Unicode value, which its name may be made of.
  open_record(state, charset_glyph_unicode(state.charset, code,
                                    std::string_view(state.names.name, state.names.length)));
  return nullptr;
}

const char *charset_property_action(glyph_state &state, std::string_view value, int which) {
  if (charset_property(state.charset, value, which)) return nullptr;
  return which == 0 ? "Invalid value for CHARSET_REGISTRY." : "Invalid value for CHARSET_ENCODING.";
}

void xlfd_charset_action(glyph_state &state, std::string_view value) {
  charset_from_xlfd(state.charset, value);
}

void release_glyph_state(glyph_state &state) {
  charset_release(state.charset);
}

void reset_glyph_state(glyph_state &state) {
  release_glyph_state(state);
  std::unique_ptr<glyph_record> record = std::move(state.record);
  std::unique_ptr<uint64_t[]> taken = std::move(state.charset.taken);
  std::vector<uint32_t> taken_words = std::move(state.charset.taken_words);
  state = glyph_state{};
  state.record = std::move(record);
  state.charset.taken = std::move(taken);
  state.charset.taken_words = std::move(taken_words);
}

void reset_face(glyph_state &state) {
  glyph_namer names = std::move(state.names);
  const bool strikes = state.strikes;
  size_set *sizes = state.sizes;
  reset_glyph_state(state);
  state.names = std::move(names);
  state.strikes = strikes;
  state.sizes = sizes;
}

const char *fontboundingbox_action(glyph_state &state, bdf_line &line,
                                   const conversion_options &options) {
  // The BDF's own reading ends a number at the line end as well.
  const delimiter_set delims = options.bdf ? delimiter_set(" \t\n") : delimiter_set(" \t");
  // The BDF's own glyphs are drawn in their own boxes, never in the font's,
  // so only the default mode holds the font's box to what it can draw.
  const long long max_width = options.bdf ? max_offset : 32;
  const long long max_height = options.bdf ? max_offset : 64;
  const char *error = nullptr;
  std::string_view token = next_token(line, delims);
  if (!token.empty()) {
    state.width = static_cast<uint32_t>(bounded_number(token, 0, max_width, &error));
    if (error) return bbox_message;
  }
  token = next_token(line, delims);
  if (!token.empty()) {
    state.height = static_cast<uint32_t>(bounded_number(token, 0, max_height, &error));
    if (error) return bbox_message;
  }
  if (state.width == 0 || state.height == 0) return bbox_message;
  if (options.bdf) {
    for (int32_t *offset : {&state.font_box.x, &state.font_box.y}) {
      token = next_token(line, delims);
      if (token.empty()) continue;
      *offset = static_cast<int32_t>(bounded_number(token, -max_offset, max_offset, &error));
      if (error) return bbox_message;
    }
    state.font_box.width = state.width;
    state.font_box.height = state.height;
  }
  const uint32_t bytes = std::min((state.width + 7) / 8, 4u);
  state.mask = 1u << (8 * bytes - 1);
  state.ystep = static_cast<float>(1024.0 / state.height);
  // Square pixels with the BDF's geometry; else the cell is 512 units wide.
  state.xstep = options.bdf ? state.ystep : static_cast<float>(512.0 / state.width);
  return nullptr;
}

const char *font_metric_action(const glyph_state &state, std::string_view value, int32_t *units,
                               int32_t *pixels, const char *message,
                               const conversion_options &options) {
  const char *error = nullptr;
  const long long n = bounded_number(value, 0, options.bdf ? max_offset : 64, &error);
  if (error) return message;
  *pixels = static_cast<int32_t>(n);
  *units = scale(n, state.ystep);
  return nullptr;
}

const char *bbx_action(glyph_state &state, bdf_line &line, char *message, size_t size) {
  const long long limits[4][2] = {
      {0, INT32_MAX}, {0, INT32_MAX}, {-max_offset, max_offset}, {-max_offset, max_offset}};
  long long values[4];
  for (int i = 0; i < 4; i++) {
    const char *error = nullptr;
    values[i] = bounded_number(next_token(line, " \t\n"), limits[i][0], limits[i][1], &error);
    if (error) return "Invalid value for BBX.";
  }
  for (int i = 0; i < 2; i++)
    if (values[i] > (i == 0 ? max_glyph_width : max_glyph_height)) {
      std::snprintf(message, size, "BBX is %lld pixels %s; at most %u by %u are supported.",
                    values[i], i == 0 ? "wide" : "tall", max_glyph_width, max_glyph_height);
      return message;
    }
  state.next_box = {static_cast<uint32_t>(values[0]), static_cast<uint32_t>(values[1]),
                    static_cast<int32_t>(values[2]), static_cast<int32_t>(values[3])};
  state.has_box = true;
  // FontForge holds coordinates in 16 bits.
  if (!box_in_font_units(state.next_box, state.ystep)) return "Invalid value for BBX.";
  // A strike's bearings are 8 bits: the box's left and top offsets.
  const long long top = values[3] + values[1];
  if (state.strikes && (values[2] < -128 || values[2] > 127 || top < -128 || top > 127))
    return past_strike(state, message, size, "BBX's offsets (left and top) must be -128 to 127");
  return nullptr;
}

const char *dwidth_action(glyph_state &state, bdf_line &line, char *message, size_t size) {
  const char *error = nullptr;
  const long long dx = bounded_number(next_token(line, " \t\n"), -max_offset, max_offset, &error);
  if (error) return "Invalid value for DWIDTH.";
  // The vertical advance has no place in the SFD, but must be a number too.
  const std::string_view dy = next_token(line, " \t\n");
  if (!dy.empty()) {
    bounded_number(dy, -max_offset, max_offset, &error);
    if (error) return "Invalid value for DWIDTH.";
  }
  state.next_advance = static_cast<int32_t>(dx);
  state.has_advance = true;
  // FontForge holds widths in 16 bits, a strike's advances in 8.
  if (!in_font_units(static_cast<float>(dx) * state.xstep)) return "Invalid value for DWIDTH.";
  if (state.strikes && (dx < 0 || dx > 255))
    return past_strike(state, message, size, "DWIDTH must be 0 to 255");
  return nullptr;
}

font_pixels bdf_font_pixels(const glyph_state &state) {
  font_pixels pixels;
  pixels.cell_width = static_cast<int32_t>(state.width);
  pixels.cell_height = static_cast<int32_t>(state.height);
  pixels.ascent = ascent_pixels(state);
  pixels.descent = state.descent_pixels >= 0 ? state.descent_pixels : -state.font_box.y;
  pixels.line_given = state.ascent_pixels >= 0 && state.descent_pixels >= 0;
  return pixels;
}

int32_t bdf_font_scale(glyph_state &state, float step) {
  state.xstep = state.ystep = step;
  return scale(ascent_pixels(state), step);
}

void startchar_action(glyph_state &state, std::string_view name) {
  state.has_box = false;
  state.has_advance = false;
  namer_start(state.names, name);
}

const char *bitmap_action(glyph_state &state) {
  // Every glyph has its BBX, which the structure makes sure of.
  state.box = state.next_box;
  const int32_t advance =
      state.has_advance ? state.next_advance : static_cast<int32_t>(state.width);
  if (state.strikes && !state.has_advance && advance > 255)
    return "The font's width, the advance of a glyph without DWIDTH, does not fit a strike: "
           "at most 255 pixels.";
  const long width = std::lround(static_cast<float>(advance) * state.xstep);
  // The box and a DWIDTH were held to FontForge's 16 bits on their lines;
  // the cell's width stands in for a missing DWIDTH.
  if (width < -32768 || width > 32767) return "Invalid value for FONTBOUNDINGBOX.";
  state.in_bitmap = true;
  state.glyphs++;
  state.advance_units = static_cast<int32_t>(width);
  // Every glyph has its ENCODING, which opened the record.
  glyph_record &record = *state.record;
  const bool later = state.sizes != nullptr && !state.sizes->master;
  // This record is counted among those without a Unicode value already.
  record.slot = later ? state.sizes->slot : strike_slot(state.unicode, state.unencoded - 1);
  record.advance = advance;
  record.box = state.box;
  record.count = 0;
  return nullptr;
}

bool endchar_action(glyph_state &state) {
  const bool drawn = state.in_bitmap;
  state.in_bitmap = false;
  return drawn;
}

const uint32_t *hex_row_action(glyph_state &state, std::string_view row, const char **message) {
  *message = nullptr;
  if (row.size() > 2 * ((state.box.width + 7) / 8))
    *message = "Invalid bitmap row.";
  else if (state.record->count == state.box.height)
    *message = "More bitmap rows than the glyph's height.";
  return *message != nullptr ? nullptr : record_add_row(*state.record, row);
}
