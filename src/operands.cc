// The run of a conversion's operands: the first size of a face, then each
// later size, each said in its report, and the font closed at the end.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "convert.h"
#include "report.h"

namespace {

// Fills the run's error with a read or write error, said as it stands.
void plain_error(conversion_state &state, const char *what, const char *name, const char *reason) {
  conversion_error &error = state.error;
  error.failed = true;
  error.fatal = false;
  if (name == nullptr)
    std::snprintf(error.text, sizeof error.text, "%s: %s\n", what, reason);
  else
    std::snprintf(error.text, sizeof error.text, "%s '%s': %s\n", what, name, reason);
}

// Makes the state ready for the next operand, a later size of the face
// whose strike is strike: what the first one named and wrote stays.
void next_size(conversion_state &state, strike_state &strike) {
  if (state.sizes.master) state.sizes.unencoded = state.glyph.unencoded;
  state.sizes.master = false;
  state.sizes.added = 0;
  reset_face(state.glyph);
  reset_sfd_glyph(state.sfd);
  // The names of the command line stay; what the first size's properties gave goes.
  const std::string_view name = state.info.name, psname = state.info.psname;
  release_font_info(state.info, state.owned);
  state.info = font_info{};
  state.info.name = name;
  state.info.psname = psname;
  state.structure = structure_state{};
  state.identity = font_identity{};
  state.line = state.error_line = 0;
  std::swap(state.strike, strike);
}

// Converts one operand, with finish its closing lines too, and says what it
// did on errors, unless deferred takes its start for a report after the
// font is complete; returns the exit status, a failure left in state.error.
int run_operand(conversion_state &state, line_reader &reader, output &out, FILE *errors,
                bool finish, struct timespec *deferred = nullptr) {
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  if (deferred != nullptr) *deferred = start;
  if (finish ? convert(state, reader, out) : convert_operand(state, reader, out)) {
    output_flush(out);
    return 1;
  }
  if (reader.error != 0) {
    output_flush(out);
    char reason[80];
    if (reader.too_long)
      std::snprintf(reason, sizeof reason, "Line %lu is longer than %zu bytes.", reader.lines + 1,
                    max_line);
    plain_error(state, "Can't read BDF file", state.input_name,
                reader.too_long ? reason : std::strerror(reader.error));
    return 1;
  }
  if (!output_flush(out)) {
    const bool font = state.options.format != FORMAT_SFD;
    plain_error(state,
                state.output_name ? (font ? "Can't write font file" : "Can't write SFD file")
                                  : (font ? "Can't write font output" : "Can't write SFD output"),
                state.output_name, std::strerror(out.error));
    return 1;
  }
  // HarfBuzz and Pango scale the first size's advances and line to every
  // other size; FreeType's own strikes are exact.
  const font_pixels pixels = bdf_font_pixels(state.glyph);
  state.out_of_proportion =
      state.glyph.sizes != nullptr &&
      !sizes_end_operand(state.sizes, std::max(pixels.ascent, 0), std::max(pixels.descent, 0),
                         &state.scaled, &state.own);
  if (deferred == nullptr) report_operand(errors, state, start);
  return 0;
}

// Fills the run's error with the one failure that has no line.
int memory_error(conversion_state &state) {
  fail(state, "Memory allocation error.", no_line);
  return 1;
}

} // namespace

int convert_sizes(conversion_state &state, line_reader &reader, const int *fds,
                  const char *const *names, strike_state *later, int count, output &out,
                  FILE *errors) {
  output discard;
  // Only the first size's records are written; a later size's text goes nowhere.
  if (!reader_open_fd(reader, fds[0]) || (count > 1 && !output_open(discard, -1, nullptr)))
    return memory_error(state);
  discard.discard = true;
  if (count > 1) {
    state.glyph.sizes = &state.sizes;
    state.sizes.master_name = names[0];
    state.sizes.records = &out;
  }
  choose_writer(state);
  const bool closed = count == 1 && state.writer->streams;
  // The last operand is reported once the font is whole: a font's tables,
  // or its strikes, are written after the last line is read.
  struct timespec last_start;
  int status = run_operand(state, reader, out, errors, closed,
                           count == 1 && !closed ? &last_start : nullptr);
  // Each later size adds its strike, and records for the glyphs the first lacks.
  for (int i = 1; i < count && status == 0; i++) {
    strike_state &strike = later[i - 1];
    if (i == 1) strike_rest(state.strike);
    next_size(state, strike);
    state.input_name = names[i];
    if (!reader_open_fd(reader, fds[i]) || !strike_resume(state.strike)) {
      status = memory_error(state);
      break;
    }
    status =
        run_operand(state, reader, discard, errors, false, i == count - 1 ? &last_start : nullptr);
    strike_rest(state.strike);
    std::swap(state.strike, strike);
  }
  if (!closed && status == 0 &&
      state.writer->finish(state, out, later, static_cast<size_t>(count - 1)))
    status = 1;
  if (status == 0 && !closed) report_operand(errors, state, last_start);
  if (status == 0) report_font(errors, state);
  output_close(discard);
  return status;
}
