#include "convert.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "bdf/bdf.h"
#include "font/sfd_text.h"

namespace {

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

// The strike keeps the header's lines and the properties as FontForge
// does, in the SFD or for a font made directly in its BDF table.
void keep_for_strike(conversion_state &state, keyword code, const bdf_line &line,
                     std::string_view value) {
  std::string_view name;
  const bool header_line = code == KW_FONT || code == KW_SIZE || code == KW_FONTBOUNDINGBOX;
  if (header_line)
    name = keyword_name(code);
  else if (state.structure.section == SECTION_PROPERTIES && code != KW_STARTPROPERTIES &&
           code != KW_COMMENT && !line.first.empty())
    name = line.first;
  if (name.empty()) return;
  state.writer->property(state, name, value, header_line);
}

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
  identity_record font =
      derive_identity(state.identity, pixels, state.info.name, state.info.psname, named,
                      sizes != nullptr, state.options.format == FORMAT_OTF ? cff_least_em : 0);
  if (sizes != nullptr) {
    // The sizes must be sizes of one face, each of a pixel size of its own.
    face_names face;
    for (int i = 0; i < face_texts; i++)
      face.text[i] = identity_pick(state.identity, static_cast<identity_text>(i));
    face.pixel_size = font.pixel_size;
    if (sizes->master) {
      sizes->face = face;
      sizes->units_per_pixel = font.units_per_pixel;
      sizes->pixel_size = font.pixel_size;
    }
    // The message names both files and no line.
    if (const char *message = sizes_check_face(*sizes, face, state.input_name)) {
      state.error_line = no_line;
      return message;
    }
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
    state.family_cut = font.family_cut;
    state.version_cut = font.version_cut;
  }
  state.info.ascent = bdf_font_scale(glyph, static_cast<float>(font.units_per_pixel));
  state.info.chars = value;
  state.writer->header(state, out, font);
  state.info.chars = {};
  state.identity = font_identity{};
  return nullptr;
}

// The font's cell and line, which both readings take alike.
const char *metric_line(conversion_state &state, keyword code, bdf_line &line,
                        std::string_view value) {
  glyph_state &glyph = state.glyph;
  font_info &info = state.info;
  if (code == KW_FONTBOUNDINGBOX) return fontboundingbox_action(glyph, line, state.options);
  if (code == KW_FONT_ASCENT)
    return font_metric_action(glyph, value, &info.ascent, &glyph.ascent_pixels,
                              "Invalid value for FONT_ASCENT.", state.options);
  return font_metric_action(glyph, value, &info.descent, &glyph.descent_pixels,
                            "Invalid value for FONT_DESCENT.", state.options);
}

// A header line of the default mode: the texts as they stand, the header
// at CHARS, and the cell and line.
const char *default_header_line(conversion_state &state, output &out, keyword code,
                                bdf_line &line, std::string_view value) {
  font_info &info = state.info;
  if (code == KW_COPYRIGHT) return owned_property_action(&info.copyright, value, false);
  if (code == KW_FONT_VERSION) return owned_property_action(&info.version, value, false);
  if (code != KW_CHARS) return metric_line(state, code, line, value);
  chars_action(info, out, value);
  return nullptr;
}

// A glyph line of the default mode, written as it is read.
const char *default_glyph_line(conversion_state &state, output &out, keyword code,
                               std::string_view value) {
  glyph_state &glyph = state.glyph;
  if (code == KW_STARTCHAR) sfd_startchar(state.sfd, glyph, out, value);
  if (code == KW_ENCODING) sfd_encoding(out, value);
  if (code == KW_BITMAP) sfd_bitmap(state.sfd, glyph, out, state.info.ascent);
  if (code == KW_ENDCHAR) {
    sfd_endchar(state.sfd, glyph, out, state.options.merge);
    endchar_action(glyph);
  }
  return nullptr;
}

