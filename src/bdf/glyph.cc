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

// The pen walked steps rows down from origin (up for negative steps), one
// subtraction at a time as the rows themselves walk, looked up in a table
// made once per origin and step.
float pen_top(pen_grid &grid, float origin, float step, int32_t steps) {
  if (steps > pen_grid::reach || steps < -pen_grid::reach) {
    float pen = origin;
    for (int32_t i = 0; i < steps; i++)
      pen = pen - step;
    for (int32_t i = 0; i > steps; i--)
      pen = pen + step;
    return pen;
  }
  if (!grid.tops || grid.origin != origin || grid.step != step) {
    if (!grid.tops) grid.tops = std::make_unique<float[]>(2 * pen_grid::reach + 1);
    float *middle = grid.tops.get() + pen_grid::reach;
    middle[0] = origin;
    for (int32_t i = 1; i <= pen_grid::reach; i++) {
      middle[i] = middle[i - 1] - step;
      middle[-i] = middle[-i + 1] + step;
    }
    grid.origin = origin;
    grid.step = step;
  }
  return grid.tops[static_cast<size_t>(pen_grid::reach + steps)];
}

// The message of a glyph whose box or advance a strike can't hold.
const char *past_strike(const glyph_state &state, char *message, size_t size, const char *rule) {
  std::snprintf(message, size, "Glyph %.*s does not fit a strike: %s pixels.",
                static_cast<int>(state.names.length), state.names.name, rule);
  return message;
}

// Starts a glyph record under -b: its name, which may be made of its
// Unicode value, and its Encoding line.  With a strike the third number is
// the glyph's index, by which the strike's bitmap finds its glyph.
void open_record(glyph_state &state, output &out, int32_t unicode) {
  output *to = &out;
  uint64_t index = state.names.glyphs - 1;
  if (state.sizes != nullptr && state.sizes->master) {
    sizes_note(*state.sizes, unicode, index);
  } else if (state.sizes != nullptr) {
    // A later size's glyph finds the first size's record, or adds its own.
    sizes_glyph(*state.sizes, unicode);
    index = state.sizes->index;
    if (state.sizes->is_added) to = state.sizes->records;
  }
  // The record the writers that take a glyph whole get at its end.
  if (!state.record) state.record = std::make_unique<glyph_record>();
  glyph_record &record = *state.record;
  record.name_length = static_cast<uint8_t>(namer_name(state.names, unicode, record.name));
  record.unicode = unicode;
  output_write(*to, "StartChar: ");
  output_write(*to, std::string_view(record.name, record.name_length));
  output_write(*to, "\nEncoding: ");
  output_number(*to, unicode);
  output_write(*to, " ");
  output_number(*to, unicode);
  output_write(*to, " ");
  output_number(*to, state.strike != nullptr ? static_cast<int64_t>(index) : unicode);
  output_write(*to, "\n");
  state.unicode = unicode;
  if (unicode < 0) state.unencoded++;
}

// Draws a row's pixels, or with merge adds them to the rows to trace, and
// moves the pen down.
void draw_row(glyph_state &state, output &out, uint32_t pixels, int32_t first_column,
              uint32_t columns, const conversion_options &options) {
  if (options.merge)
    outline_add_row(state.band, state.texts, out, pixels, first_column, columns, state.pen_y,
                    state.xstep, state.ystep);
  else
    draw_pixels(out, state.texts, pixels, first_column, columns, state.pen_y, state.xstep,
                state.ystep);
  state.pen_y = state.pen_y - state.ystep;
}

// Draws the rows of a wide glyph a slab of columns at a time, each from the
// glyph's top, and writes what merge has collected before the record ends.
void draw_wide(glyph_state &state, output &out, const conversion_options &options) {
  const glyph_record &record = *state.record;
  for (uint32_t k = 0; k < slabs_of(state.box.width); k++) {
    state.pen_y = record.top;
    const int32_t first_column = state.box.x + static_cast<int32_t>(k * slab_columns);
    for (uint32_t r = 0; r < record.count; r++)
      draw_row(state, out, record.words[r][k], first_column, slab_width(state.box.width, k),
               options);
  }
  flush_outline(state, out);
}

} // namespace

