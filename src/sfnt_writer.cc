// The writer of a font made directly (-T): each glyph record traced into
// the font's outlines and its bitmap into the strikes, the tables written
// at the end.  Nothing is written while the lines are read.
#include <cerrno>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <string>

#include "convert.h"
#include "sfnt/sfnt.h"
#include "writer.h"

namespace {

void sfnt_header(conversion_state &state, output &, const identity_record &font) {
  if (is_first_size(state)) state.header = font;
  if (state.options.strike)
    ebdt_start(state.sfnt.strikes, font.pixel_size, font.em_ascent, font.em_descent);
}

void sfnt_property(conversion_state &state, std::string_view name, std::string_view value,
                   bool header_line) {
  ebdt_property(state.sfnt.strikes, name, value, header_line);
}

void sfnt_nothing(conversion_state &, output &) {}

void sfnt_no_row(conversion_state &, output &, uint32_t) {}

// The first size's glyphs and the glyphs only a later size has become the
// font's, each size's bitmaps its strike.
const char *sfnt_glyph(conversion_state &state, output &, bool drawn) {
  if (!drawn) return nullptr;
  const glyph_record &record = *state.glyph.record;
  const bool later = !is_first_size(state);
  const int32_t unit = state.header.units_per_pixel;
  if (!later || record.added) {
    const int64_t width =
        later ? sizes_width(state.sizes, record.advance) : int64_t{record.advance} * unit;
    // An advance the font can't hold is the DWIDTH line's fault, where there
    // is one; it is checked whole, before it is narrowed for the font.
    if (const char *message = sfnt_advance_error(state.sfnt, width)) {
      if (state.advance_line != 0) state.error_line = state.advance_line;
      return message;
    }
    if (const char *message = sfnt_take(state.sfnt, record, unit, static_cast<int32_t>(width),
                                        !later && state.options.format != FORMAT_OTB, !later))
      return message;
  }
  if (state.options.strike) ebdt_glyph(state.sfnt.strikes, record);
  return nullptr;
}

const char *sfnt_finish(conversion_state &state, output &out, strike_state *, size_t) {
  // A font of .notdef alone is refused by sanitizers as CFF and by FreeType
  // as an OTB, and is of no use as any.
  if (state.sfnt.advances.size() == 1)
    return fail(state, "The BDF has no glyph to make a font of.", no_line);
  if (!state.options.woff2) {
    if (!sfnt_write(state.sfnt, state.header, out)) return spool_error(state, errno);
    return nullptr;
  }
  // The encoder takes the whole font at once, so it is made in memory first.
  if (const char *message = woff2_load(state.woff2)) return fail(state, message, no_line);
  std::string font;
  output in_memory;
  if (!output_open(in_memory, -1, &font)) return fail(state, "Memory allocation error.", no_line);
  const bool made = sfnt_write(state.sfnt, state.header, in_memory) && output_flush(in_memory);
  const int error = errno;
  output_close(in_memory);
  if (!made) return spool_error(state, error);
#ifdef __GLIBC__
  // The encoder allocates and frees large blocks by the thousand; served
  // from the heap, not each mapped and unmapped, it takes a tenth less time.
  mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
#endif
  if (const char *message = woff2_wrap(state.woff2, font, out))
    return fail(state, message, no_line);
  return nullptr;
}

} // namespace

const font_writer sfnt_writer = {false,        sfnt_header,  sfnt_property,
                                 sfnt_nothing, sfnt_nothing, sfnt_no_row,
                                 sfnt_glyph,   sfnt_nothing, sfnt_finish};
