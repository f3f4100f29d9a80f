#include "bdf/bdf.h"

#include "io/compat.h"

#include <algorithm>
#include <array>

namespace {

// What the converter knows of each keyword, in the order of the codes.
constexpr keyword_facts keywords[] = {
    {"", false, false, false, ROLE_ROW},
    {"FAMILY_NAME", true, false, true, ROLE_IDENTITY},
    {"COPYRIGHT", true, false, true, ROLE_HEADER},
    {"FONTBOUNDINGBOX", false, true, false, ROLE_HEADER},
    {"FONT_ASCENT", true, false, true, ROLE_HEADER},
    {"FONT_DESCENT", true, false, true, ROLE_HEADER},
    {"FONT_VERSION", true, false, true, ROLE_HEADER},
    {"CHARS", true, true, false, ROLE_HEADER},
    {"STARTCHAR", true, true, false, ROLE_GLYPH},
    {"ENCODING", true, true, false, ROLE_GLYPH},
    {"BITMAP", false, true, false, ROLE_GLYPH},
    {"ENDCHAR", false, true, false, ROLE_GLYPH},
    {"BBX", false, false, false, ROLE_GLYPH},
    {"DWIDTH", false, false, false, ROLE_GLYPH},
    {"CHARSET_REGISTRY", true, false, true, ROLE_CHARSET},
    {"CHARSET_ENCODING", true, false, true, ROLE_CHARSET},
    {"STARTFONT", false, false, false, ROLE_STRUCTURE},
    {"ENDFONT", false, false, false, ROLE_STRUCTURE},
    {"COMMENT", false, false, false, ROLE_STRUCTURE},
    {"FONT", false, false, false, ROLE_IDENTITY},
    {"SIZE", false, false, false, ROLE_IDENTITY},
    {"CONTENTVERSION", false, false, false, ROLE_STRUCTURE},
    {"METRICSSET", false, false, false, ROLE_STRUCTURE},
    {"STARTPROPERTIES", false, false, false, ROLE_STRUCTURE},
    {"ENDPROPERTIES", false, false, false, ROLE_STRUCTURE},
    {"SWIDTH", false, false, false, ROLE_STRUCTURE},
    {"SWIDTH1", false, false, false, ROLE_STRUCTURE},
    {"DWIDTH1", false, false, false, ROLE_STRUCTURE},
    {"VVECTOR", false, false, false, ROLE_STRUCTURE},
    {"PIXEL_SIZE", false, false, true, ROLE_IDENTITY},
    {"FOUNDRY", false, false, true, ROLE_IDENTITY},
    {"WEIGHT_NAME", false, false, true, ROLE_IDENTITY},
    {"SLANT", false, false, true, ROLE_IDENTITY},
    {"SETWIDTH_NAME", false, false, true, ROLE_IDENTITY},
    {"ADD_STYLE_NAME", false, false, true, ROLE_IDENTITY},
    {"SPACING", false, false, true, ROLE_IDENTITY},
    {"AVERAGE_WIDTH", false, false, true, ROLE_IDENTITY},
    {"NOTICE", false, false, true, ROLE_IDENTITY},
    {"X_HEIGHT", false, false, true, ROLE_IDENTITY},
    {"CAP_HEIGHT", false, false, true, ROLE_IDENTITY},
    {"UNDERLINE_POSITION", false, false, true, ROLE_IDENTITY},
    {"UNDERLINE_THICKNESS", false, false, true, ROLE_IDENTITY},
};
static_assert(std::size(keywords) == last_keyword + 1);

// The longest keyword, and the most that share a length and a first letter.
constexpr size_t max_keyword_length = 19;
constexpr size_t max_alike = 4;

// The keywords by length and first letter (its low five bits: they are all
// capitals), in the order of their codes, each list ended by 0 where short.
constexpr auto keywords_by_shape = [] {
  std::array<std::array<std::array<uint8_t, max_alike>, 32>, max_keyword_length + 1> table{};
  for (int code = KW_FAMILY_NAME; code <= last_keyword; code++) {
    const std::string_view name = keywords[code].name;
    auto &alike = table[name.size()][name[0] & 31];
    size_t n = 0;
    while (alike[n] != 0)
      n++;
    alike[n] = static_cast<uint8_t>(code);
  }
  return table;
}();

} // namespace

std::string_view keyword_name(keyword code) {
  return keywords[code].name;
}

const keyword_facts &facts(keyword code) {
  return keywords[code];
}

namespace {

// Whether a field is a number, or empty as X allows.
bool number_field(std::string_view field) {
  return std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

bool xlfd_fields(std::string_view name, std::string_view fields[14]) {
  if (!name.starts_with('-')) return false;
  // Thirteen fields whose sizes, resolutions, spacing and average width
  // stand where they would behind a foundry.
  if (std::count(name.begin(), name.end(), '-') == 13) {
    fields[0] = {};
    size_t from = 1;
    for (int i = 1; i < 14; i++) {
      const size_t end = i < 13 ? name.find('-', from) : name.size();
      fields[i] = name.substr(from, end - from);
      from = end + 1;
    }
    const std::string_view spacing = fields[10];
    return number_field(fields[6]) && number_field(fields[7]) && number_field(fields[8]) &&
           number_field(fields[9]) && number_field(fields[11]) &&
           (spacing.empty() ||
            (spacing.size() == 1 && std::string_view("pPmMcC").find(spacing) != spacing.npos));
  }
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
  // Only the keywords of the token's length and first letter are compared.
  const size_t length = line.first.size();
  if (length > max_keyword_length) return KW_NONE;
  for (const uint8_t code : keywords_by_shape[length][line.first[0] & 31])
    if (code == 0 || code > last) break;
    else if (line.first == keywords[code].name) return static_cast<keyword>(code);
  return KW_NONE;
}

bool takes_value(keyword code) {
  return keywords[code].takes_value;
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
