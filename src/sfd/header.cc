#include "sfd/header.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/time.h>

#include "bdf/bdf.h"
#include "io/compat.h"
#include "font/sfd_text.h"

namespace {

constexpr const char *allocation_message = "Memory allocation error.";

bool is_set(std::string_view text) {
  return text.data() != nullptr;
}

// Duplicates value into malloc'd storage, read as a BDF string with
// bdf_text, and sets *length; null on failure.
const char *duplicate(std::string_view value, bool bdf_text, size_t *length) {
  char *copy = static_cast<char *>(std::malloc(value.size() + 1));
  if (copy == nullptr) return nullptr;
  *length = bdf_text ? read_bdf_string(value, copy) : value.size();
  if (!bdf_text) std::memcpy(copy, value.data(), value.size());
  copy[*length] = '\0';
  return copy;
}

void release(std::string_view *text) {
  std::free(const_cast<char *>(text->data()));
  *text = {};
}

// The first of the texts that is set, else "Untitled", so that no header
// line is left without a name.  FontForge would join the next line to a
// name that ends in a backslash, so those are left out.
std::string_view first_set(std::string_view a, std::string_view b) {
  std::string_view name = is_set(a) ? a : is_set(b) ? b : "Untitled";
  if (!name.ends_with('\\')) return name;
  while (name.ends_with('\\'))
    name.remove_suffix(1);
  return name.empty() ? "Untitled" : name;
}

void write_line(output &out, std::string_view label, std::string_view value) {
  output_write(out, label);
  output_write(out, value);
  output_write(out, "\n");
}

void write_number_line(output &out, std::string_view label, int64_t value) {
  output_write(out, label);
  output_number(out, value);
  output_write(out, "\n");
}

constexpr std::string_view fixed_style = "ItalicAngle: 0\n"
                                         "UnderlinePosition: -100\n"
                                         "UnderlineWidth: 40\n";

constexpr std::string_view fixed_layers = "LayerCount: 2\n"
                                          "Layer: 0 0 \"Back\"  1\n"
                                          "Layer: 1 0 \"Fore\"  0\n"
                                          "FSType: 0\n"
                                          "OS2Version: 0\n"
                                          "OS2_WeightWidthSlopeOnly: 0\n"
                                          "OS2_UseTypoMetrics: 0\n";

constexpr std::string_view fixed_family = "PfmFamily: 33\n"
                                          "TTFWeight: 500\n"
                                          "TTFWidth: 5\n";

constexpr std::string_view fixed_panose = "Panose: 2 0 6 4 0 0 0 0 0 0\n";

constexpr std::string_view relative_metrics = "OS2TypoAscent: 0\n"
                                              "OS2TypoAOffset: 1\n"
                                              "OS2TypoDescent: 0\n"
                                              "OS2TypoDOffset: 1\n"
                                              "OS2TypoLinegap: 0\n";

// The Windows ascent and descent follow the glyphs' bounding box, so that
// none is clipped.
constexpr std::string_view window_metrics = "OS2WinAscent: 0\n"
                                            "OS2WinAOffset: 1\n"
                                            "OS2WinDescent: 0\n"
                                            "OS2WinDOffset: 1\n";

constexpr std::string_view relative_hhea = "HheadAscent: 0\n"
                                           "HheadAOffset: 1\n"
                                           "HheadDescent: 0\n"
                                           "HheadDOffset: 1\n";

constexpr std::string_view fixed_vendor = "OS2Vendor: 'PfEd'\n";

constexpr std::string_view fixed_display =
    "Encoding: UnicodeBmp\n"
    "UnicodeInterp: none\n"
    "DisplaySize: -24\n"
    "AntiAlias: 0\n"
    "FitToEm: 1\n"
    "WinInfo: 64 16 4\n"
    "TeXData: 1 0 0 346030 173015 115343 0 1048576 115343 783286 444596 497025 792723 393216 "
    "433062 380633 303038 157286 324010 404750 52429 2506097 1059062 262144\n";

} // namespace


