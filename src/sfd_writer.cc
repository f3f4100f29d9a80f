// The SFD writer under -b: the glyph records' text as their lines are read,
// the strike's bitmaps in its spool, and the closing lines at the end.
#include <cerrno>
#include <cstring>

#include "convert.h"
#include "sfd/header.h"
#include "sfd/sfd_glyph.h"
#include "sfd/strike.h"
#include "writer.h"

namespace {

void sfd_header(conversion_state &state, output &out, const identity_record &font) {
  // FontForge puts a strike at the sum of its ascent and descent, so they
  // share the pixel size as the em's do.
  if (state.options.strike)
    strike_metrics(state.strike, font.pixel_size, font.em_ascent, font.em_descent);
  write_bdf_header(out, state.info, font);
}

void sfd_property(conversion_state &state, std::string_view name, std::string_view value,
                  bool header_line) {
  strike_property(state.strike, name, value, header_line);
}

void sfd_record(conversion_state &state, output &out) {
  const glyph_record &record = *state.glyph.record;
  // With a strike the third number is the glyph's index, by which the
  // strike's bitmap finds its glyph.  A later size's own glyph gets a
  // record of its own among the first size's.
  sfd_record_open(record.added ? *state.sizes.records : out, record,
                  state.glyph.strikes ? static_cast<int64_t>(record.index) : record.unicode);
}

void sfd_bitmap_open(conversion_state &state, output &out) {
  sfd_record_bitmap(state.sfd, state.glyph, out, state.info.ascent);
}

void sfd_bitmap_row(conversion_state &state, output &out, uint32_t row) {
  sfd_record_row(state.sfd, state.glyph, out, row, state.options.merge);
}

const char *sfd_glyph(conversion_state &state, output &out, bool drawn) {
  sfd_endchar(state.sfd, state.glyph, out, state.options.merge);
  if (!drawn) return nullptr;
  const glyph_record &record = *state.glyph.record;
  if (state.options.strike) strike_take(state.strike, record);
  // An added glyph's record ends with its advance in the first size's
  // units, and no outline.
  if (record.added) {
    output &to = *state.sizes.records;
    output_write(to, "Width: ");
    output_number(to, sizes_width(state.sizes, record.advance));
    output_write(to, "\nFlags: W\nLayerCount: 2\nEndChar\n\n");
  }
  return nullptr;
}

void sfd_flush_outline(conversion_state &state, output &out) {
  sfd_flush(state.sfd, out);
}

const char *sfd_finish(conversion_state &state, output &out, strike_state *later, size_t count) {
  output_write(out, "EndChars\n");
  // A size of no glyph has no strike: FontForge can't write one.
  if (state.options.strike && state.strike.glyphs > 0 && !strike_write(state.strike, out))
    return spool_error(state, errno);
  for (size_t i = 0; i < count; i++)
    if (later[i].glyphs > 0 && !strike_write(later[i], out)) return spool_error(state, errno);
  output_write(out, "EndSplineFont\n");
  return nullptr;
}

} // namespace

const font_writer sfd_writer = {true,          sfd_header,        sfd_property,
                                sfd_record,    sfd_bitmap_open,   sfd_bitmap_row,
                                sfd_glyph,     sfd_flush_outline, sfd_finish};
