#include "bdf/identity.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "io/compat.h"
#include "io/io.h"
#include "font/names.h"
#include "font/sfd_text.h"

namespace {

// A word compared without case, blanks and hyphens: "Semi Condensed",
// "semi-condensed" and "SemiCondensed" are one word.
std::string folded(std::string_view word) {
  std::string text;
  for (const char c : word)
    if (c != ' ' && c != '-' && c != '_')
      text += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

template <size_t N>
int lookup(const std::pair<const char *, int> (&table)[N], std::string_view word, int otherwise) {
  const std::string key = folded(word);
  for (const auto &[name, value] : table)
    if (key == name) return value;
  return otherwise;
}

// WEIGHT_NAME as an OpenType weight class, as fontconfig reads them back.
constexpr std::pair<const char *, int> weights[] = {
    {"thin", 100},     {"hairline", 100},  {"extralight", 200},  {"ultralight", 200},
    {"light", 300},    {"demilight", 350}, {"semilight", 350},   {"book", 380},
    {"regular", 400},  {"normal", 400},    {"medium", 500},      {"demibold", 600},
    {"semibold", 600}, {"bold", 700},      {"extrabold", 800},   {"ultrabold", 800},
    {"black", 900},    {"heavy", 900},     {"extrablack", 1000}, {"ultrablack", 1000},
};

// SETWIDTH_NAME as an OpenType width class.
constexpr std::pair<const char *, int> widths[] = {
    {"ultracondensed", 1}, {"extracondensed", 2}, {"condensed", 3}, {"narrow", 3},
    {"semicondensed", 4},  {"normal", 5},         {"medium", 5},    {"regular", 5},
    {"semiexpanded", 6},   {"expanded", 7},       {"wide", 7},      {"extraexpanded", 8},
    {"ultraexpanded", 9},
};

// The words a weight or width of the ordinary kind needs not say.
bool is_plain(std::string_view word) {
  const std::string key = folded(word);
  return key.empty() || key == "medium" || key == "regular" || key == "normal" || key == "book" ||
         key == "r";
}

int32_t xlfd_number(const std::string &field) {
  const char *error = nullptr;
  const long long n = bounded_number(field, 1, 4096, &error);
  return error ? -1 : static_cast<int32_t>(n);
}

// The words of a text with the first letter of each made uppercase, as
// FreeType names a bitmap font's style: "bold" is "Bold".
std::string capitalised(std::string_view text) {
  std::string words(text);
  for (size_t i = 0; i < words.size(); i++)
    if ((i == 0 || words[i - 1] == ' ') && words[i] >= 'a' && words[i] <= 'z')
      words[i] = static_cast<char>(words[i] - 'a' + 'A');
  return words;
}

void append_word(std::string &text, std::string_view word) {
  if (word.empty()) return;
  if (!text.empty()) text += ' ';
  text += word;
}

// Whether a family is named for its foundry alone: the foundry is none or
// Misc, X.Org's word for none, or the family says it already, or the family
// is one of the foundries' own that no other uses.  Any other family, such
// as Fixed, Gothic or Courier, which many foundries make, takes the
// foundry in front.
bool is_own_family(std::string_view foundry, std::string_view family) {
  const std::string key = folded(foundry), name = folded(family);
  constexpr std::pair<const char *, const char *> own[] = {{"xos4", "terminus"},
                                                           {"gnu", "unifont"}};
  for (const auto &[maker, face] : own)
    if (key == maker && name.rfind(face, 0) == 0) return true;
  return key.empty() || key == "misc" || name.find(key) != std::string::npos;
}

// The words of text that name does not already say, compared without case.
std::string words_not_in(std::string_view text, std::string_view name) {
  std::string rest;
  bdf_line words{text, {}, 0};
  for (std::string_view word = next_token(words, " "); !word.empty();
       word = next_token(words, " ")) {
    bool said = false;
    bdf_line named{name, {}, 0};
    for (std::string_view other = next_token(named, " "); !other.empty() && !said;
         other = next_token(named, " "))
      said = folded(other) == folded(word);
    if (!said) append_word(rest, word);
  }
  return rest;
}

const char *invalid(font_identity &identity, keyword code) {
  const std::string_view name = keyword_name(code);
  std::snprintf(identity.message, sizeof identity.message, "Invalid value for %.*s.",
                static_cast<int>(name.size()), name.data());
  return identity.message;
}

// The weight as FontForge reads it back: one token of at most 98 bytes,
// which ends at a blank or at any of %<>{}[]() and the slash; a backslash
// at its end would join the next line.  "Medium" where nothing is left.
std::string weight_token(std::string_view text) {
  std::string token;
  for (const char c : text)
    if (std::string_view(" \t%<>{}[]()/\\").find(c) == std::string_view::npos) token += c;
  token = std::string(sfd_cut(token, max_weight_token));
  return token.empty() ? "Medium" : token;
}

std::string postscript_part(std::string_view text) {
  char name[max_postscript_name];
  return std::string(name, postscript_name(text, name));
}

} // namespace

std::string_view identity_pick(const font_identity &identity, identity_text which) {
  // The FONT name is the font's name in X, where no two fonts share one; a
  // property that says otherwise gives way to it, one that says the same
  // gives its own capitals.
  const std::string &named = identity.xlfd[which];
  if (!identity.has[which]) return named;
  const std::string &text = identity.text[which];
  return named.empty() || folded(text) == folded(named) ? std::string_view(text) : named;
}

bool is_postscript_name(std::string_view name) {
  if (name.empty() || name.size() > max_postscript_name) return false;
  char copy[max_postscript_name];
  return postscript_name(name, copy) == name.size();
}

const char *identity_property_action(font_identity &identity, keyword code, std::string_view value,
                                     unsigned long line) {
  if (code == KW_SIZE) {
    // The structure has made sure of its numbers: point size, x and y
    // resolution, and perhaps a bit depth.
    bdf_line words{value, {}, 0};
    long long numbers[3] = {0, 0, 0};
    for (long long &number : numbers) {
      const char *error = nullptr;
      number = bounded_number(next_token(words, " \t"), 0, 100000, &error);
      if (error != nullptr) return nullptr;
    }
    identity.size_pixels = static_cast<int32_t>((numbers[0] * numbers[2] + 36) / 72);
    return nullptr;
  }
  // The numbers with their ranges; X fonts say -1, or 0, where they leave
  // a metric unknown.
  const struct {
    keyword code;
    int32_t *number;
    long long min, max;
  } numbers[] = {
      {KW_PIXEL_SIZE, &identity.pixel_size, -1, 1024},
      {KW_AVERAGE_WIDTH, &identity.average_width, -1, 10240},
      {KW_X_HEIGHT, &identity.x_height, -1024, 1024},
      {KW_CAP_HEIGHT, &identity.cap_height, -1024, 1024},
      {KW_UNDERLINE_THICKNESS, &identity.underline_thickness, -1024, 1024},
      {KW_UNDERLINE_POSITION, &identity.underline_position, -1024, 1024},
  };
  for (const auto &property : numbers) {
    if (property.code != code) continue;
    const char *error = nullptr;
    const long long n = bounded_number(value, property.min, property.max, &error);
    if (error) return invalid(identity, code);
    *property.number = code == KW_UNDERLINE_POSITION || n > 0 ? static_cast<int32_t>(n) : -1;
    return nullptr;
  }
  for (size_t index = 0; index < identity_texts; index++) {
    if (text_keywords[index] != code) continue;
    const size_t limit = code == KW_NOTICE        ? max_line
                         : code == KW_FAMILY_NAME ? max_family_name
                                                  : max_style_word;
    // The quotes and doubled quotes of a BDF string make the value longer than its text.
    if (value.size() > 2 * limit + 2) return invalid(identity, code);
    // The old value goes before the new one comes, so that no two are held.
    std::string &text = identity.text[index];
    text.clear();
    text.shrink_to_fit();
    text.resize(value.size());
    text.resize(read_bdf_string(value, text.data()));
    identity.has[index] = true;
    identity.line[index] = line;
    return text.size() > limit ? invalid(identity, code) : nullptr;
  }
  return nullptr;
}

// A name's first 63 bytes, or fewer, so that no UTF-8 character is cut.
std::string_view first_word_bytes(std::string_view text) {
  if (text.size() <= max_style_word) return text;
  size_t end = max_style_word;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    end--;
  return text.substr(0, end);
}

void identity_xlfd_action(font_identity &identity, std::string_view value) {
  std::string_view fields[14];
  if (!xlfd_fields(value, fields)) {
    identity.xlfd_fields = 0;
    identity.font_name = first_word_bytes(value);
    identity.name_cut = value.size() > max_style_word;
    return;
  }
  identity.xlfd_fields = std::count(value.begin(), value.end(), '-') == 13 ? 13 : 14;
  identity.font_name.clear();
  identity.name_cut = fields[1].size() > max_style_word;
  // The field of each text, in their order; NOTICE has none.
  constexpr int field_of[identity_texts] = {1, 0, 2, 3, 4, 5, 10, -1};
  for (int i = 0; i < identity_texts; i++)
    if (field_of[i] >= 0) identity.xlfd[i] = first_word_bytes(fields[field_of[i]]);
  identity.xlfd_pixel_size = first_word_bytes(fields[6]);
  identity.xlfd_average_width = first_word_bytes(fields[11]);
  identity.xlfd_resolution = first_word_bytes(fields[9]);
}

int32_t identity_pixel_size(const font_identity &identity, const font_pixels &pixels) {
  if (identity.pixel_size > 0) return identity.pixel_size;
  const int32_t from_name = xlfd_number(identity.xlfd_pixel_size);
  if (from_name > 0 && from_name <= 1024) return from_name;
  // A font that names no pixel size is as tall as its line, then as its
  // SIZE says; its box holds its tallest glyph, often taller than the line.
  const int32_t line = pixels.ascent + pixels.descent;
  if (pixels.line_given && line > 0 && line <= 1024) return line;
  if (identity.size_pixels > 0 && identity.size_pixels <= 1024) return identity.size_pixels;
  return pixels.cell_height;
}

int32_t units_per_pixel(int32_t pixel_size) {
  if (pixel_size <= 0) return 1;
  // The power of two nearest 1024 / pixel size by ratio: the next one up
  // when (1024 / size)^2 > 2 * unit^2.
  int32_t unit = 1;
  while (int64_t{2} * unit * pixel_size <= 1024)
    unit *= 2;
  if (int64_t{1024} * 1024 > int64_t{2} * unit * unit * pixel_size * pixel_size) unit *= 2;
  while (unit > 1 && unit * pixel_size > max_em)
    unit /= 2;
  return unit;
}

// The em, its ascent and descent, the line and the other metrics of the
// identity, in units of a pixel of the size the identity gives.
void derive_metrics(identity_record &r, const font_identity &identity, const font_pixels &pixels,
                    int32_t least_em) {
  r.pixel_size = identity_pixel_size(identity, pixels);
  int32_t small_unit = 1;
  while (small_unit * std::max(r.pixel_size, 1) < least_em)
    small_unit *= 2;
  const int32_t unit = r.units_per_pixel =
      least_em > 0 ? small_unit : units_per_pixel(r.pixel_size);
  r.em = r.pixel_size * unit;
  // The em is the nominal size; its ascent and descent share it as
  // FONT_ASCENT and FONT_DESCENT share the line, in whole pixels, so that
  // a strike of the same share lands at the pixel size.
  const int32_t line_ascent = std::max(pixels.ascent, 0);
  const int32_t line_descent = std::max(pixels.descent, 0);
  const int64_t line = line_ascent + line_descent;
  if (line == r.pixel_size)
    r.em_ascent = line_ascent;
  else if (line > 0)
    r.em_ascent =
        static_cast<int32_t>((2 * int64_t{r.pixel_size} * line_ascent + line) / (2 * line));
  else
    r.em_ascent = r.pixel_size;
  r.em_descent = r.pixel_size - r.em_ascent;
  r.ascent = r.em_ascent * unit;
  r.descent = r.em_descent * unit;
  r.line_ascent = line_ascent * unit;
  r.line_descent = line_descent * unit;
  if (r.line_ascent > 32767 || r.line_descent > 32767)
    r.error = "PIXEL_SIZE is too small for the line: it would pass 32767 font units.";
  // An x-height or cap height above the ascent is no real one; Terminus
  // gives its x-height as 12 pixels for a 7 pixel x.
  if (identity.cap_height > 0 && identity.cap_height <= line_ascent)
    r.cap_height = identity.cap_height * unit;
  if (identity.x_height > 0 && identity.x_height < line_ascent &&
      (r.cap_height < 0 || identity.x_height < identity.cap_height))
    r.x_height = identity.x_height * unit;
  if (identity.underline_thickness > 0 && identity.underline_position != INT32_MIN) {
    // The position is the top of the line below the baseline; some fonts
    // give it negative, meaning below as well, and none wants it above.
    // Neither may leave the 16 bits of the post table.
    const int32_t below = std::min(std::abs(identity.underline_position), 1024);
    r.underline_width = std::min(identity.underline_thickness * unit, 16384);
    r.underline_position = -std::min(below * unit, 16384) - r.underline_width / 2;
  }

}

// The weight, width, slant, style bits, style name and spacing of the
// identity's texts, read as UTF-8 already.
void derive_style(identity_record &r, const std::string &weight, const std::string &slant,
                  const std::string &setwidth, std::string_view spacing) {
  // A word that names no weight ("Gallant", "Screen") is no heavier than
  // regular: fontconfig reads such a bitmap font as Regular.
  r.ttf_weight = lookup(weights, weight, weight.empty() ? 500 : 400);
  r.ttf_width = lookup(widths, setwidth, 5);
  r.weight = weight_token(capitalised(weight));
  const std::string slant_key = folded(slant);
  const bool italic = slant_key == "i" || slant_key == "ri";
  const bool oblique = slant_key == "o" || slant_key == "ro";
  if (italic || oblique) r.italic_angle = slant_key[0] == 'r' ? 12 : -12;
  r.style_map = (italic ? 0x1 : 0) | (oblique ? 0x200 : 0) | (r.ttf_weight >= 600 ? 0x20 : 0);
  if (r.style_map == 0) r.style_map = 0x40;
  r.monospaced = folded(spacing) == "c" || folded(spacing) == "m";

  // The style says what sets the font apart within its family: weight,
  // slant, width and added style, as FreeType names a bitmap font's style.
  std::string style;
  if (!is_plain(weight)) append_word(style, capitalised(weight));
  if (italic || oblique)
    append_word(style, std::string(slant_key[0] == 'r' ? "Reverse " : "") +
                           (italic ? "Italic" : "Oblique"));
  if (!is_plain(setwidth)) append_word(style, capitalised(setwidth));
  r.style = style.empty() ? "Regular" : style;
  // FreeType calls a bitmap font of no other style "Regular", and fontconfig
  // takes the weight from that word before WEIGHT_NAME: such a font is
  // regular, whatever plain word its weight has.
  if (style.empty() && is_plain(weight)) r.ttf_weight = 400;
  r.panose_weight = r.ttf_weight / 100 + 1;

}

// The family an X11 font is named by where no -f gives one: its family
// name, and whatever else its XLFD names that sets it apart from fonts of
// the same family name.
std::string x11_family(const font_identity &identity, const identity_record &r,
                       const std::string &family_name, std::string_view charset,
                       bool every_size) {
  const std::string foundry = sfd_utf8(identity_pick(identity, TEXT_FOUNDRY));
  const std::string add_style = sfd_utf8(identity_pick(identity, TEXT_ADD_STYLE));
  const std::string_view spacing = identity_pick(identity, TEXT_SPACING);
  std::string name = family_name;
  if (name.empty()) name = "Untitled";
  // A foundry of free text ("Made with an editor by someone") is no maker's
  // name to put in front.
  if (!is_own_family(foundry, name) && foundry.find(' ') == std::string::npos)
    name = capitalised(foundry) + " " + name;
  if (folded(add_style) != "" && folded(add_style)[0] != 'n')
    append_word(name, capitalised(add_style));
  const int32_t named_average = xlfd_number(identity.xlfd_average_width);
  const int32_t average = named_average > 0 ? named_average : identity.average_width;
  // The cell is the one the FONT name gives, where it gives one: a few
  // fonts say another PIXEL_SIZE than their name and their line.
  const int32_t named_size = xlfd_number(identity.xlfd_pixel_size);
  const int32_t size = named_size > 0 ? named_size : r.pixel_size;
  // A proportional font's average is given in tenths, even when whole,
  // so that it never reads as a charcell font of the same cell.
  const bool proportional = folded(spacing) == "p";
  // The weights, slants and widths of one face share its family. X11's
  // charcell fonts of one family differ in their cells, so the cell names
  // them; a proportional font's average width differs by weight, and a box
  // holds the widest glyph, so those are named by their size.  A font that
  // X11 does not name (a pixel-font editor's) is named by its size, or by
  // nothing where its family ends in digits and so names it already: X11
  // fonts have an XLFD name or a PIXEL_SIZE, the editors' neither.
  const bool x11 = identity.xlfd_fields == 14 || identity.pixel_size > 0;
  char cell[32];
  if (x11 && average > 0 && average % 10 == 0 && !proportional)
    std::snprintf(cell, sizeof cell, "%dx%d", average / 10, size);
  else if (x11 && average > 0 && !proportional)
    std::snprintf(cell, sizeof cell, "%d.%dx%d", average / 10, average % 10, size);
  else
    std::snprintf(cell, sizeof cell, "%d", size);
  const bool sized =
      !x11 && !family_name.empty() && family_name.back() >= '0' && family_name.back() <= '9';
  // A font of every size of the face is named for the face alone, a
  // proportional one marked as such.
  if (!every_size && !sized) append_word(name, cell);
  if (every_size && proportional) append_word(name, "Proportional");
  // A spacing of no usual kind, such as a vertical charcell's VC, is said.
  const std::string spacing_key = folded(spacing);
  if (!spacing_key.empty() && spacing_key != "p" && spacing_key != "m" && spacing_key != "c")
    append_word(name, capitalised(spacing));
  // Fonts of one pixel size made for 100 dpi and for the usual 72 or 75 differ.
  const int32_t resolution = xlfd_number(identity.xlfd_resolution);
  if (resolution > 0 && resolution != 72 && resolution != 75) {
    char dpi[32];
    std::snprintf(dpi, sizeof dpi, "%ddpi", resolution);
    append_word(name, dpi);
  }
  if (!charset.empty() && folded(charset).rfind("iso10646", 0) != 0) append_word(name, charset);
  return name;
}

identity_record derive_identity(const font_identity &identity, const font_pixels &pixels,
                                std::string_view family, std::string_view postscript,
                                std::string_view charset, bool every_size, int32_t least_em) {
  identity_record r;
  derive_metrics(r, identity, pixels, least_em);

  // Each text is read as UTF-8 or Latin-1 on its own before any is joined
  // to another.
  std::string weight = sfd_utf8(identity_pick(identity, TEXT_WEIGHT));
  const std::string slant = sfd_utf8(identity_pick(identity, TEXT_SLANT));
  std::string setwidth = sfd_utf8(identity_pick(identity, TEXT_SETWIDTH));
  // Pixel-font editors write a width (Condensed) where the weight goes: it
  // is the font's width, and its weight is the regular one.
  if (const int width = lookup(widths, weight, 5); width != 5) {
    if (is_plain(setwidth)) setwidth = weight;
    weight = "Regular";
  }
  const std::string add_style = sfd_utf8(identity_pick(identity, TEXT_ADD_STYLE));
  const std::string foundry = sfd_utf8(identity_pick(identity, TEXT_FOUNDRY));
  derive_style(r, weight, slant, setwidth, identity_pick(identity, TEXT_SPACING));

  // Members of one family differ in weight and slant alone; anything else
  // the XLFD names (foundry, added style, set width, size, average width,
  // charset) makes a family of its own, so the cell is part of the family's
  // name, and so are a foundry of the Fixed fonts other than X.Org's own
  // and a charset other than Unicode.
  const std::string family_text = sfd_utf8(family),
                    family_name = sfd_utf8(identity_pick(identity, TEXT_FAMILY));
  // A font of no FAMILY_NAME whose FONT is no XLFD name is called by that name.
  const std::string base = family_name.empty() ? sfd_utf8(identity.font_name) : family_name;
  if (!family.empty()) {
    r.family = family_text;
  } else {
    r.family = x11_family(identity, r, base, charset, every_size);
    r.family_cut = !identity.has[TEXT_FAMILY] && identity.name_cut;
  }
  // The full name and the PostScript name say each word once: a width word
  // stands in the family and the style.
  const std::string rest = r.style == "Regular" ? "" : words_not_in(r.style, r.family);
  r.full = r.family;
  append_word(r.full, rest);
  if (!postscript.empty()) {
    r.postscript = std::string(postscript);
  } else {
    // The part after the hyphen is the style, as the name table's
    // subfamily; the family's words go before it as long as whole ones fit.
    std::string suffix = "-";
    suffix += postscript_part(r.style);
    suffix.resize(std::min<size_t>(suffix.size(), 31));
    const size_t room = max_postscript_name - suffix.size();
    std::string base;
    bdf_line words{r.family, {}, 0};
    for (std::string_view word = next_token(words, " "); !word.empty();
         word = next_token(words, " ")) {
      const std::string part = postscript_part(word);
      if (base.size() + part.size() > room) {
        // A first word longer than all the room is cut; a later one is left out.
        if (base.empty()) base = part.substr(0, room);
        break;
      }
      base += part;
    }
    if (base.empty()) base = "Untitled";
    r.postscript = base + suffix;
  }
  r.notice = identity_pick(identity, TEXT_NOTICE);
  // FontForge reads the names back whole only below its line buffer, and
  // the name table's records only as UTF-16 of the Basic Multilingual
  // Plane, as the style's LangName is.
  const struct {
    std::string_view text;
    const char *message;
    int which; // the property, or -1 for -f
  } sources[] = {
      {weight, "Invalid value for WEIGHT_NAME.", TEXT_WEIGHT},
      {setwidth, "Invalid value for SETWIDTH_NAME.", TEXT_SETWIDTH},
      {add_style, "Invalid value for ADD_STYLE_NAME.", TEXT_ADD_STYLE},
      {foundry, "Invalid value for FOUNDRY.", TEXT_FOUNDRY},
      {family_text, "Invalid value for -f.", -1},
      {family_name, "Invalid value for FAMILY_NAME.", TEXT_FAMILY},
  };
  const auto fits = [](std::string_view text, size_t limit) {
    return text.size() <= limit && sfd_text_fits(SFD_LINE, text) &&
           sfd_text_fits(SFD_LANG_NAME, text);
  };
  if (!fits(r.family, max_name) || !fits(r.full, max_name) || r.style.size() > max_name ||
      !sfd_text_fits(SFD_LANG_NAME, r.style)) {
    r.error = "Invalid value for the font's name.";
    for (const auto &source : sources)
      if (!fits(source.text, max_family_name)) {
        r.error = source.message;
        // An option has no line.
        r.error_line = source.which >= 0 ? identity.line[source.which] : ULONG_MAX;
        break;
      }
  }
  // The vendor ID holds four characters; a longer foundry name does not fit.
  if (!foundry.empty() && foundry.size() <= 4 && postscript_part(foundry) == foundry &&
      foundry.find('\'') == std::string_view::npos)
    r.vendor = std::string(foundry) + std::string(4 - foundry.size(), ' ');
  return r;
}