const char *family_name_action(font_info &info, name_ownership &owned, std::string_view value) {
  if (is_set(info.name) && is_set(info.psname)) return nullptr;
  size_t length;
  const char *copy = duplicate(value, false, &length);
  if (copy == nullptr) return allocation_message;
  const std::string_view text(copy, length);
  // One copy serves both names; release_font_info frees it once.
  if (!is_set(info.name)) {
    info.name = text;
    owned.name_owned = true;
  }
  if (!is_set(info.psname)) {
    info.psname = text;
    owned.psname_owned = true;
  }
  return nullptr;
}

const char *owned_property_action(std::string_view *slot, std::string_view value, bool bdf_text) {
  // The old value goes first: the new one is still in the line, and two
  // values of a megabyte each need not be held at once.
  release(slot);
  size_t length;
  const char *copy = duplicate(value, bdf_text, &length);
  if (copy == nullptr) return allocation_message;
  *slot = std::string_view(copy, length);
  return nullptr;
}

void chars_action(font_info &info, output &out, std::string_view value) {
  info.chars = value;
  write_header(out, info);
  info.chars = {};
}

void write_header(output &out, const font_info &info) {
  const long created = creation_time();
  output_write(out, "SplineFontDB: 3.0\n");
  write_line(out, "FontName: ", first_set(info.psname, info.name));
  write_line(out, "FullName: ", first_set(info.name, info.psname));
  write_line(out, "FamilyName: ", first_set(info.name, info.psname));
  output_write(out, "Weight: Medium\n");
  if (is_set(info.copyright)) write_line(out, "Copyright: ", info.copyright);
  if (is_set(info.version)) write_line(out, "Version: ", info.version);
  output_write(out, fixed_style);
  write_number_line(out, "Ascent: ", info.ascent);
  write_number_line(out, "Descent: ", info.descent);
  output_write(out, fixed_layers);
  write_number_line(out, "CreationTime: ", created);
  output_write(out, fixed_family);
  output_write(out, "LineGap: 72\n");
  output_write(out, "VLineGap: 0\n");
  output_write(out, fixed_panose);
  output_write(out, relative_metrics);
  output_write(out, window_metrics);
  output_write(out, relative_hhea);
  output_write(out, fixed_vendor);
  output_write(out, fixed_display);
  write_line(out, "BeginChars: 65536 ", info.chars);
  output_write(out, "\n");
}