// A line of the default mode, whose output is byte-exact by design: the
// keywords it knows, their values as the first reading took them.
const char *default_mode_line(conversion_state &state, output &out, std::string_view raw) {
  bdf_line line = make_line(raw);
  if (line.text.empty()) return nullptr;
  const keyword code = parse_keyword(line);
  std::string_view value;
  if (takes_value(code)) {
    value = take_value(line);
    // A glyph without a name still needs its record; it gets a name of its own.
    if (value.empty() && code != KW_STARTCHAR) return nullptr;
  }
  // Merged outlines are written before anything else is, and before the cell changes.
  if (state.options.merge && facts(code).writes_output) sfd_flush(state.sfd, out);
  switch (facts(code).role) {
  case ROLE_ROW: sfd_row(state.sfd, state.glyph, out, line.first, state.options.merge); return nullptr;
  case ROLE_IDENTITY: return family_name_action(state.info, state.owned, value);
  case ROLE_HEADER: return default_header_line(state, out, code, line, value);
  case ROLE_GLYPH: return default_glyph_line(state, out, code, value);
  // The rest of the file's structure and its charset are the BDF's own
  // reading's; the default reading never recognizes them.
  case ROLE_STRUCTURE:
  case ROLE_CHARSET: return nullptr;
  }
  return nullptr;
}

// A property that names the font: its identity, from which the header is made.
const char *identity_line(conversion_state &state, keyword code, std::string_view value) {
  if (code == KW_FONT) {
    xlfd_charset_action(state.glyph, value);
    identity_xlfd_action(state.identity, value);
    return nullptr;
  }
  // A later size's notice is never written, so it is not held either.
  if (code == KW_NOTICE && !is_first_size(state)) return nullptr;
  return identity_property_action(state.identity, code, value, state.line);
}

// A line of the font's header: its cell, its line and the texts the SFD
// header takes as they stand.
const char *header_line(conversion_state &state, output &out, keyword code, bdf_line &line,
                        std::string_view value) {
  font_info &info = state.info;
  if (code == KW_FONTBOUNDINGBOX || code == KW_FONT_ASCENT || code == KW_FONT_DESCENT)
    return metric_line(state, code, line, value);
  if (code == KW_CHARS) return bdf_chars_action(state, out, value);
  // A later size's copyright and version are never written, so they are
  // not held either: memory stays what one size needs.
  if (!is_first_size(state)) return nullptr;
  if (code == KW_COPYRIGHT) return owned_property_action(&info.copyright, value, true);
  if (const char *message = owned_property_action(&info.version, value, true)) return message;
  // FontForge would join the next line to a version that ends in a backslash.
  if (!sfd_text_fits(SFD_LINE, info.version)) return "Invalid value for FONT_VERSION.";
  return nullptr;
}

// Fills the run's error with what the input is instead of a BDF, naming it.
const char *not_bdf(conversion_state &state, const char *what) {
  const char *name = state.input_name;
  if (name == nullptr || std::strcmp(name, "-") == 0)
    std::snprintf(state.error.text, sizeof state.error.text, "Standard input %s.", what);
  else
    std::snprintf(state.error.text, sizeof state.error.text, "'%s' %s.", name, what);
  state.error_line = no_line;
  return state.error.text;
}

// A line of a glyph before its rows, and its end.
const char *glyph_line(conversion_state &state, output &out, keyword code, bdf_line &line,
                       std::string_view value) {
  glyph_state &glyph = state.glyph;
  if (code == KW_STARTCHAR) {
    startchar_action(glyph, value);
    state.advance_line = 0;
    return nullptr;
  }
  if (code == KW_ENCODING) {
    if (const char *message = bdf_encoding_action(glyph, value)) return message;
    state.writer->record(state, out);
    return nullptr;
  }
  if (code == KW_BITMAP) {
    if (const char *message = bitmap_action(glyph)) return message;
    state.writer->bitmap(state, out);
    return nullptr;
  }
  if (code == KW_ENDCHAR) {
    const bool drawn = glyph.in_bitmap;
    if (drawn && glyph.sizes != nullptr) sizes_take(*glyph.sizes, *glyph.record);
    const char *message = state.writer->glyph(state, out, drawn);
    endchar_action(glyph);
    return message;
  }
  // A glyph's own box and advance count before its bitmap only.
  if (glyph.in_bitmap) return nullptr;
  if (code == KW_BBX) return bbx_action(glyph, line, state.limit, sizeof state.limit);
  state.advance_line = state.line;
  return dwidth_action(glyph, line, state.limit, sizeof state.limit);
}

