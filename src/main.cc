#include "main.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <err.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bdf.h"
#include "compat.h"
#include "outfile.h"
#include "sfd_text.h"

#ifndef QUADSMITH_VERSION
#define QUADSMITH_VERSION "0.0.0"
#endif

namespace {

constexpr const char *usage_text =
    "quadsmith [-bhmsv] [-f name] [-o file] [-p name] font.bdf ...\n"
    "\n"
    "The options are as follows:\n"
    "\n"
    "\t-f name\tSpecify font name.\n"
    "\t-o file\tWrite the SFD to file.\n"
    "\t-p name\tSpecify PostScript font name.\n"
    "\t-b\tKeep the glyph geometry and text of the BDF.\n"
    "\t-m\tMerge the pixels of each shape into one outline.\n"
    "\t-s\tAdd the bitmaps as a strike, one for each size given (implies -b).\n"
    "\t-h\tDisplay usage.\n"
    "\t-v\tDisplay version.\n";

// glibc's getopt permutes the arguments unless told not to with a leading plus.
#ifdef __GLIBC__
constexpr const char *option_string = "+f:o:p:bhmsv";
#else
constexpr const char *option_string = "f:o:p:bhmsv";
#endif

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

// Writes a text that ends the run, such as the usage text, and makes sure it
// arrived: a closed or full standard output is a failure, not a success.
int print_and_exit_status(const char *text) {
  if (std::fputs(text, stdout) == EOF || std::fflush(stdout) == EOF) {
    std::perror("Can't write standard output");
    return 1;
  }
  return 0;
}

// A name from the command line goes into the SFD header as it stands, so a
// line end in it would write lines of its own.
bool is_single_line(const char *text) {
  return text == nullptr || std::strpbrk(text, "\r\n") == nullptr;
}

// The value of a line read as BDF: the rest of the line behind the keyword,
// without the blanks and tabs around it.
std::string_view bdf_value(const bdf_line &line) {
  return line.cursor < line.text.size() ? trimmed(line.text.substr(line.cursor))
                                        : std::string_view{};
}

// True when the run reads several operands, whose messages name their file.
bool several_sizes(const conversion_state &state) {
  return state.glyph.sizes != nullptr;
}

// With the BDF's own reading a message names the line it is about:
// "Invalid value for ENCODING on line 12.".
const char *located(conversion_state &state, const char *message, unsigned long line) {
  if (!state.options.bdf) return message;
  const std::string_view text(message);
  // With several operands it names the file too.
  const bool several = several_sizes(state);
  std::snprintf(state.message, sizeof state.message, "%s%s%s%.*s on line %lu.", several ? "'" : "",
                several ? state.input_name : "", several ? "': " : "",
                static_cast<int>(text.size() - 1), message, line);
  return state.message;
}

// Starts a message about a file, "what 'name': ", or "what: " where no
// name is given.
void file_message(FILE *to, const char *what, const char *name) {
  if (name == nullptr)
    std::fprintf(to, "%s: ", what);
  else
    std::fprintf(to, "%s '%s': ", what, name);
}

// Reports a failed call on a file as perror would, naming the file where
// one is given.
void file_error(const char *what, const char *name) {
  const int error = errno;
  file_message(stderr, what, name);
  std::fprintf(stderr, "%s\n", std::strerror(error));
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

// The message of a failed write or read of the strike's spool, with its
// reason, and with several operands the file it was reading.
const char *spool_error(conversion_state &state, int error) {
  const bool several = several_sizes(state);
  std::snprintf(state.message, sizeof state.message,
                "%s%s%sCan't write or read the strike's spool: %s.", several ? "'" : "",
                several ? state.input_name : "", several ? "': " : "", std::strerror(error));
  return state.message;
}

// Starts a note on standard error, "quadsmith: ", with several operands
// followed by the file it is about, and writes the printf text behind it.
__attribute__((format(printf, 3, 4))) void note(FILE *to, const conversion_state &state,
                                                const char *format, ...) {
  std::fprintf(to, "%s: ", program_name());
  if (several_sizes(state)) std::fprintf(to, "'%s': ", state.input_name);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(to, format, arguments);
  va_end(arguments);
}

// The strike keeps the header's lines and the properties as FontForge does.
void keep_for_strike(conversion_state &state, keyword code, const bdf_line &line,
                     std::string_view value) {
  if (code == KW_FONT || code == KW_SIZE || code == KW_FONTBOUNDINGBOX)
    strike_property(state.strike, keyword_name(code), value, true);
  else if (state.structure.section == SECTION_PROPERTIES && code != KW_STARTPROPERTIES &&
           code != KW_COMMENT && !line.first.empty())
    strike_property(state.strike, line.first, value, false);
}

// True while the run reads its first operand, the one whose header and
// records are written.
bool is_first_size(const conversion_state &state) {
  return state.glyph.sizes == nullptr || state.sizes.master;
}

// The most operands, sizes of one face, one run reads.
constexpr int max_operands = 64;

// The header of a font read with -b, once every property is known: the
// pixel becomes a whole number of units and the names and style come from
// the font's identity, which is not needed after.
const char *bdf_chars_action(conversion_state &state, output &out, std::string_view value) {
  // The structure has made sure the font's box came first.
  glyph_state &glyph = state.glyph;
  const font_pixels pixels = bdf_font_pixels(glyph);
  char charset[charset_name_room];
  // The family names the charset the glyphs are mapped with.
  charset_resolve(state.glyph.charset);
  std::string_view named = charset_name(state.glyph.charset, charset);
  if (named == "-") named = {};
  size_set *sizes = glyph.sizes;
  identity_record font = derive_identity(state.identity, pixels, state.info.name, state.info.psname,
                                         named, sizes != nullptr);
  if (sizes != nullptr) {
    // The sizes must be sizes of one face, each of a pixel size of its own.
    face_names face;
    for (int i = 0; i < 6; i++)
      face.text[i] = identity_pick(state.identity, static_cast<identity_text>(i));
    face.pixel_size = font.pixel_size;
    if (sizes->master) {
      sizes->face = face;
      sizes->units_per_pixel = font.units_per_pixel;
      sizes->pixel_size = font.pixel_size;
    }
    if (const char *message = sizes_check_face(*sizes, face, state.input_name)) return message;
  }
  if (font.error != nullptr) {
    if (font.error_line != 0) state.error_line = font.error_line;
    return font.error;
  }
  // A strike's size is one byte.
  if (state.options.strike && font.pixel_size > 255) {
    std::snprintf(state.limit, sizeof state.limit, "A pixel size of %d is past a strike's 255.",
                  font.pixel_size);
    return state.limit;
  }
  // Only the first size's texts are written.
  if (is_first_size(state)) {
    bdf_header_texts(state.info, font);
    state.copyright_cut = font.copyright_cut;
    state.version_cut = font.version_cut;
  }
  state.info.ascent = bdf_font_scale(glyph, static_cast<float>(font.units_per_pixel));
  // FontForge puts a strike at the sum of its ascent and descent, so they
  // share the pixel size as the em's do.
  if (state.options.strike)
    strike_metrics(state.strike, font.pixel_size, font.em_ascent, font.em_descent);
  state.info.chars = value;
  write_bdf_header(out, state.info, font);
  state.info.chars = {};
  state.identity = font_identity{};
  return nullptr;
}

} // namespace

const char *convert_line(conversion_state &state, output &out, std::string_view raw) {
  bdf_line line = make_line(raw);
  const bool bdf = state.options.bdf;
  if (bdf && line.text.size() != raw.size()) return "NUL byte in a line.";
  if (line.text.empty()) return nullptr;
  if (bdf) {
    line.text = without_line_end(line.text);
    // Inside a bitmap a line of hexadecimal digits alone can be nothing but
    // a row, as no keyword is made of them alone.
    // A glyph of no width has rows of no digits: empty lines.
    if (state.structure.section == SECTION_BITMAP &&
        (is_hex_row(line.text) || (line.text.empty() && state.glyph.box.width == 0)))
      return hex_row_action(state.glyph, out, line.text, state.options);
  }
  keyword code = parse_keyword(line, bdf);
  // Among the properties a keyword of the file's own structure is just the
  // name of another property: a real font has one called CHARS.
  if (bdf && state.structure.section == SECTION_PROPERTIES && !facts(code).property &&
      code != KW_ENDPROPERTIES && code != KW_COMMENT)
    code = KW_NONE;
  std::string_view value;
  if (bdf) {
    value = bdf_value(line);
    if (const char *message = structure_line(state.structure, code, line, value)) return message;
    if (state.options.strike) keep_for_strike(state, code, line, value);
  } else if (takes_value(code)) {
    value = take_value(line);
    // A glyph without a name still needs its record; it gets a name of its own.
    if (value.empty() && code != KW_STARTCHAR) return nullptr;
  }
  glyph_state &glyph = state.glyph;
  font_info &info = state.info;
  // Merged outlines are written before anything else is, and before the cell changes.
  if (state.options.merge && facts(code).writes_output) flush_outline(glyph, out);
  switch (code) {
  case KW_NONE:
    return bitmap_row_action(glyph, out, bdf ? trimmed(line.text) : line.first, state.options);
  case KW_FONT:
    if (bdf) {
      xlfd_charset_action(glyph, value);
      identity_xlfd_action(state.identity, value);
    }
    return nullptr;
  case KW_FAMILY_NAME:
    if (bdf) return identity_property_action(state.identity, code, value, state.line);
    return family_name_action(info, state.owned, value);
  // A later size's copyright, version and notice are never written, so
  // they are not held either: memory stays what one size needs.
  case KW_COPYRIGHT:
    if (!is_first_size(state)) return nullptr;
    return owned_property_action(&info.copyright, value, bdf);
  case KW_FONT_VERSION:
    if (!is_first_size(state)) return nullptr;
    if (const char *message = owned_property_action(&info.version, value, bdf)) return message;
    // FontForge would join the next line to a version that ends in a
    // backslash; only the first size's is written.
    if (bdf && !sfd_text_fits(SFD_LINE, info.version)) return "Invalid value for FONT_VERSION.";
    return nullptr;
  case KW_CHARS:
    if (bdf) return bdf_chars_action(state, out, value);
    chars_action(info, out, value);
    return nullptr;
  case KW_FONTBOUNDINGBOX: return fontboundingbox_action(glyph, line, state.options);
  case KW_FONT_ASCENT:
    return font_metric_action(glyph, value, &info.ascent, &glyph.ascent_pixels,
                              "Invalid value for FONT_ASCENT.", state.options);
  case KW_FONT_DESCENT:
    return font_metric_action(glyph, value, &info.descent, &glyph.descent_pixels,
                              "Invalid value for FONT_DESCENT.", state.options);
  case KW_STARTCHAR: startchar_action(glyph, out, value, state.options); return nullptr;
  case KW_ENCODING:
    if (bdf) return bdf_encoding_action(glyph, out, value);
    encoding_action(out, value);
    return nullptr;
  case KW_BITMAP: return bitmap_action(glyph, out, info.ascent, state.options);
  case KW_ENDCHAR: endchar_action(glyph, out, state.options); return nullptr;
  // A glyph's own box and advance count before its bitmap only.
  case KW_BBX:
    return glyph.in_bitmap ? nullptr : bbx_action(glyph, line, state.limit, sizeof state.limit);
  case KW_DWIDTH:
    return glyph.in_bitmap ? nullptr : dwidth_action(glyph, line, state.limit, sizeof state.limit);
  case KW_CHARSET_REGISTRY: return charset_property_action(glyph, value, 0);
  case KW_CHARSET_ENCODING: return charset_property_action(glyph, value, 1);
  // The rest of the structure is checked, and has nothing to write.
  case KW_STARTFONT:
  case KW_ENDFONT:
  case KW_COMMENT:
  case KW_SIZE:
  case KW_CONTENTVERSION:
  case KW_METRICSSET:
  case KW_STARTPROPERTIES:
  case KW_ENDPROPERTIES:
  case KW_SWIDTH:
  case KW_SWIDTH1:
  case KW_DWIDTH1:
  case KW_VVECTOR: return nullptr;
  case KW_NOTICE:
    if (!is_first_size(state)) return nullptr;
    return identity_property_action(state.identity, code, value, state.line);
  case KW_PIXEL_SIZE:
  case KW_FOUNDRY:
  case KW_WEIGHT_NAME:
  case KW_SLANT:
  case KW_SETWIDTH_NAME:
  case KW_ADD_STYLE_NAME:
  case KW_SPACING:
  case KW_AVERAGE_WIDTH:
  case KW_X_HEIGHT:
  case KW_CAP_HEIGHT:
  case KW_UNDERLINE_POSITION:
  case KW_UNDERLINE_THICKNESS:
    return identity_property_action(state.identity, code, value, state.line);
  }
  return nullptr;
}

const char *convert_operand(conversion_state &state, line_reader &reader, output &out) {
  std::string_view raw;
  // Once a write has failed nothing more can reach the output, so the rest
  // of the input is not worth reading.
  while (out.error == 0 && next_line(reader, &raw)) {
    state.line = reader.lines;
    if (const char *message = convert_line(state, out, raw)) {
      flush_outline(state.glyph, out);
      // A face that differs names both files, and no line; a message
      // about a property named earlier names that property's line.
      const unsigned long line = state.error_line != 0 ? state.error_line : reader.lines;
      return message == state.sizes.message ? message : located(state, message, line);
    }
    // A full $TMPDIR is said when it happens, not after the whole font.
    if (state.strike.spool.error != 0) return spool_error(state, state.strike.spool.error);
  }
  flush_outline(state.glyph, out);
  if (reader.error != 0 || out.error != 0) return nullptr;
  if (state.options.bdf)
    if (const char *message = structure_end(state.structure))
      return located(state, message, reader.lines);
  return nullptr;
}

const char *finish_font(conversion_state &state, output &out, strike_state *later, size_t count) {
  output_write(out, "EndChars\n");
  // A size of no glyph has no strike: FontForge can't write one.
  if (state.options.strike && state.strike.glyphs > 0 && !strike_write(state.strike, out))
    return spool_error(state, errno);
  for (size_t i = 0; i < count; i++)
    if (later[i].glyphs > 0 && !strike_write(later[i], out)) return spool_error(state, errno);
  output_write(out, "EndSplineFont\n");
  return nullptr;
}

const char *convert(conversion_state &state, line_reader &reader, output &out) {
  if (const char *message = convert_operand(state, reader, out)) return message;
  if (reader.error != 0 || out.error != 0) return nullptr;
  return finish_font(state, out, nullptr, 0);
}

bool start_strike(conversion_state &state, bool in_memory) {
  state.glyph.strike = &state.strike;
  return strike_open(state.strike, in_memory);
}

void next_size(conversion_state &state, strike_state &strike) {
  if (state.sizes.master) state.sizes.unencoded = state.glyph.unencoded;
  state.sizes.master = false;
  state.sizes.added = 0;
  reset_face(state.glyph);
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

void release_state(conversion_state &state) {
  strike_close(state.strike);
  release_font_info(state.info, state.owned);
  release_glyph_state(state.glyph);
}

void reset_state(conversion_state &state) {
  release_font_info(state.info, state.owned);
  state.sizes = size_set{};
  reset_glyph_state(state.glyph);
  // The spool of the last run starts over empty, of the same kind.
  if (state.options.strike) start_strike(state, state.strike.spool_fd == -1);
  state.info = font_info{};
  state.structure = structure_state{};
  state.identity = font_identity{};
  state.line = state.error_line = 0;
}

int run_conversion(conversion_state &state, line_reader &reader, output &out, FILE *errors,
                   const char **fatal_message, bool finish) {
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  *fatal_message = nullptr;
  int status = 0;
  if (const char *message =
          finish ? convert(state, reader, out) : convert_operand(state, reader, out)) {
    output_flush(out);
    *fatal_message = message;
    status = 1;
  } else if (reader.error != 0) {
    output_flush(out);
    file_message(errors, "Can't read BDF file", state.input_name);
    if (reader.too_long)
      std::fprintf(errors, "Line %lu is longer than %zu bytes.\n", reader.lines + 1, max_line);
    else
      std::fprintf(errors, "%s\n", std::strerror(reader.error));
    status = 1;
  } else if (!output_flush(out)) {
    file_message(errors, state.output_name ? "Can't write SFD file" : "Can't write SFD output",
                 state.output_name);
    std::fprintf(errors, "%s\n", std::strerror(out.error));
    status = 1;
  } else {
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
    // HarfBuzz and Pango scale the first size's advances and line to every
    // other size; FreeType's own strikes are exact.
    size_metrics scaled, own;
    const font_pixels pixels = bdf_font_pixels(state.glyph);
    if (several_sizes(state) && !sizes_end_operand(state.sizes, std::max(pixels.ascent, 0),
                                                   std::max(pixels.descent, 0), &scaled, &own))
      note(errors, state,
           "Its advance of %d and line of %d pixels are not the first size's scaled to its size "
           "(%d and %d): Pango and HarfBuzz lay it out with those.\n",
           own.advance, own.ascent + own.descent, scaled.advance, scaled.ascent + scaled.descent);
    // FontForge can't write a strike of no glyph.
    if (state.options.strike && state.strike.glyphs == 0)
      note(errors, state, "No glyphs, so no strike of this size.\n");
    report_time(errors, start, state.glyph.glyphs, state.glyph.unencoded,
                state.options.bdf ? state.input_name : nullptr, state.sizes.added);
  }
  return status;
}

int convert_sizes(conversion_state &state, line_reader &reader, const int *fds,
                  const char *const *names, strike_state *later, int count, output &out,
                  FILE *errors, const char **fatal_message) {
  output discard;
  if (!reader_open_fd(reader, fds[0]) || (count > 1 && !output_open(discard, -1, nullptr))) {
    *fatal_message = "Memory allocation error.";
    return 1;
  }
  discard.discard = true;
  if (count > 1) {
    state.glyph.sizes = &state.sizes;
    state.sizes.master_name = names[0];
    state.sizes.records = &out;
  }
  int status = run_conversion(state, reader, out, errors, fatal_message, count == 1);
  // Each later size adds its strike, and records for the glyphs the first lacks.
  for (int i = 1; i < count && status == 0 && *fatal_message == nullptr; i++) {
    strike_state &strike = later[i - 1];
    if (i == 1) strike_rest(state.strike);
    next_size(state, strike);
    state.input_name = names[i];
    if (!reader_open_fd(reader, fds[i]) || !strike_resume(state.strike)) {
      *fatal_message = "Memory allocation error.";
      status = 1;
      break;
    }
    status = run_conversion(state, reader, discard, errors, fatal_message, false);
    strike_rest(state.strike);
    std::swap(state.strike, strike);
  }
  if (count > 1 && status == 0 && *fatal_message == nullptr)
    *fatal_message = finish_font(state, out, later, static_cast<size_t>(count - 1));
  output_close(discard);
  return status;
}

void fatal(const char *message) {
  errx(1, "%s", message);
}

int quadsmith_main(int argc, char **argv) {
#ifdef __GLIBC__
  // Long property values and lines are held in blocks of their own that go
  // back to the system when freed; glibc's moving threshold would otherwise
  // serve a growing value from the heap and leave the older ones as holes.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
  conversion_state state;
  const char *output_path = nullptr;
  int option;
  while ((option = getopt(argc, argv, option_string)) != -1) {
    switch (option) {
    case 'f': state.info.name = optarg; break;
    case 'p': state.info.psname = optarg; break;
    case 'o': output_path = optarg; break;
    case 'm': state.options.merge = true; break;
    case 'b': state.options.bdf = true; break;
    case 's': state.options.bdf = state.options.strike = true; break;
    case 'h': return print_and_exit_status(usage_text);
    case 'v': return print_and_exit_status("quadsmith " QUADSMITH_VERSION "\n");
    default: break;
    }
  }
  if (output_path != nullptr && std::strcmp(output_path, "-") == 0) output_path = nullptr;
  if (optind >= argc) return print_and_exit_status(usage_text);
  // The option parser stops at the first font file, so an option behind it
  // would be taken for a file, or ignored with the operands past the first.
  if (state.options.bdf)
    for (int i = optind + 1; i < argc; i++)
      if (argv[i][0] == '-' && argv[i][1] != '\0' &&
          std::strchr(option_string, argv[i][1]) != nullptr && argv[i][1] != ':' &&
          argv[i][1] != '+')
        fatal("options go before the font files");
  if (!is_single_line(state.info.name.data())) fatal("Invalid value for -f.");
  // FontForge would join the line after a name that ends in a backslash.
  if (state.options.bdf && state.info.name.ends_with('\\')) fatal("Invalid value for -f.");
  if (!is_single_line(state.info.psname.data())) fatal("Invalid value for -p.");
  // Under -b the FontName goes into the fonts as it stands, so it must be one.
  if (state.options.bdf && state.info.psname.data() != nullptr &&
      !is_postscript_name(state.info.psname))
    fatal("Invalid value for -p.");

  // Under -s every operand is a size of one face; otherwise the first is read.
  const int operands = state.options.strike ? argc - optind : 1;
  if (operands > max_operands) fatal("At most 64 sizes are supported.");
  for (int i = 1; i < operands; i++)
    if (std::strcmp(argv[optind + i], "-") == 0)
      fatal("Only the first operand can be standard input.");
  // Messages name the files once there is more than one to name.
  if (output_path != nullptr || state.options.bdf) state.input_name = argv[optind];
  state.output_name = output_path;
  FILE *inputs[max_operands];
  for (int i = 0; i < operands; i++) {
    const char *path = argv[optind + i];
    const char *named = i == 0 ? state.input_name : path;
    inputs[i] = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "r");
    if (inputs[i] == nullptr) {
      file_error("Can't open BDF file", named);
      return 1;
    }
    struct stat input_status;
    if (fstat(fileno(inputs[i]), &input_status) == -1) {
      const int saved = errno;
      std::fclose(inputs[i]);
      errno = saved;
      file_error("Can't stat BDF file", named);
      return 1;
    }
    // Replacing the input with its own conversion would lose the font, and
    // writing into the pipe it is read from would wait for an end that
    // can't come: the same file by any name, /dev/stdin and
    // /proc/self/fd/N among them.  A terminal or device is read and written
    // as two streams.
    struct stat output_status;
    if (output_path != nullptr && stat(output_path, &output_status) == 0 &&
        !S_ISCHR(output_status.st_mode) && !S_ISBLK(output_status.st_mode) &&
        output_status.st_dev == input_status.st_dev &&
        output_status.st_ino == input_status.st_ino) {
      std::fprintf(stderr, "%s: '%s' is the input; it can't be the output too.\n", program_name(),
                   output_path);
      return 1;
    }
  }
  // The strikes' spools, like the output file, are opened before the sandbox.
  std::vector<strike_state> later(static_cast<size_t>(operands - 1));
  bool spooled = !state.options.strike || start_strike(state, false);
  // Only the spool being written holds a buffer; the others hold their file.
  for (strike_state &strike : later) {
    spooled = spooled && strike_open(strike, false);
    output_close(strike.spool);
  }
  if (!spooled) {
    const char *dir = std::getenv("TMPDIR");
    file_error("Can't create the strike's spool in", dir != nullptr && *dir ? dir : "/tmp");
    return 1;
  }
  // The output file and its directory are opened before the sandbox starts,
  // which then allows the rename in that directory and nothing else.
  outfile file;
  if (output_path != nullptr) {
    if (!outfile_open(file, output_path)) {
      if (errno == ENXIO) {
        file_message(stderr, "Can't create SFD file", output_path);
        std::fputs("No process reads the FIFO.\n", stderr);
      } else {
        file_error("Can't create SFD file", output_path);
      }
      return 1;
    }
  }
  // From here on the process reads files and writes what it holds open.
  if (sandbox(file.dir_fd) == -1) err(1, "pledge");

  line_reader reader;
  output out;
  if (!output_open(out, output_path != nullptr ? file.fd : STDOUT_FILENO, nullptr))
    fatal("Memory allocation error.");
  int fds[max_operands];
  const char *names[max_operands];
  for (int i = 0; i < operands; i++) {
    fds[i] = fileno(inputs[i]);
    names[i] = i == 0 ? state.input_name : argv[optind + i];
  }
  const char *message = nullptr;
  int status =
      convert_sizes(state, reader, fds, names, later.data(), operands, out, stderr, &message);
  if (operands > 1 && status == 0 && message == nullptr && !output_flush(out)) {
    file_error(output_path != nullptr ? "Can't write SFD file" : "Can't write SFD output",
               output_path);
    status = 1;
  }
  if (message != nullptr) {
    outfile_abort(file);
    fatal(message);
  }
  if (output_path != nullptr) {
    if (status == 0 && !outfile_commit(file)) {
      file_error("Can't write SFD file", output_path);
      status = 1;
    }
    outfile_abort(file);
  }
  reader_close(reader);
  output_close(out);
  for (int i = 0; i < operands; i++)
    std::fclose(inputs[i]);
  for (strike_state &strike : later)
    strike_close(strike);
  release_state(state);
  return status;
}