const char *bdf_encoding_action(glyph_state &state, output &out, std::string_view value) {
  bdf_line words = make_line(value);
  const char *error = nullptr;
  const long long code = bounded_number(next_token(words, " \t"), -1, INT32_MAX, &error);
  if (error) return "Invalid value for ENCODING.";
  // The second number of "ENCODING -1 n" is a code of no standard charset.
  const std::string_view other = next_token(words, " \t");
  if (!other.empty()) bounded_number(other, -1, INT32_MAX, &error);
  if (error || !next_token(words, " \t").empty()) return "Invalid value for ENCODING.";
  // The record waits for the Unicode value, which its name may be made of.
  open_record(state, out,
              charset_glyph_unicode(state.charset, code,
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
  std::unique_ptr<char[]> arena = std::move(state.texts.arena);
  std::unique_ptr<trace_result> trace = std::move(state.band.trace);
  std::unique_ptr<corner_texts> corners = std::move(state.band.corners);
  std::unique_ptr<glyph_record> record = std::move(state.record);
  // The corner texts are tagged with these counters, so they must not start over.
  const uint32_t generation = state.texts.generation;
  const uint32_t stamps = state.band.stamps;
  state = glyph_state{};
  state.texts.arena = std::move(arena);
  state.texts.generation = generation;
  state.band.trace = std::move(trace);
  state.band.corners = std::move(corners);
  state.record = std::move(record);
  state.band.stamps = stamps;
}

void reset_face(glyph_state &state) {
  glyph_namer names = std::move(state.names);
  strike_state *strike = state.strike;
  size_set *sizes = state.sizes;
  reset_glyph_state(state);
  state.names = std::move(names);
  state.strike = strike;
  state.sizes = sizes;
}

void flush_outline(glyph_state &state, output &out) {
  outline_flush(state.band, state.texts, out);
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
  if (state.strike != nullptr && (values[2] < -128 || values[2] > 127 || top < -128 || top > 127))
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
  if (state.strike != nullptr && (dx < 0 || dx > 255))
    return past_strike(state, message, size, "DWIDTH must be 0 to 255");
  return nullptr;
}

font_pixels bdf_font_pixels(const glyph_state &state) {
  font_pixels pixels;
  pixels.cell_width = static_cast<int32_t>(state.width);
  pixels.cell_height = static_cast<int32_t>(state.height);
  pixels.ascent = ascent_pixels(state);
  pixels.descent = state.descent_pixels >= 0 ? state.descent_pixels : -state.font_box.y;
  return pixels;
}

int32_t bdf_font_scale(glyph_state &state, float step) {
  state.xstep = state.ystep = step;
  return scale(ascent_pixels(state), step);
}

void startchar_action(glyph_state &state, output &out, std::string_view name,
                      const conversion_options &options) {
  state.has_box = false;
  state.has_advance = false;
  if (options.bdf) {
    // The record starts once the Unicode value is known, which its name may need.
    namer_start(state.names, name);
    return;
  }
  output_write(out, "StartChar: ");
  if (name.empty()) {
    // FontForge stops reading at a record without a name; this one is
    // numbered by the glyphs before it, which no BDF name is likely to be.
    output_write(out, "_unnamed.");
    output_number(out, static_cast<int64_t>(state.unnamed++));
    return;
  }
  // FontForge cuts a longer name, so that two glyphs could get one: such a
  // name keeps what fits beside a number of its own.  A byte is written as
  // three at most, so a short name needs no measuring.
  if (3 * name.size() > max_sfd_glyph_name &&
      glyph_name_fitting(name, max_sfd_glyph_name) < name.size()) {
    write_glyph_name(out, name.substr(0, glyph_name_fitting(name, max_sfd_glyph_name - 21)));
    output_write(out, ".");
    output_number(out, static_cast<int64_t>(state.unnamed++));
    return;
  }
  write_glyph_name(out, name);
}

void encoding_action(output &out, std::string_view value) {
  output_write(out, "\nEncoding: ");
  output_write(out, value);
  output_write(out, " ");
  output_write(out, value);
  output_write(out, " ");
  output_write(out, value);
  output_write(out, "\n");
}

const char *bitmap_action(glyph_state &state, output &out, int32_t ascent,
                          const conversion_options &options) {
  state.pen_y = static_cast<float>(ascent);
  if (!options.bdf) {
    state.in_bitmap = true;
    state.glyphs++;
    output_write(out, "Width: 512\nFlags: HW\nLayerCount: 2\nFore\nSplineSet\n");
    return nullptr;
  }
  // Every glyph has its BBX, which the structure makes sure of.
  state.box = state.next_box;
  // The top of the box lies on the pen grid that starts at the ascent, so
  // that its rows meet the rows of every other glyph edge to edge.
  const int32_t steps =
      ascent_pixels(state) - (state.box.y + static_cast<int32_t>(state.box.height));
  state.pen_y = pen_top(state.pens, state.pen_y, state.ystep, steps);
  const int32_t advance =
      state.has_advance ? state.next_advance : static_cast<int32_t>(state.width);
  if (state.strike != nullptr && !state.has_advance && advance > 255)
    return "The font's width, the advance of a glyph without DWIDTH, does not fit a strike: "
           "at most 255 pixels.";
  const long width = std::lround(static_cast<float>(advance) * state.xstep);
  // The box and a DWIDTH were held to FontForge's 16 bits on their lines;
  // the cell's width stands in for a missing DWIDTH.
  if (width < -32768 || width > 32767) return "Invalid value for FONTBOUNDINGBOX.";
  state.in_bitmap = true;
  state.glyphs++;
  // Every glyph has its ENCODING, which opened the record.
  glyph_record &record = *state.record;
  const bool later = state.sizes != nullptr && !state.sizes->master;
  record.index = later ? state.sizes->index : state.names.glyphs - 1;
  // This record is counted among those without a Unicode value already.
  record.slot = later ? state.sizes->slot : strike_slot(state.unicode, state.unencoded - 1);
  record.added = later && state.sizes->is_added;
  record.advance = advance;
  record.box = state.box;
  record.count = 0;
  record.top = state.pen_y;
  output_write(out, "Width: ");
  output_number(out, width);
  // No hints: FontForge would autohint every glyph when it makes an OTF,
  // which takes minutes for a large font and moves the pixels' edges.
  output_write(out, "\nFlags: W\nLayerCount: 2\nFore\nSplineSet\n");
  return nullptr;
}

void endchar_action(glyph_state &state, output &out, const conversion_options &options) {
  if (options.bdf && state.in_bitmap && state.box.width > slab_columns)
    draw_wide(state, out, options);
  output_write(out, "EndSplineSet\nEndChar\n\n");
  state.in_bitmap = false;
}




const char *hex_row_action(glyph_state &state, output &out, std::string_view row,
                           const conversion_options &options) {
  if (row.size() > 2 * ((state.box.width + 7) / 8)) return "Invalid bitmap row.";
  if (state.record->count == state.box.height) return "More bitmap rows than the glyph's height.";
  const uint32_t *words = record_add_row(*state.record, row);
  // A wide glyph is drawn at its end, a slab at a time.
  if (state.box.width > slab_columns) return nullptr;
  draw_row(state, out, words[0], state.box.x, state.box.width, options);
  return nullptr;
}

const char *bitmap_row_action(glyph_state &state, output &out, std::string_view first_token,
                              const conversion_options &options) {
  if (!state.in_bitmap) return nullptr;
  if (options.bdf)
    return is_hex_row(first_token) ? hex_row_action(state, out, first_token, options)
                                   : "Invalid bitmap row.";
  const auto row = static_cast<uint32_t>(read_row(first_token));
#ifdef QUADSMITH_PLAIN_ROWS
  if (!options.merge) {
    draw_row_plain(out, row, state.mask, state.width, state.pen_y, state.xstep, state.ystep);
    state.pen_y = state.pen_y - state.ystep;
    return nullptr;
  }
#endif
  draw_row(state, out, row_pixels(row, state.mask, state.width), 0, state.width, options);
  return nullptr;
}