// A row of an open bitmap, read into the glyph's record; a glyph up to 32
// columns wide is drawn as it comes, a wider one at its end.
const char *row_line(conversion_state &state, output &out, std::string_view row) {
  glyph_state &glyph = state.glyph;
  const char *message = nullptr;
  const uint32_t *words = hex_row_action(glyph, row, &message);
  if (words != nullptr && glyph.box.width <= slab_columns) state.writer->row(state, out, words[0]);
  return message;
}

// A line read as BDF (-b): its structure checked, then handed on by the
// keyword's role.
const char *bdf_mode_line(conversion_state &state, output &out, std::string_view raw) {
  bdf_line line = make_line(raw);
  // A PCF font, or a compressed file, is no text at all.
  if (state.line == 1 && (raw.starts_with("\1fcp") || raw.starts_with("\x1f\x8b")))
    return not_bdf(state, raw.starts_with("\1fcp")
                              ? "is a PCF font, not a BDF: convert it with pcf2bdf first"
                              : "is compressed with gzip: a PCF font converts with pcf2bdf, a "
                                "BDF with gunzip");
  if (line.text.size() != raw.size()) return "NUL byte in a line.";
  if (line.text.empty()) return nullptr;
  line.text = without_line_end(line.text);
  // Inside a bitmap a line of hexadecimal digits alone can be nothing but
  // a row, as no keyword is made of them alone.  A glyph of no width has
  // rows of no digits: empty lines.
  if (state.structure.section == SECTION_BITMAP &&
      (is_hex_row(line.text) || (line.text.empty() && state.glyph.box.width == 0)))
    return row_line(state, out, line.text);
  keyword code = parse_keyword(line, true);
  // Among the properties a keyword of the file's own structure is just the
  // name of another property: a real font has one called CHARS.
  if (state.structure.section == SECTION_PROPERTIES && !facts(code).property &&
      code != KW_ENDPROPERTIES && code != KW_COMMENT)
    code = KW_NONE;
  const std::string_view value = bdf_value(line);
  if (const char *message = structure_line(state.structure, code, line, value)) return message;
  if (state.options.strike) keep_for_strike(state, code, line, value);
  if (state.options.merge && facts(code).writes_output) state.writer->flush(state, out);
  switch (facts(code).role) {
  case ROLE_ROW:
    if (!state.glyph.in_bitmap) return nullptr;
    return is_hex_row(trimmed(line.text)) ? row_line(state, out, trimmed(line.text))
                                          : "Invalid bitmap row.";
  case ROLE_STRUCTURE: return nullptr; // checked, and nothing to write
  case ROLE_IDENTITY: return identity_line(state, code, value);
  case ROLE_CHARSET:
    return charset_property_action(state.glyph, value, code == KW_CHARSET_REGISTRY ? 0 : 1);
  case ROLE_HEADER: return header_line(state, out, code, line, value);
  case ROLE_GLYPH: return glyph_line(state, out, code, line, value);
  }
  return nullptr;
}

} // namespace

void choose_writer(conversion_state &state) {
  state.writer = state.options.format == FORMAT_SFD ? &sfd_writer : &sfnt_writer;
  state.glyph.strikes = state.options.strike;
}

bool is_first_size(const conversion_state &state) {
  return state.glyph.sizes == nullptr || state.sizes.master;
}

