#include "sfd/rows.h"

#include <charconv>
#include <cstdio>

namespace {

// One pixel's five lines: each at most a blank, two numbers, a blank and " l 1\n".
constexpr size_t pixel_room = 5 * (1 + 16 + 1 + number_room + 5);
constexpr size_t arena_size = 1024 * 1024;
constexpr size_t entry_room = 32 * pixel_room;
constexpr uint32_t no_entry = UINT32_MAX;
constexpr uint32_t seen_once = UINT32_MAX - 1;
constexpr uint32_t max_rows = 128; // half the slots, so that probe chains stay short

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

} // namespace

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

size_t format_coordinate(char *to, float value) {
  const auto result =
      std::to_chars(to, to + number_room, static_cast<double>(value), std::chars_format::fixed, 6);
  return static_cast<size_t>(result.ptr - to);
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