void write_bdf_header(output &out, const font_info &info, const identity_record &font) {
  const long created = creation_time();
  output_write(out, "SplineFontDB: 3.0\n");
  const std::pair<const char *, const std::string *> names[] = {
      {"FontName: ", &font.postscript},
      {"FullName: ", &font.full},
      {"FamilyName: ", &font.family},
      {"Weight: ", &font.weight},
  };
  for (const auto &[label, text] : names) {
    output_write(out, label);
    sfd_write_text(out, SFD_LINE, *text);
    output_write(out, "\n");
  }
  if (font.has_copyright) {
    output_write(out, "Copyright: ");
    sfd_write_text(out, SFD_ESCAPED, font.copyright);
    output_write(out, "\n");
  }
  if (!font.version.empty()) {
    output_write(out, "Version: ");
    sfd_write_text(out, SFD_LINE, font.version);
    output_write(out, "\n");
  }
  write_number_line(out, "ItalicAngle: ", font.italic_angle);
  write_number_line(out, "UnderlinePosition: ", font.underline_position);
  write_number_line(out, "UnderlineWidth: ", font.underline_width);
  write_number_line(out, "Ascent: ", font.ascent);
  write_number_line(out, "Descent: ", font.descent);
  output_write(out, "LayerCount: 2\n"
                    "Layer: 0 0 \"Back\"  1\n"
                    "Layer: 1 0 \"Fore\"  0\n"
                    "FSType: 0\n"
                    "OS2Version: 4\n"
                    "OS2_WeightWidthSlopeOnly: 0\n"
                    "OS2_UseTypoMetrics: 1\n");
  char style_map[32];
  std::snprintf(style_map, sizeof style_map, "StyleMap: 0x%04x\n", font.style_map);
  output_write(out, style_map);
  write_number_line(out, "CreationTime: ", created);
  // A fixed-pitch font says so in its PFM family and its Panose proportion.
  output_write(out, font.monospaced ? "PfmFamily: 49\n" : "PfmFamily: 33\n");
  write_number_line(out, "TTFWeight: ", font.ttf_weight);
  write_number_line(out, "TTFWidth: ", font.ttf_width);
  output_write(out, "LineGap: 0\nVLineGap: 0\n");
  char panose[48];
  std::snprintf(panose, sizeof panose, "Panose: 2 0 %d %d 0 0 0 0 0 0\n", font.panose_weight,
                font.monospaced ? 9 : 4);
  output_write(out, panose);
  // The line is the BDF's ascent and descent with no gap, whatever the em.
  write_number_line(out, "OS2TypoAscent: ", font.line_ascent);
  output_write(out, "OS2TypoAOffset: 0\n");
  write_number_line(out, "OS2TypoDescent: ", -font.line_descent);
  output_write(out, "OS2TypoDOffset: 0\nOS2TypoLinegap: 0\n");
  output_write(out, window_metrics);
  write_number_line(out, "HheadAscent: ", font.line_ascent);
  output_write(out, "HheadAOffset: 0\n");
  write_number_line(out, "HheadDescent: ", -font.line_descent);
  output_write(out, "HheadDOffset: 0\n");
  if (font.vendor.empty())
    output_write(out, fixed_vendor);
  else
    write_line(out, "OS2Vendor: '", font.vendor + "'");
  if (font.x_height >= 0) write_number_line(out, "OS2XHeight: ", font.x_height);
  if (font.cap_height >= 0) write_number_line(out, "OS2CapHeight: ", font.cap_height);
  // The style is the name table's subfamily.
  output_write(out, "LangName: 1033 \"\" \"\" ");
  sfd_write_text(out, SFD_LANG_NAME, font.style);
  // FontForge makes the name table's version of the first 20 bytes of the
  // version; where that would cut a character, the record is given whole.
  const std::string version_name = "Version " + font.version;
  if (sfd_cut(font.version, 20).size() < std::min<size_t>(font.version.size(), 20) &&
      sfd_text_fits(SFD_LANG_NAME, version_name)) {
    output_write(out, " \"\" \"\" ");
    sfd_write_text(out, SFD_LANG_NAME, version_name);
  }
  output_write(out, "\n");
  output_write(out, fixed_display);
  write_line(out, "BeginChars: 65536 ", info.chars);
  output_write(out, "\n");
}

void release_font_info(font_info &info, name_ownership &owned) {
  if (owned.name_owned && owned.psname_owned && info.name.data() == info.psname.data())
    info.psname = {};
  if (owned.name_owned) release(&info.name);
  if (owned.psname_owned) release(&info.psname);
  owned = {};
  release(&info.copyright);
  release(&info.version);
}

void bdf_header_texts(const font_info &info, identity_record &font) {
  const std::string_view copyright = info.copyright, notice = font.notice;
  font.has_copyright = copyright.data() != nullptr || !notice.empty();
  font.copyright = sfd_utf8(copyright, max_copyright);
  if (!copyright.empty() && !notice.empty()) font.copyright += ' ';
  // Each text is read as UTF-8 or Latin-1 on its own.
  font.copyright +=
      sfd_utf8(notice, max_copyright - std::min(font.copyright.size(), max_copyright));
  const size_t whole = sfd_utf8_length(copyright) + sfd_utf8_length(notice) +
                       (copyright.empty() || notice.empty() ? 0 : 1);
  font.copyright_cut = font.copyright.size() < whole;
  const std::string_view version = info.version;
  font.version = sfd_utf8(version, max_version);
  font.version_cut = font.version.size() < sfd_utf8_length(version);
  // A cut may leave a backslash at the end, which would join the next line.
  while (font.version.ends_with('\\'))
    font.version.pop_back();
}