const char *fail(conversion_state &state, const char *message, unsigned long line) {
  conversion_error &error = state.error;
  error.failed = error.fatal = true;
  // A message made in place already says all.
  if (message == error.text) return error.text;
  const std::string_view text(message);
  if (!state.options.bdf || line == no_line) {
    std::snprintf(error.text, sizeof error.text, "%s", message);
    return error.text;
  }
  // The line goes before the message's full stop.
  const bool several = several_sizes(state);
  const std::string_view sentence = text.ends_with('.') ? text.substr(0, text.size() - 1) : text;
  std::snprintf(error.text, sizeof error.text, "%s%s%s%.*s on line %lu.", several ? "'" : "",
                several ? state.input_name : "", several ? "': " : "",
                static_cast<int>(sentence.size()), sentence.data(), line);
  return error.text;
}

// A spool's failure names, with several operands, the file being read.
const char *spool_error(conversion_state &state, int error) {
  const bool several = several_sizes(state);
  state.error.failed = state.error.fatal = true;
  std::snprintf(state.error.text, sizeof state.error.text,
                "%s%s%sCan't write or read the %s: %s.", several ? "'" : "",
                several ? state.input_name : "", several ? "': " : "",
                state.options.format != FORMAT_SFD ? "outline spool" : "strike's spool",
                std::strerror(error));
  return state.error.text;
}

const char *convert_line(conversion_state &state, output &out, std::string_view raw) {
  return state.options.bdf ? bdf_mode_line(state, out, raw) : default_mode_line(state, out, raw);
}

const char *convert_operand(conversion_state &state, line_reader &reader, output &out) {
  if (state.writer == nullptr) choose_writer(state);
  std::string_view raw;
  // Once a write has failed nothing more can reach the output, so the rest
  // of the input is not worth reading.
  while (out.error == 0 && next_line(reader, &raw)) {
    state.line = reader.lines;
    if (const char *message = convert_line(state, out, raw)) {
      state.writer->flush(state, out);
      // A message about a property named earlier names that property's line.
      return fail(state, message, state.error_line != 0 ? state.error_line : reader.lines);
    }
    // A full $TMPDIR is said when it happens, not after the whole font.
    if (state.strike.spool.error != 0) return spool_error(state, state.strike.spool.error);
  }
  state.writer->flush(state, out);
  if (reader.error != 0 || out.error != 0) return nullptr;
  if (state.options.bdf && reader.lines == 0) return fail(state, not_bdf(state, "is empty"), no_line);
  if (state.options.bdf)
    if (const char *message = structure_end(state.structure))
      return fail(state, message, reader.lines);
  return nullptr;
}

const char *convert(conversion_state &state, line_reader &reader, output &out) {
  if (const char *message = convert_operand(state, reader, out)) return message;
  if (reader.error != 0 || out.error != 0) return nullptr;
  return state.writer->finish(state, out, nullptr, 0);
}

bool start_font(conversion_state &state, bool in_memory) {
  if (!sfnt_open(state.sfnt, in_memory)) return false;
  state.sfnt.bitmaps = state.options.strike;
  state.sfnt.outlines = state.options.format != FORMAT_OTB;
  state.sfnt.cff_outlines = state.options.format == FORMAT_OTF;
  return !state.sfnt.cff_outlines || cff_open(state.sfnt.cff, in_memory);
}

bool start_strike(conversion_state &state, bool in_memory) {
  return strike_open(state.strike, in_memory);
}

void release_state(conversion_state &state) {
  strike_close(state.strike);
  sfnt_close(state.sfnt);
  woff2_unload(state.woff2);
  release_font_info(state.info, state.owned);
  release_glyph_state(state.glyph);
}

void reset_state(conversion_state &state) {
  release_font_info(state.info, state.owned);
  sizes_reset(state.sizes);
  reset_glyph_state(state.glyph);
  reset_sfd_glyph(state.sfd);
  state.writer = nullptr;
  // The spool of the last run starts over empty, of the same kind.
  if (state.options.strike) start_strike(state, state.strike.spool_fd == -1);
  if (state.options.format != FORMAT_SFD) start_font(state, state.sfnt.spool_fd == -1);
  state.info = font_info{};
  state.structure = structure_state{};
  state.identity = font_identity{};
  state.line = state.error_line = 0;
  state.error.failed = false;
}

