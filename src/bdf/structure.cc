#include "bdf/structure.h"

#include <cstdio>

#include "io/compat.h"

namespace {

constexpr uint64_t bit(keyword code) {
  return uint64_t{1} << code;
}

const char *say(structure_state &state, const char *format, keyword code) {
  const std::string_view name = keyword_name(code);
  std::snprintf(state.message, sizeof state.message, format, static_cast<int>(name.size()),
                name.data());
  return state.message;
}

const char *unexpected(structure_state &state, keyword code) {
  if (state.section == SECTION_GLYPH || state.section == SECTION_BITMAP)
    return say(state, "%.*s inside a glyph.", code);
  return say(state, "Unexpected %.*s.", code);
}

const char *invalid(structure_state &state, keyword code) {
  return say(state, "Invalid value for %.*s.", code);
}

const char *numbers(structure_state &state, keyword code, std::string_view value, int min,
                    int max) {
  return has_numbers(value, min, max) ? nullptr : invalid(state, code);
}

// A keyword the font gives at most once.
const char *once(structure_state &state, keyword code) {
  if ((state.in_font & bit(code)) != 0) return say(state, "%.*s given twice.", code);
  state.in_font |= bit(code);
  return nullptr;
}

// A keyword of the header that takes numbers, is read nowhere else and is
// given once.
const char *header_numbers(structure_state &state, keyword code, std::string_view value, int min,
                           int max) {
  if (state.section != SECTION_HEADER) return unexpected(state, code);
  if (const char *message = once(state, code)) return message;
  return numbers(state, code, value, min, max);
}

// The keywords a font must give before its glyphs, in the order they are
// checked.
constexpr keyword required[] = {KW_FONT, KW_SIZE, KW_FONTBOUNDINGBOX};

// A keyword that a glyph gives at most once, before its bitmap.
const char *glyph_keyword(structure_state &state, keyword code) {
  if (state.section != SECTION_GLYPH) return unexpected(state, code);
  if ((state.in_glyph & bit(code)) != 0) return say(state, "%.*s twice in a glyph.", code);
  state.in_glyph |= bit(code);
  return nullptr;
}

// A keyword of no value that moves the reader from one section to the next.
const char *moves(structure_state &state, keyword code, std::string_view value, bdf_section from,
                  bdf_section to) {
  if (state.section != from) return unexpected(state, code);
  if (!value.empty()) return invalid(state, code);
  state.section = to;
  return nullptr;
}

// A property the converter reads, given once between STARTPROPERTIES and
// ENDPROPERTIES: a second value would silently change what the first said.
// Free texts are the exception; real fonts give NOTICE twice.
const char *property(structure_state &state, keyword code, std::string_view value) {
  if (state.section != SECTION_PROPERTIES) return unexpected(state, code);
  if (code != KW_NOTICE && code != KW_COPYRIGHT)
    if (const char *message = once(state, code)) return message;
  state.properties_given++;
  return !value.empty() && is_bdf_value(value) ? nullptr : invalid(state, code);
}

// A STARTFONT version: digits with dots between them, such as 2.1.
bool is_version(std::string_view value) {
  if (value.empty() || value.front() == '.' || value.back() == '.') return false;
  for (size_t i = 0; i < value.size(); i++)
    if (!(value[i] >= '0' && value[i] <= '9') && !(value[i] == '.' && value[i - 1] != '.'))
      return false;
  return true;
}

// The text of a line holds no control character but tabs; a lone carriage
// return is the usual one, from a file whose lines end in nothing else.
const char *control_characters(const bdf_line &line) {
  for (const char c : line.text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F)
      return byte == '\r' ? "Carriage return inside a line." : "Control character in a line.";
  }
  return nullptr;
}

} // namespace

bool is_bdf_value(std::string_view value) {
  if (!value.starts_with('"')) return true;
  for (size_t i = 1; i < value.size(); i++) {
    if (value[i] != '"') continue;
    if (i + 1 < value.size() && value[i + 1] == '"') {
      i++;
      continue;
    }
    return i + 1 == value.size();
  }
  return false;
}

bool has_numbers(std::string_view value, int min, int max) {
  bdf_line words{value, {}, 0};
  int count = 0;
  for (std::string_view word = next_token(words, " \t"); !word.empty();
       word = next_token(words, " \t")) {
    const char *error = nullptr;
    bounded_number(word, INT32_MIN, INT32_MAX, &error);
    if (error != nullptr || ++count > max) return false;
  }
  return count >= min;
}

