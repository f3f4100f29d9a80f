#include "glyph.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "compat.h"
#include "names.h"

namespace {

constexpr const char *bbox_message = "Invalid value for FONTBOUNDINGBOX.";
// The largest offset or advance in pixels taken from a BDF; nothing real
// comes near it, and it keeps the pen's walk to a glyph's box short.
constexpr long long max_offset = 1024;

// Room for "%f" of any float: 39 integer digits, sign, point and six decimals.
constexpr size_t number_room = 48;
// One pixel's five lines: each at most a blank, two numbers, a blank and " l 1\n".
constexpr size_t pixel_room = 5 * (1 + 16 + 1 + number_room + 5);
constexpr size_t arena_size = 1024 * 1024;
constexpr size_t entry_room = 32 * pixel_room;
constexpr uint32_t no_entry = UINT32_MAX;
constexpr uint32_t seen_once = UINT32_MAX - 1;
constexpr uint32_t max_rows = 128; // half the slots, so that probe chains stay short

// The value of each byte as a hexadecimal digit, or 16 for any other byte.
constexpr auto hex_digits = [] {
  std::array<uint8_t, 256> table{};
  for (auto &digit : table)
    digit = 16;
  for (int c = 0; c < 10; c++)
    table['0' + c] = static_cast<uint8_t>(c);
  for (int c = 0; c < 6; c++) {
    table['a' + c] = static_cast<uint8_t>(10 + c);
    table['A' + c] = static_cast<uint8_t>(10 + c);
  }
  return table;
}();

uint32_t float_bits(float value) {
  return std::bit_cast<uint32_t>(value);
}

char *put(char *to, std::string_view text) {
  std::memcpy(to, text.data(), text.size());
  return to + text.size();
}

void forget_rows(pixel_texts &texts) {
  for (auto &slot : texts.slots)
    slot = {0, no_entry};
  texts.used_slots = 0;
  texts.arena_used = 0;
  texts.last_bottom_len = 0;
}

// Makes the texts of width columns from first_column on; rows seen for other
// columns are forgotten.
void prepare_cell(pixel_texts &texts, int32_t first_column, uint32_t width, float xstep,
                  float ystep) {
  // The arena is written before it is read, so it is never cleared.
  if (!texts.arena) texts.arena.reset(new char[arena_size]);
  texts.width = width;
  texts.generation++;
  texts.first_column = first_column;
  texts.xstep_bits = float_bits(xstep);
  texts.ystep_bits = float_bits(ystep);
  for (uint32_t i = 0; i < width; i++) {
    char number[number_room];
    const float x0 = static_cast<float>(first_column + static_cast<int32_t>(i)) * xstep;
    const float x1 = x0 + xstep;
    size_t n = format_coordinate(number, x0);
    std::memcpy(texts.x0[i], number, n);
    texts.x0_len[i] = static_cast<uint8_t>(n);
    n = format_coordinate(number, x1);
    std::memcpy(texts.x1[i], number, n);
    texts.x1_len[i] = static_cast<uint8_t>(n);
  }
  forget_rows(texts);
}

// Writes the five lines of one pixel's contour at p; returns their end.
char *put_pixel(char *p, const pixel_texts &texts, uint32_t i, std::string_view t,
                std::string_view b) {
  const std::string_view x0(texts.x0[i], texts.x0_len[i]);
  const std::string_view x1(texts.x1[i], texts.x1_len[i]);
  p = put(p, x0), *p++ = ' ', p = put(p, t), p = put(p, " m 1\n ");
  p = put(p, x0), *p++ = ' ', p = put(p, b), p = put(p, " l 1\n ");
  p = put(p, x1), *p++ = ' ', p = put(p, b), p = put(p, " l 1\n ");
  p = put(p, x1), *p++ = ' ', p = put(p, t), p = put(p, " l 1\n ");
  p = put(p, x0), *p++ = ' ', p = put(p, t), p = put(p, " l 1\n");
  return p;
}

// The texts of a row's top and bottom.  The bottom of one row is the top of
// the next, so the last bottom made is kept and serves as the next top.
struct row_edges {
  char top[number_room];
  char bottom[number_room];
  std::string_view t;
  std::string_view b;
};

void make_edges(pixel_texts &texts, row_edges &edges, float top, float ystep) {
  if (texts.last_bottom_len != 0 && texts.last_bottom_bits == float_bits(top)) {
    std::memcpy(edges.top, texts.last_bottom, texts.last_bottom_len);
    edges.t = std::string_view(edges.top, texts.last_bottom_len);
  } else {
    edges.t = std::string_view(edges.top, format_coordinate(edges.top, top));
  }
  const float bottom = top - ystep;
  edges.b = std::string_view(edges.bottom, format_coordinate(edges.bottom, bottom));
  std::memcpy(texts.last_bottom, edges.bottom, edges.b.size());
  texts.last_bottom_len = static_cast<uint8_t>(edges.b.size());
  texts.last_bottom_bits = float_bits(bottom);
}

// Lays out every pixel of the row with this top into the arena: a table of
// width + 1 block ends, then the blocks.  Returns the table's offset.
uint32_t make_row(pixel_texts &texts, float top, float ystep) {
  row_edges edges;
  make_edges(texts, edges, top, ystep);
  const size_t entry = (texts.arena_used + 3) & ~size_t{3};
  char *base = texts.arena.get() + entry;
  char *text = base + (texts.width + 1) * sizeof(uint32_t);
  char *p = text;
  uint32_t end = 0;
  std::memcpy(base, &end, sizeof end);
  for (uint32_t i = 0; i < texts.width; i++) {
    p = put_pixel(p, texts, i, edges.t, edges.b);
    end = static_cast<uint32_t>(p - text);
    std::memcpy(base + (i + 1) * sizeof(uint32_t), &end, sizeof end);
  }
  texts.arena_used = static_cast<size_t>(p - texts.arena.get());
  return static_cast<uint32_t>(entry);
}

// The slot of the row with this top, made if it is new.  A new top is only
// marked as seen: laying out all its pixels pays only for a top that comes
// again, and rows whose tops never repeat cost just their own pixels.
pixel_texts::slot &row_slot(pixel_texts &texts, float top, bool *is_new) {
  const uint32_t key = float_bits(top);
  *is_new = false;
  const uint32_t home = (key * 0x9E3779B1u) >> 24;
  uint32_t i = home;
  for (;; i = (i + 1) & 255) {
    pixel_texts::slot &slot = texts.slots[i];
    if (slot.entry == no_entry) break;
    if (slot.top_bits == key) return slot;
  }
  // A full table starts over; the row then takes its home slot.
  if (texts.used_slots >= max_rows) {
    forget_rows(texts);
    i = home;
  }
  texts.used_slots++;
  texts.slots[i] = {key, seen_once};
  *is_new = true;
  return texts.slots[i];
}

// The arena entry of a row seen before, laid out now if it is not yet.
uint32_t row_entry(pixel_texts &texts, pixel_texts::slot &slot, float top, float ystep) {
  if (slot.entry != seen_once) return slot.entry;
  if (arena_size - texts.arena_used < entry_room + 33 * 4 + 4) {
    // A full arena starts over with this row alone.
    forget_rows(texts);
    bool is_new;
    pixel_texts::slot &fresh = row_slot(texts, top, &is_new);
    fresh.entry = make_row(texts, top, ystep);
    return fresh.entry;
  }
  slot.entry = make_row(texts, top, ystep);
  return slot.entry;
}

// Makes sure the texts hold at least width columns from first_column on.
// Glyphs of different widths share them, so that a font of half and full
// widths does not make them again glyph after glyph.
void ensure_cell(pixel_texts &texts, int32_t first_column, uint32_t width, float xstep,
                 float ystep) {
  if (texts.width < width || texts.width == 0 || texts.first_column != first_column ||
      texts.xstep_bits != float_bits(xstep) || texts.ystep_bits != float_bits(ystep))
    prepare_cell(texts, first_column, width, xstep, ystep);
}

// The pixels a row sets, pixel i at bit 31 - i.  Pixel i is row bit
// (high - i), high being the mask's bit; pixels beyond bit 0 are never set.
uint32_t row_pixels(uint32_t row, uint32_t mask, uint32_t width) {
  if (mask == 0 || width == 0) return 0;
  const int high = 31 - std::countl_zero(mask);
  const uint32_t n = std::min<uint32_t>(width, static_cast<uint32_t>(high) + 1);
  const uint32_t ones = n == 32 ? UINT32_MAX : (1u << n) - 1;
  const uint32_t window = ones << (static_cast<uint32_t>(high) + 1 - n);
  return (row & window) << (31 - high);
}

uint32_t reverse_bits(uint32_t v) {
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  v = ((v >> 8) & 0x00FF00FFu) | ((v & 0x00FF00FFu) << 8);
  return (v >> 16) | (v << 16);
}

// A band holds at most trace_rows rows; a longer glyph is traced in bands,
// so that no input makes memory grow.
void add_band_row(glyph_state &state, output &out, uint32_t pixels, int32_t first_column,
                  uint32_t columns) {
  if (state.band_rows == trace_rows ||
      (state.band_rows != 0 &&
       (state.band_first_column != first_column || state.band_columns != columns)))
    flush_outline(state, out);
  state.band_first_column = first_column;
  state.band_columns = columns;
  if (state.band_rows == 0) state.band_tops[0] = state.pen_y;
  state.band[state.band_rows++] = pixels;
  state.band_tops[state.band_rows] = state.pen_y - state.ystep;
}

// The text of a row line's height; the same heights recur glyph after glyph.
std::string_view line_text(glyph_state &state, int line) {
  const uint32_t bits = float_bits(state.band_tops[line]);
  if (state.line_len[line] == 0 || state.line_bits[line] != bits) {
    state.line_bits[line] = bits;
    state.line_len[line] =
        static_cast<uint8_t>(format_coordinate(state.line_text[line], state.band_tops[line]));
    state.line_stamp[line] = ++state.stamps;
  }
  return std::string_view(state.line_text[line], state.line_len[line]);
}

// Writes one corner as a move (the first) or as a line, which begins with a blank.
char *put_point(char *p, glyph_state &state, const trace_point &point, bool first) {
  const pixel_texts &texts = state.texts;
  if (!first) *p++ = ' ';
  p = point.pixel_right
          ? put(p, std::string_view(texts.x0[point.x], texts.x0_len[point.x]))
          : put(p, std::string_view(texts.x1[point.x - 1], texts.x1_len[point.x - 1]));
  *p++ = ' ';
  p = put(p, line_text(state, point.y));
  return put(p, first ? " m 1\n" : " l 1\n");
}

// Writes a corner's line from the corner texts, making it if it is not there.
void write_corner(glyph_state &state, output &out, const trace_point &point) {
  constexpr size_t room = corner_texts::room;
  corner_texts &corners = *state.corners;
  line_text(state, point.y);
  const uint64_t tag = uint64_t{state.texts.generation} << 32 | state.line_stamp[point.y];
  const int side = point.pixel_right ? 1 : 0;
  char *text = corners.text[side][point.x][point.y];
  if (corners.tag[side][point.x][point.y] != tag) {
    char line[2 * number_room + 8];
    const size_t n = static_cast<size_t>(put_point(line, state, point, false) - line);
    if (n > room) {
      // Heights far out of any font do not fit; they are written as they come.
      std::memcpy(output_reserve(out, n), line, n);
      out.len += n;
      return;
    }
    std::memcpy(text, line, n);
    corners.len[side][point.x][point.y] = static_cast<uint8_t>(n);
    corners.tag[side][point.x][point.y] = tag;
  }
  // The whole slot is copied, so the copy has a fixed size.
  std::memcpy(output_reserve(out, room), text, room);
  out.len += corners.len[side][point.x][point.y];
}

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

// A glyph record needs its Encoding line before anything else; a glyph
// whose BDF gives none is written without a Unicode value.
void encode_if_missing(glyph_state &state, output &out) {
  if (!state.in_glyph || state.has_encoding) return;
  output_write(out, "\nEncoding: -1 -1 -1\n");
  state.has_encoding = true;
  state.unencoded++;
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
  if (!state.charset_ready) {
    const std::string_view registry(state.charset_names[0], state.charset_lengths[0]);
    const std::string_view encoding(state.charset_names[1], state.charset_lengths[1]);
    state.charset_known =
        !state.charset_too_long && charset_open(state.charset, registry, encoding);
    state.charset_ready = true;
  }
  const int32_t unicode = code < 0 ? -1 : charset_to_unicode(state.charset, code);
  if (unicode < 0) state.unencoded++;
  char number[16];
  const std::string_view text(
      number,
      static_cast<size_t>(std::to_chars(number, number + sizeof number, unicode).ptr - number));
  output_write(out, "\nEncoding: ");
  output_write(out, text);
  output_write(out, " ");
  output_write(out, text);
  output_write(out, " ");
  output_write(out, text);
  output_write(out, "\n");
  // A second ENCODING line adds nothing but another Encoding line, as without -b.
  state.has_encoding = true;
  return nullptr;
}

void charset_property_action(glyph_state &state, std::string_view value, int which) {
  state.charset_ready = false;
  if (value.size() >= sizeof state.charset_names[which]) {
    state.charset_too_long = true;
    return;
  }
  state.charset_lengths[which] =
      static_cast<uint8_t>(read_bdf_string(value, state.charset_names[which]));
}

std::string_view charset_name(const glyph_state &state, char *buffer) {
  size_t n = state.charset_lengths[0];
  std::memcpy(buffer, state.charset_names[0], n);
  buffer[n++] = '-';
  std::memcpy(buffer + n, state.charset_names[1], state.charset_lengths[1]);
  return std::string_view(buffer, n + state.charset_lengths[1]);
}

void release_glyph_state(glyph_state &state) {
  charset_close(state.charset);
}

void flush_outline(glyph_state &state, output &out) {
  const int rows = state.band_rows;
  if (rows == 0) return;
  state.band_rows = 0;
  uint32_t any = 0;
  for (int r = 0; r < rows; r++)
    any |= state.band[r];
  if (any == 0) return;
  if (!state.trace) state.trace.reset(new trace_result);
  if (!state.corners) state.corners.reset(new corner_texts());
  const trace_result &result = *state.trace;
  trace_outline(state.band, rows, *state.trace);
  ensure_cell(state.texts, state.band_first_column, state.band_columns, state.xstep, state.ystep);
  constexpr size_t point_room = 1 + 16 + 1 + number_room + 6;
  size_t from = 0;
  for (size_t c = 0; c < result.contours; c++) {
    const size_t end = result.contour_end[c];
    char *p = output_reserve(out, point_room);
    out.len += static_cast<size_t>(put_point(p, state, result.points[from], true) - p);
    for (size_t i = from + 1; i < end; i++)
      write_corner(state, out, result.points[i]);
    write_corner(state, out, result.points[from]);
    from = end;
  }
}

size_t format_coordinate(char *to, float value) {
  const auto result =
      std::to_chars(to, to + number_room, static_cast<double>(value), std::chars_format::fixed, 6);
  return static_cast<size_t>(result.ptr - to);
}

const char *fontboundingbox_action(glyph_state &state, bdf_line &line,
                                   const conversion_options &options) {
  // The BDF's own reading ends a number at the line end as well.
  const delimiter_set delims = options.bdf ? delimiter_set(" \t\n") : delimiter_set(" \t");
  const char *error = nullptr;
  std::string_view token = next_token(line, delims);
  if (!token.empty()) {
    state.width = static_cast<uint32_t>(bounded_number(token, 0, 32, &error));
    if (error) return bbox_message;
  }
  token = next_token(line, delims);
  if (!token.empty()) {
    state.height = static_cast<uint32_t>(bounded_number(token, 0, 64, &error));
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
  const uint32_t bytes = (state.width + 7) / 8;
  state.mask = 1u << (8 * bytes - 1);
  state.ystep = static_cast<float>(1024.0 / state.height);
  // Square pixels with the BDF's geometry; else the cell is 512 units wide.
  state.xstep = options.bdf ? state.ystep : static_cast<float>(512.0 / state.width);
  return nullptr;
}

const char *font_metric_action(const glyph_state &state, std::string_view value, int32_t *units,
                               int32_t *pixels, const char *message) {
  const char *error = nullptr;
  const long long n = bounded_number(value, 0, 64, &error);
  if (error) return message;
  *pixels = static_cast<int32_t>(n);
  *units = scale(n, state.ystep);
  return nullptr;
}

const char *bbx_action(glyph_state &state, bdf_line &line) {
  const long long limits[4][2] = {
      {0, 32}, {0, 64}, {-max_offset, max_offset}, {-max_offset, max_offset}};
  long long values[4];
  for (int i = 0; i < 4; i++) {
    const char *error = nullptr;
    values[i] = bounded_number(next_token(line, " \t\n"), limits[i][0], limits[i][1], &error);
    if (error) return "Invalid value for BBX.";
  }
  state.next_box = {static_cast<uint32_t>(values[0]), static_cast<uint32_t>(values[1]),
                    static_cast<int32_t>(values[2]), static_cast<int32_t>(values[3])};
  state.has_box = true;
  return nullptr;
}

const char *dwidth_action(glyph_state &state, bdf_line &line) {
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
  return nullptr;
}

void bdf_font_metrics(const glyph_state &state, int32_t *ascent, int32_t *descent) {
  const int32_t cell = static_cast<int32_t>(state.height);
  const int32_t up = ascent_pixels(state);
  const int32_t down = state.descent_pixels >= 0 ? state.descent_pixels : -state.font_box.y;
  *ascent = scale(up, state.ystep);
  *descent = up + down == cell ? 1024 - *ascent : scale(down, state.ystep);
}

const char *startchar_action(glyph_state &state, output &out, std::string_view name,
                             const conversion_options &options) {
  if (options.bdf) {
    if (state.in_glyph) return "STARTCHAR inside a glyph.";
    if (state.height == 0) return "Glyph before FONTBOUNDINGBOX.";
    state.in_glyph = true;
    state.has_encoding = false;
  }
  state.has_box = false;
  state.has_advance = false;
  output_write(out, "StartChar: ");
  write_glyph_name(out, name);
  return nullptr;
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

void bitmap_action(glyph_state &state, output &out, int32_t ascent,
                   const conversion_options &options) {
  if (options.bdf) encode_if_missing(state, out);
  state.in_bitmap = true;
  state.glyphs++;
  state.rows_read = 0;
  state.pen_y = static_cast<float>(ascent);
  if (!options.bdf) {
    output_write(out, "Width: 512\nFlags: HW\nLayerCount: 2\nFore\nSplineSet\n");
    return;
  }
  state.box = state.has_box ? state.next_box : state.font_box;
  const int32_t advance =
      state.has_advance ? state.next_advance : static_cast<int32_t>(state.width);
  char width[32];
  const auto end = std::to_chars(width, width + sizeof width,
                                 std::lround(static_cast<float>(advance) * state.xstep))
                       .ptr;
  output_write(out, "Width: ");
  output_write(out, std::string_view(width, static_cast<size_t>(end - width)));
  output_write(out, "\nFlags: HW\nLayerCount: 2\nFore\nSplineSet\n");
  // The top of the box lies on the pen grid that starts at the ascent, so
  // that its rows meet the rows of every other glyph edge to edge.
  const int32_t steps =
      ascent_pixels(state) - (state.box.y + static_cast<int32_t>(state.box.height));
  for (int32_t i = 0; i < steps; i++)
    state.pen_y = state.pen_y - state.ystep;
  for (int32_t i = 0; i > steps; i--)
    state.pen_y = state.pen_y + state.ystep;
}

void endchar_action(glyph_state &state, output &out, const conversion_options &options) {
  if (options.bdf) {
    encode_if_missing(state, out);
    state.in_glyph = false;
  }
  output_write(out, "EndSplineSet\nEndChar\n\n");
  state.in_bitmap = false;
}

uint64_t read_row(std::string_view token) {
  bool negative;
  size_t i = skip_space_and_sign(token, &negative);
  const size_t n = token.size();
  if (i + 1 < n && token[i] == '0' && (token[i + 1] == 'x' || token[i + 1] == 'X')) i += 2;
  uint64_t value = 0;
  bool overflow = false;
  for (; i < n; i++) {
    const uint8_t digit = hex_digits[static_cast<unsigned char>(token[i])];
    if (digit > 15) break;
    if (value > (UINT64_MAX >> 4)) overflow = true;
    value = value << 4 | digit;
  }
  if (overflow) return UINT64_MAX;
  return negative ? 0 - value : value;
}

uint32_t read_bdf_row(std::string_view token, uint32_t width) {
  if (width == 0) return 0;
  const size_t digits = 2 * ((width + 7) / 8);
  uint32_t value = 0;
  bool ended = false;
  for (size_t i = 0; i < digits; i++) {
    const uint8_t digit =
        ended || i >= token.size() ? 16 : hex_digits[static_cast<unsigned char>(token[i])];
    ended = ended || digit > 15;
    value = value << 4 | (ended ? 0 : digit);
  }
  value <<= 32 - 4 * digits;
  return width == 32 ? value : value & ~(UINT32_MAX >> width);
}

const char *bitmap_row_action(glyph_state &state, output &out, std::string_view first_token,
                              const conversion_options &options) {
  if (!state.in_bitmap) return nullptr;
  if (options.bdf) {
    const size_t digits = 2 * ((state.box.width + 7) / 8);
    if (first_token.empty() || first_token.size() > digits) return "Invalid bitmap row.";
    for (const char c : first_token)
      if (hex_digits[static_cast<unsigned char>(c)] > 15) return "Invalid bitmap row.";
    if (state.rows_read++ == state.box.height) return "More bitmap rows than the glyph's height.";
    const uint32_t pixels = read_bdf_row(first_token, state.box.width);
    if (options.merge)
      add_band_row(state, out, reverse_bits(pixels), state.box.x, state.box.width);
    else
      draw_pixels(out, state.texts, pixels, state.box.x, state.box.width, state.pen_y, state.xstep,
                  state.ystep);
    state.pen_y = state.pen_y - state.ystep;
    return nullptr;
  }
  const auto row = static_cast<uint32_t>(read_row(first_token));
  if (options.merge) {
    add_band_row(state, out, reverse_bits(row_pixels(row, state.mask, state.width)), 0,
                 state.width);
    state.pen_y = state.pen_y - state.ystep;
    return nullptr;
  }
#ifdef QUADSMITH_PLAIN_ROWS
  draw_row_plain(out, row, state.mask, state.width, state.pen_y, state.xstep, state.ystep);
#else
  draw_row(out, state.texts, row, state.mask, state.width, state.pen_y, state.xstep, state.ystep);
#endif
  state.pen_y = state.pen_y - state.ystep;
  return nullptr;
}

void draw_row(output &out, pixel_texts &texts, uint32_t row, uint32_t mask, uint32_t width,
              float top, float xstep, float ystep) {
  draw_pixels(out, texts, row_pixels(row, mask, width), 0, width, top, xstep, ystep);
}

void draw_pixels(output &out, pixel_texts &texts, uint32_t pixels, int32_t first_column,
                 uint32_t width, float top, float xstep, float ystep) {
  if (pixels == 0) return;
  ensure_cell(texts, first_column, width, xstep, ystep);
  bool is_new;
  pixel_texts::slot &slot = row_slot(texts, top, &is_new);
  if (is_new) {
    row_edges edges;
    make_edges(texts, edges, top, ystep);
    while (pixels != 0) {
      const int i = std::countl_zero(pixels);
      char *to = output_reserve(out, pixel_room);
      out.len += static_cast<size_t>(
          put_pixel(to, texts, static_cast<uint32_t>(i), edges.t, edges.b) - to);
      pixels &= ~(0x80000000u >> i);
    }
    return;
  }
  const uint32_t entry = row_entry(texts, slot, top, ystep);
  const char *base = texts.arena.get() + entry;
  const char *text = base + (texts.width + 1) * sizeof(uint32_t);
  // Neighbouring set pixels have neighbouring texts, so each run of set
  // pixels is one copy.
  while (pixels != 0) {
    const int first = std::countl_zero(pixels);
    const int run = std::countl_one(pixels << first);
    uint32_t from;
    uint32_t to;
    std::memcpy(&from, base + static_cast<size_t>(first) * sizeof(uint32_t), sizeof from);
    std::memcpy(&to, base + static_cast<size_t>(first + run) * sizeof(uint32_t), sizeof to);
    const size_t size = to - from;
    std::memcpy(output_reserve(out, size), text + from, size);
    out.len += size;
    pixels = first + run >= 32 ? 0 : pixels & (UINT32_MAX >> (first + run));
  }
}

void draw_row_plain(output &out, uint32_t row, uint32_t mask, uint32_t width, float top,
                    float xstep, float ystep) {
  for (uint32_t i = 0; i < width; i++) {
    if (((mask >> i) & row) == 0) continue;
    const float x0 = static_cast<float>(i) * xstep;
    const float x1 = x0 + xstep;
    const float bottom = top - ystep;
    char *to = output_reserve(out, pixel_room);
    const int n =
        std::snprintf(to, pixel_room, "%f %f m 1\n %f %f l 1\n %f %f l 1\n %f %f l 1\n %f %f l 1\n",
                      double{x0}, double{top}, double{x0}, double{bottom}, double{x1},
                      double{bottom}, double{x1}, double{top}, double{x0}, double{top});
    out.len += static_cast<size_t>(n);
  }
}
