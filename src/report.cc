#include "report.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "io/compat.h"
#include "convert.h"
#include "sfnt/tables.h"
#include "font/sfd_text.h"

namespace {

// The run report; with a name, it says which input it is about, so that
// the reports of runs side by side can be told apart.
void report_time(FILE *errors, const struct timespec &start, uint64_t glyphs, uint64_t unencoded,
                 const char *name, uint64_t added) {
  struct timespec end;
  clock_gettime(CLOCK_MONOTONIC, &end);
  time_t seconds = end.tv_sec - start.tv_sec;
  long nanoseconds = end.tv_nsec - start.tv_nsec;
  if (nanoseconds < 0) {
    seconds -= 1;
    nanoseconds += 1000000000;
  }
  const double elapsed =
      static_cast<double>(nanoseconds) / 1000000000.0 + static_cast<double>(seconds);
  std::fprintf(errors, "Processed %lu glyphs", static_cast<unsigned long>(glyphs));
  if (name != nullptr && std::strcmp(name, "-") == 0)
    std::fputs(" of standard input", errors);
  else if (name != nullptr)
    std::fprintf(errors, " of '%s'", name);
  std::fprintf(errors, " in %f seconds", elapsed);
  if (unencoded != 0)
    std::fprintf(errors, ", %lu without a Unicode value", static_cast<unsigned long>(unencoded));
  if (added != 0)
    std::fprintf(errors, ", %lu not in the first size, given records of their own",
                 static_cast<unsigned long>(added));
  std::fputs(".\n", errors);
}

// Writes a charset's name, bytes of the file, with what is not printable
// ASCII shown as \xHH.
void write_charset_name(FILE *to, std::string_view name) {
  for (const char c : name)
    if (c >= 0x20 && c < 0x7F)
      std::fputc(c, to);
    else
      std::fprintf(to, "\\x%02X", static_cast<unsigned char>(c));
}

// True when the run reads several operands, whose messages name their file.
bool several_sizes(const conversion_state &state) {
  return state.glyph.sizes != nullptr;
}

} // namespace

// Starts a note on standard error, "quadsmith: ", with several operands
// followed by the file it is about, and writes the printf text behind it.
void note(FILE *to, const conversion_state &state, const char *format, ...) {
  std::fprintf(to, "%s: ", program_name());
  if (several_sizes(state)) std::fprintf(to, "'%s': ", state.input_name);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(to, format, arguments);
  va_end(arguments);
}

void report_font(FILE *errors, const conversion_state &state) {
  const sfnt_state &font = state.sfnt;
  if (state.writer == &sfnt_writer && font.outlines && !font.cff_outlines &&
      !post_names_fit(font))
    std::fprintf(errors,
                 "%s: The font's %zu glyphs are more than a post table of names numbers: it "
                 "names none (format 3).\n",
                 program_name(), font.advances.size());
  if (state.writer != &sfnt_writer) return;
  if (font.strikes.left_out > 0)
    std::fprintf(errors,
                 "%s: %u properties past the 65,535, or the 1 MiB, of a size that the BDF table "
                 "keeps are left out of it.\n",
                 program_name(), font.strikes.left_out);
  if (font.strikes.cut_ppem > 0)
    std::fprintf(errors,
                 "%s: The %d-pixel strike's line metrics pass the -128 to 127 pixels a strike "
                 "holds (0 to 255 for its widest advance): they are cut to fit.\n",
                 program_name(), font.strikes.cut_ppem);
}

void report_operand(FILE *errors, const conversion_state &state, const struct timespec &start) {
  const font_charset &charset = state.glyph.charset;
  char name[charset_name_room];
  if (charset.from_xlfd) {
    note(errors, state, "The FONT name's charset ");
    write_charset_name(errors, charset_name(charset, name));
    std::fputs(" is used, not the properties' ", errors);
    write_charset_name(errors, charset_name(charset, name, 0));
    std::fputs(".\n", errors);
  }
  if (!charset.known) {
    // The name is bytes of the file, which a too long one has not kept.
    if (charset.used == 2 && charset.xlfd_too_long) {
      note(errors, state, "The FONT name's charset is longer than 63 bytes, so it is unknown");
    } else {
      note(errors, state, "Unknown charset ");
      write_charset_name(errors, charset_name(charset, name));
    }
    std::fputs(charset.by_name > 0 && charset.private_use > 0
                   ? ": its glyphs are mapped by their names, the others at U+F0000 + their "
                     "code.\n"
               : charset.by_name > 0     ? ": its glyphs are mapped by their names.\n"
               : charset.private_use > 0 ? ": its glyphs are at U+F0000 + their code.\n"
                                         : ": its glyphs have no Unicode value.\n",
               errors);
  }
  if (charset.unnamed) note(errors, state, "No charset named: the codes are taken as Unicode.\n");
  if (charset.past_latin1 > 0)
    note(errors, state,
         "ISO 8859-1 ends at 0xFF: the %lu glyphs past it are taken at their codes as Unicode.\n",
         static_cast<unsigned long>(charset.past_latin1));
  if (state.family_cut)
    note(errors, state, "The FONT name's family is longer than %zu bytes: it is cut to them.\n",
         max_style_word);
  if (state.copyright_cut)
    note(errors, state,
         "COPYRIGHT and NOTICE cut to %zu bytes, as much as the font's name table holds.\n",
         max_copyright);
  if (state.version_cut) note(errors, state, "FONT_VERSION cut to %zu bytes.\n", max_version);
  if (state.strike.left_out > 0)
    note(errors, state,
         "%u properties named like keywords of FontForge's strike are left out of it.\n",
         state.strike.left_out);
  if (state.structure.glyphs < state.structure.chars)
    note(errors, state, "CHARS gives %lld glyphs, the file has %lld.\n", state.structure.chars,
         state.structure.glyphs);
  if (state.out_of_proportion)
    note(errors, state,
         "Its advance of %d and line of %d pixels are not the first size's scaled to its size "
         "(%d and %d): Pango and HarfBuzz lay it out with those.\n",
         state.own.advance, state.own.ascent + state.own.descent, state.scaled.advance,
         state.scaled.ascent + state.scaled.descent);
  // FontForge can't write a strike of no glyph.
  const uint64_t struck = state.options.format == FORMAT_SFD ? state.strike.glyphs
                          : state.sfnt.strikes.strikes.empty()
                              ? 0
                              : state.sfnt.strikes.strikes.back().glyphs.size();
  if (state.options.strike && struck == 0)
    note(errors, state, "No glyphs, so no strike of this size.\n");
  report_time(errors, start, state.glyph.glyphs, state.glyph.unencoded,
              state.options.bdf ? state.input_name : nullptr, state.sizes.added);
}