const char *structure_line(structure_state &state, keyword code, const bdf_line &line,
                           std::string_view value) {
  if (state.section == SECTION_BITMAP && code == KW_NONE) return nullptr; // rows check themselves
  if (code != KW_COMMENT)
    if (const char *message = control_characters(line)) return message;
  if (state.section == SECTION_START && code != KW_STARTFONT && code != KW_COMMENT &&
      !line.first.empty())
    return "Expected STARTFONT.";
  switch (code) {
  case KW_NONE:
    if (line.first.empty()) return nullptr;
    switch (state.section) {
    case SECTION_PROPERTIES:
      state.properties_given++;
      return !value.empty() && is_bdf_value(value) ? nullptr : "Invalid value for a property.";
    case SECTION_END: return "Text after ENDFONT.";
    case SECTION_START: // said above
    case SECTION_HEADER:
    case SECTION_GLYPHS:
    case SECTION_GLYPH:
    case SECTION_BITMAP: return "Unknown keyword.";
    }
    return nullptr;
  case KW_COMMENT: return state.section == SECTION_BITMAP ? unexpected(state, code) : nullptr;
  case KW_STARTFONT:
    if (state.section != SECTION_START) return unexpected(state, code);
    if (!is_version(value)) return invalid(state, code);
    state.section = SECTION_HEADER;
    return nullptr;
  case KW_ENDFONT: return moves(state, code, value, SECTION_GLYPHS, SECTION_END);
  case KW_FONT:
    if (state.section != SECTION_HEADER) return unexpected(state, code);
    if (const char *message = once(state, code)) return message;
    return value.empty() ? invalid(state, code) : nullptr;
  case KW_SIZE: return header_numbers(state, code, value, 3, 4);
  case KW_CONTENTVERSION: return header_numbers(state, code, value, 1, 1);
  case KW_METRICSSET:
    if (const char *message = header_numbers(state, code, value, 1, 1)) return message;
    return value == "0" || value == "1" || value == "2" ? nullptr : invalid(state, code);
  case KW_FONTBOUNDINGBOX: return header_numbers(state, code, value, 4, 4);
  case KW_STARTPROPERTIES: {
    if (const char *message = header_numbers(state, code, value, 1, 1)) return message;
    const char *error = nullptr;
    state.properties = bounded_number(value, 0, INT32_MAX, &error);
    if (error != nullptr) return invalid(state, code);
    state.section = SECTION_PROPERTIES;
    return nullptr;
  }
  case KW_ENDPROPERTIES:
    if (const char *message = moves(state, code, value, SECTION_PROPERTIES, SECTION_HEADER))
      return message;
    if (state.properties_given != state.properties) {
      std::snprintf(state.message, sizeof state.message,
                    "STARTPROPERTIES gives %lld properties, the block has %lld.", state.properties,
                    state.properties_given);
      return state.message;
    }
    return nullptr;
  case KW_SWIDTH:
  case KW_DWIDTH:
  case KW_SWIDTH1:
  case KW_DWIDTH1:
  case KW_VVECTOR:
    // The font's own metrics in the header, a glyph's before its bitmap.
    if (state.section != SECTION_HEADER)
      if (const char *message = glyph_keyword(state, code)) return message;
    return numbers(state, code, value, 2, 2);
  case KW_BBX:
    if (const char *message = glyph_keyword(state, code)) return message;
    return numbers(state, code, value, 4, 4);
  case KW_ENCODING:
    if (const char *message = glyph_keyword(state, code)) return message;
    return numbers(state, code, value, 1, 2);
  case KW_CHARS: {
    if (state.section != SECTION_HEADER) return unexpected(state, code);
    for (const keyword needed : required)
      if ((state.in_font & bit(needed)) == 0) return say(state, "No %.*s before CHARS.", needed);
    const char *error = nullptr;
    state.chars = bounded_number(value, 0, max_chars, &error);
    if (error != nullptr) return invalid(state, code);
    state.section = SECTION_GLYPHS;
    return nullptr;
  }
  case KW_STARTCHAR:
    if (state.section != SECTION_GLYPHS) return unexpected(state, code);
    if (value.empty()) return invalid(state, code);
    if (++state.glyphs > state.chars) return "More glyphs than CHARS gives.";
    state.section = SECTION_GLYPH;
    state.in_glyph = 0;
    return nullptr;
  case KW_BITMAP:
    // The glyph's code and box are what its record and its rows are made of.
    if (state.section == SECTION_GLYPH)
      for (const keyword needed : {KW_ENCODING, KW_BBX})
        if ((state.in_glyph & bit(needed)) == 0) return say(state, "Glyph without %.*s.", needed);
    return moves(state, code, value, SECTION_GLYPH, SECTION_BITMAP);
  case KW_ENDCHAR:
    if (state.section == SECTION_GLYPH) return "ENDCHAR without BITMAP.";
    return moves(state, code, value, SECTION_BITMAP, SECTION_GLYPHS);
  case KW_FAMILY_NAME:
  case KW_COPYRIGHT:
  case KW_FONT_ASCENT:
  case KW_FONT_DESCENT:
  case KW_FONT_VERSION:
  case KW_CHARSET_REGISTRY:
  case KW_CHARSET_ENCODING:
  case KW_PIXEL_SIZE:
  case KW_FOUNDRY:
  case KW_WEIGHT_NAME:
  case KW_SLANT:
  case KW_SETWIDTH_NAME:
  case KW_ADD_STYLE_NAME:
  case KW_SPACING:
  case KW_AVERAGE_WIDTH:
  case KW_NOTICE:
  case KW_X_HEIGHT:
  case KW_CAP_HEIGHT:
  case KW_UNDERLINE_POSITION:
  case KW_UNDERLINE_THICKNESS: return property(state, code, value);
  }
  return nullptr;
}

const char *structure_end(const structure_state &state) {
  switch (state.section) {
  case SECTION_GLYPH:
  case SECTION_BITMAP: return "End of input inside a glyph.";
  case SECTION_END: return nullptr;
  case SECTION_START:
  case SECTION_HEADER:
  case SECTION_PROPERTIES:
  case SECTION_GLYPHS: return "End of input without ENDFONT.";
  }
  return nullptr;
}
