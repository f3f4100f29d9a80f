#include "sfd/sfd_glyph.h"

#include "font/names.h"

namespace {

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

// Draws a row's pixels, or with merge adds them to the rows to trace, and
// moves the pen down.
void draw_row(sfd_glyph_state &sfd, const glyph_state &glyph, output &out, uint32_t pixels,
              int32_t first_column, uint32_t columns, bool merge) {
  if (merge)
    outline_add_row(sfd.band, sfd.texts, out, pixels, first_column, columns, sfd.pen_y,
                    glyph.xstep, glyph.ystep);
  else
    draw_pixels(out, sfd.texts, pixels, first_column, columns, sfd.pen_y, glyph.xstep,
                glyph.ystep);
  sfd.pen_y = sfd.pen_y - glyph.ystep;
}

// Draws the rows of a wide glyph a slab of columns at a time, each from the
// glyph's top, and writes what merge has collected before the record ends.
void draw_wide(sfd_glyph_state &sfd, const glyph_state &glyph, output &out, bool merge) {
  const glyph_record &record = *glyph.record;
  for (uint32_t k = 0; k < slabs_of(glyph.box.width); k++) {
    sfd.pen_y = sfd.top;
    const int32_t first_column = glyph.box.x + static_cast<int32_t>(k * slab_columns);
    for (uint32_t r = 0; r < record.count; r++)
      draw_row(sfd, glyph, out, record.words[r][k], first_column,
               slab_width(glyph.box.width, k), merge);
  }
  sfd_flush(sfd, out);
}

} // namespace

void reset_sfd_glyph(sfd_glyph_state &sfd) {
  std::unique_ptr<char[]> arena = std::move(sfd.texts.arena);
  std::unique_ptr<trace_result> trace = std::move(sfd.band.trace);
  std::unique_ptr<corner_texts> corners = std::move(sfd.band.corners);
  pen_grid pens = std::move(sfd.pens);
  // The corner texts are tagged with these counters, so they must not start over.
  const uint32_t generation = sfd.texts.generation;
  const uint32_t stamps = sfd.band.stamps;
  sfd = sfd_glyph_state{};
  sfd.texts.arena = std::move(arena);
  sfd.texts.generation = generation;
  sfd.band.trace = std::move(trace);
  sfd.band.corners = std::move(corners);
  sfd.band.stamps = stamps;
  // The grid is made anew whenever its origin or step changes.
  sfd.pens = std::move(pens);
}

void sfd_startchar(sfd_glyph_state &sfd, glyph_state &glyph, output &out, std::string_view name) {
  glyph.has_box = false;
  glyph.has_advance = false;
  output_write(out, "StartChar: ");
  if (name.empty()) {
    // FontForge stops reading at a record without a name; this one is
    // numbered by the glyphs before it, which no BDF name is likely to be.
    output_write(out, "_unnamed.");
    output_number(out, static_cast<int64_t>(sfd.unnamed++));
    return;
  }
  // FontForge cuts a longer name, so that two glyphs could get one: such a
  // name keeps what fits beside a number of its own.  A byte is written as
  // three at most, so a short name needs no measuring.
  if (3 * name.size() > max_sfd_glyph_name &&
      glyph_name_fitting(name, max_sfd_glyph_name) < name.size()) {
    write_glyph_name(out, name.substr(0, glyph_name_fitting(name, max_sfd_glyph_name - 21)));
    output_write(out, ".");
    output_number(out, static_cast<int64_t>(sfd.unnamed++));
    return;
  }
  write_glyph_name(out, name);
}

void sfd_encoding(output &out, std::string_view value) {
  output_write(out, "\nEncoding: ");
  output_write(out, value);
  output_write(out, " ");
  output_write(out, value);
  output_write(out, " ");
  output_write(out, value);
  output_write(out, "\n");
}

void sfd_bitmap(sfd_glyph_state &sfd, glyph_state &glyph, output &out, int32_t ascent) {
  sfd.pen_y = static_cast<float>(ascent);
  glyph.in_bitmap = true;
  glyph.glyphs++;
  output_write(out, "Width: 512\nFlags: HW\nLayerCount: 2\nFore\nSplineSet\n");
}

void sfd_row(sfd_glyph_state &sfd, glyph_state &glyph, output &out, std::string_view first_token,
             bool merge) {
  if (!glyph.in_bitmap) return;
  const auto row = static_cast<uint32_t>(read_row(first_token));
#ifdef QUADSMITH_PLAIN_ROWS
  if (!merge) {
    draw_row_plain(out, row, glyph.mask, glyph.width, sfd.pen_y, glyph.xstep, glyph.ystep);
    sfd.pen_y = sfd.pen_y - glyph.ystep;
    return;
  }
#endif
  draw_row(sfd, glyph, out, row_pixels(row, glyph.mask, glyph.width), 0, glyph.width, merge);
}

void sfd_record_open(output &out, const glyph_record &record, int64_t third) {
  output_write(out, "StartChar: ");
  output_write(out, std::string_view(record.name, record.name_length));
  output_write(out, "\nEncoding: ");
  output_number(out, record.unicode);
  output_write(out, " ");
  output_number(out, record.unicode);
  output_write(out, " ");
  output_number(out, third);
  output_write(out, "\n");
}

void sfd_record_bitmap(sfd_glyph_state &sfd, const glyph_state &glyph, output &out,
                       int32_t ascent) {
  // The top of the box lies on the pen grid that starts at the ascent, so
  // that its rows meet the rows of every other glyph edge to edge.
  const int32_t steps = bdf_font_pixels(glyph).ascent -
                        (glyph.box.y + static_cast<int32_t>(glyph.box.height));
  sfd.pen_y = sfd.top = pen_top(sfd.pens, static_cast<float>(ascent), glyph.ystep, steps);
  output_write(out, "Width: ");
  output_number(out, glyph.advance_units);
  // No hints: FontForge would autohint every glyph when it makes an OTF,
  // which takes minutes for a large font and moves the pixels' edges.
  output_write(out, "\nFlags: W\nLayerCount: 2\nFore\nSplineSet\n");
}

void sfd_record_row(sfd_glyph_state &sfd, const glyph_state &glyph, output &out, uint32_t row,
                    bool merge) {
  draw_row(sfd, glyph, out, row, glyph.box.x, glyph.box.width, merge);
}

void sfd_endchar(sfd_glyph_state &sfd, const glyph_state &glyph, output &out, bool merge) {
  if (glyph.in_bitmap && glyph.box.width > slab_columns) draw_wide(sfd, glyph, out, merge);
  output_write(out, "EndSplineSet\nEndChar\n\n");
}

void sfd_flush(sfd_glyph_state &sfd, output &out) {
  outline_flush(sfd.band, sfd.texts, out);
}
