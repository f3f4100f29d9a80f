#include "sfd/outline.h"

namespace {

uint32_t reverse_bits(uint32_t v) {
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  v = ((v >> 8) & 0x00FF00FFu) | ((v & 0x00FF00FFu) << 8);
  return (v >> 16) | (v << 16);
}

// The text of a row line's height; the same heights recur glyph after glyph.
std::string_view line_text(outline_band &state, int line) {
  const uint32_t bits = float_bits(state.tops[line]);
  if (state.line_len[line] == 0 || state.line_bits[line] != bits) {
    state.line_bits[line] = bits;
    state.line_len[line] =
        static_cast<uint8_t>(format_coordinate(state.line_text[line], state.tops[line]));
    state.line_stamp[line] = ++state.stamps;
  }
  return std::string_view(state.line_text[line], state.line_len[line]);
}

// Writes one corner as a move (the first) or as a line, which begins with a blank.
char *put_point(char *p, outline_band &state, const pixel_texts &texts, const trace_point &point,
                bool first) {
  if (!first) *p++ = ' ';
  p = point.pixel_right
          ? put(p, std::string_view(texts.x0[point.x], texts.x0_len[point.x]))
          : put(p, std::string_view(texts.x1[point.x - 1], texts.x1_len[point.x - 1]));
  *p++ = ' ';
  p = put(p, line_text(state, point.y));
  return put(p, first ? " m 1\n" : " l 1\n");
}

// Writes a corner's line from the corner texts, making it if it is not there.
void write_corner(outline_band &state, const pixel_texts &texts, output &out,
                  const trace_point &point) {
  constexpr size_t room = corner_texts::room;
  corner_texts &corners = *state.corners;
  line_text(state, point.y);
  const uint64_t tag = uint64_t{texts.generation} << 32 | state.line_stamp[point.y];
  const int side = point.pixel_right ? 1 : 0;
  char *text = corners.text[side][point.x][point.y];
  if (corners.tag[side][point.x][point.y] != tag) {
    char line[2 * number_room + 8];
    const size_t n = static_cast<size_t>(put_point(line, state, texts, point, false) - line);
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
} // namespace

// A band holds at most trace_rows rows; a longer glyph is traced in bands,
// so that no input makes memory grow.
void outline_add_row(outline_band &band, pixel_texts &texts, output &out, uint32_t pixels,
                     int32_t first_column, uint32_t columns, float top, float xstep, float ystep) {
  if (band.count == trace_rows ||
      (band.count != 0 && (band.first_column != first_column || band.columns != columns)))
    outline_flush(band, texts, out);
  band.first_column = first_column;
  band.columns = columns;
  band.xstep = xstep;
  band.ystep = ystep;
  if (band.count == 0) band.tops[0] = top;
  band.rows[band.count++] = reverse_bits(pixels);
  band.tops[band.count] = top - ystep;
}

void outline_flush(outline_band &state, pixel_texts &texts, output &out) {
  const int rows = state.count;
  if (rows == 0) return;
  state.count = 0;
  uint32_t any = 0;
  for (int r = 0; r < rows; r++)
    any |= state.rows[r];
  if (any == 0) return;
  if (!state.trace) state.trace.reset(new trace_result);
  if (!state.corners) state.corners.reset(new corner_texts());
  const trace_result &result = *state.trace;
  trace_outline(state.rows, rows, *state.trace);
  ensure_cell(texts, state.first_column, state.columns, state.xstep, state.ystep);
  constexpr size_t point_room = 1 + 16 + 1 + number_room + 6;
  size_t from = 0;
  for (size_t c = 0; c < result.contours; c++) {
    const size_t end = result.contour_end[c];
    char *p = output_reserve(out, point_room);
    out.len += static_cast<size_t>(put_point(p, state, texts, result.points[from], true) - p);
    for (size_t i = from + 1; i < end; i++)
      write_corner(state, texts, out, result.points[i]);
    write_corner(state, texts, out, result.points[from]);
    from = end;
  }
}
