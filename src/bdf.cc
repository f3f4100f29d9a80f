#include "bdf.h"

#include "compat.h"

#include <algorithm>

namespace {

constexpr std::string_view keywords[] = {
    "",
    "FAMILY_NAME",
    "COPYRIGHT",
    "FONTBOUNDINGBOX",
    "FONT_ASCENT",
    "FONT_DESCENT",
    "FONT_VERSION",
    "CHARS",
    "STARTCHAR",
    "ENCODING",
    "BITMAP",
    "ENDCHAR",
    "BBX",
    "DWIDTH",
    "CHARSET_REGISTRY",
    "CHARSET_ENCODING",
    "STARTFONT",
    "ENDFONT",
    "COMMENT",
    "FONT",
    "SIZE",
    "CONTENTVERSION",
    "METRICSSET",
    "STARTPROPERTIES",
    "ENDPROPERTIES",
    "SWIDTH",
    "SWIDTH1",
    "DWIDTH1",
    "VVECTOR",
    "PIXEL_SIZE",
    "FOUNDRY",
    "WEIGHT_NAME",
    "SLANT",
    "SETWIDTH_NAME",
    "ADD_STYLE_NAME",
    "SPACING",
    "AVERAGE_WIDTH",
    "NOTICE",
    "X_HEIGHT",
    "CAP_HEIGHT",
    "UNDERLINE_POSITION",
    "UNDERLINE_THICKNESS",
};
static_assert(std::size(keywords) == last_keyword + 1);

} // namespace

std::string_view keyword_name(keyword code) {
  return keywords[code];
}

bool xlfd_fields(std::string_view name, std::string_view fields[14]) {
  if (!name.starts_with('-')) return false;
  size_t from = 1;
  for (int i = 0; i < 14; i++) {
    const size_t end = i < 13 ? name.find('-', from) : name.size();
    if (end == std::string_view::npos) return false;
    fields[i] = name.substr(from, end - from);
    from = end + 1;
  }
  return fields[13].find('-') == std::string_view::npos;
}

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bdf_line make_line(std::string_view raw) {
  return bdf_line{raw.substr(0, find_byte(raw.data(), raw.size(), '\0')), {}, 0};
}

std::string_view next_token(bdf_line &line, delimiter_set delims) {
  const std::string_view text = line.text;
  size_t i = line.cursor;
  while (i < text.size() && delims.has(text[i]))
    i++;
  if (i >= text.size()) {
    line.cursor = text.size() + 1;
    return {};
  }
  size_t end = i;
  while (end < text.size() && !delims.has(text[end]))
    end++;
  // The delimiter that ends a token is consumed; a token that runs to the end
  // of the text leaves nothing behind it.
  line.cursor = end < text.size() ? end + 1 : text.size() + 1;
  return text.substr(i, end - i);
}

keyword parse_keyword(bdf_line &line, bool bdf_geometry) {
  line.cursor = 0;
  line.first = {};
  if (line.text.empty()) return KW_NONE;
  line.first = next_token(line, " \t\n");
  if (line.first.empty()) return KW_NONE;
  const int last = bdf_geometry ? last_keyword : last_default_keyword;
  for (int code = KW_FAMILY_NAME; code <= last; code++)
    if (line.first == keywords[code]) return static_cast<keyword>(code);
  return KW_NONE;
}

bool takes_value(keyword code) {
  switch (code) {
  case KW_FAMILY_NAME:
  case KW_COPYRIGHT:
  case KW_FONT_ASCENT:
  case KW_FONT_DESCENT:
  case KW_FONT_VERSION:
  case KW_CHARS:
  case KW_STARTCHAR:
  case KW_ENCODING:
  case KW_CHARSET_REGISTRY:
  case KW_CHARSET_ENCODING: return true;
  case KW_NONE:
  case KW_FONTBOUNDINGBOX:
  case KW_BITMAP:
  case KW_ENDCHAR:
  case KW_BBX:
  case KW_DWIDTH:
  // The rest are read only with -b, whose values are the trimmed rest of the line.
  case KW_STARTFONT:
  case KW_ENDFONT:
  case KW_COMMENT:
  case KW_FONT:
  case KW_SIZE:
  case KW_CONTENTVERSION:
  case KW_METRICSSET:
  case KW_STARTPROPERTIES:
  case KW_ENDPROPERTIES:
  case KW_SWIDTH:
  case KW_SWIDTH1:
  case KW_DWIDTH1:
  case KW_VVECTOR:
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
  case KW_UNDERLINE_THICKNESS: return false;
  }
  return false;
}

std::string_view take_value(bdf_line &line) {
  return next_token(line, "\n");
}

std::string_view without_line_end(std::string_view text) {
  if (text.ends_with("\r\n")) return text.substr(0, text.size() - 2);
  if (text.ends_with('\n')) return text.substr(0, text.size() - 1);
  return text;
}

size_t read_bdf_string(std::string_view value, char *to) {
  if (!value.starts_with('"')) {
    std::copy(value.begin(), value.end(), to);
    return value.size();
  }
  size_t n = 0;
  for (size_t i = 1; i < value.size(); i++) {
    if (value[i] == '"') {
      if (i + 1 < value.size() && value[i + 1] == '"') {
        to[n++] = '"';
        i++;
        continue;
      }
      break; // the closing quote; anything after it is not part of the string
    }
    to[n++] = value[i];
  }
  return n;
}
