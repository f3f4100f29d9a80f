// The font's identity under -b: its names, style and vertical metrics, from
// the BDF's properties and, where one is missing, its XLFD FONT name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "bdf/bdf.h"

// The longest style word taken (FOUNDRY, WEIGHT_NAME, SLANT, SETWIDTH_NAME,
// ADD_STYLE_NAME, SPACING) and the longest FAMILY_NAME; longer values are
// refused, as no name of a font is that long.
constexpr size_t max_style_word = 63;
constexpr size_t max_family_name = 1024;

// The longest family, full name and style written, in bytes of UTF-8: well
// below the 1998 bytes FontForge reads of a header line, with room for the
// cell, the charset and the style words behind a FAMILY_NAME of
// max_family_name bytes.  A FAMILY_NAME or -f longer than max_family_name
// as UTF-8 is refused.
constexpr size_t max_name = 1536;

// The longest weight FontForge reads back whole: one token of 98 bytes.
constexpr size_t max_weight_token = 98;

// The identity's string properties: FAMILY_NAME, FOUNDRY, WEIGHT_NAME,
// SLANT, SETWIDTH_NAME, ADD_STYLE_NAME, SPACING and NOTICE.
enum identity_text {
  TEXT_FAMILY,
  TEXT_FOUNDRY,
  TEXT_WEIGHT,
  TEXT_SLANT,
  TEXT_SETWIDTH,
  TEXT_ADD_STYLE,
  TEXT_SPACING,
  TEXT_NOTICE,
  identity_texts
};

// The property that gives each text.
constexpr keyword text_keywords[identity_texts] = {
    KW_FAMILY_NAME,   KW_FOUNDRY,        KW_WEIGHT_NAME, KW_SLANT,
    KW_SETWIDTH_NAME, KW_ADD_STYLE_NAME, KW_SPACING,     KW_NOTICE};

// The identity properties as read, strings without their BDF quotes; a
// number is -1 (UNDERLINE_POSITION: INT32_MIN) while unset.
struct font_identity {
  std::string text[identity_texts];
  bool has[identity_texts] = {};           // which of the texts were given
  unsigned long line[identity_texts] = {}; // the line each was given on
  int32_t pixel_size = -1, average_width = -1, x_height = -1, cap_height = -1;
  int32_t underline_thickness = -1, underline_position = INT32_MIN;
  int32_t size_pixels = -1; // the SIZE line's point size at its vertical resolution
  // The fields of the XLFD name that stand in for the texts (none for
  // NOTICE), and for PIXEL_SIZE and AVERAGE_WIDTH.
  std::string xlfd[identity_texts];
  std::string xlfd_pixel_size, xlfd_average_width, xlfd_resolution;
  int xlfd_fields = 0;   // 14 for an X11 name, 13 for one without its foundry, else 0
  std::string font_name; // a FONT value that is no XLFD name, its first 63 bytes
  bool name_cut = false; // that name, or the XLFD name's family, was longer and is cut
  char message[64]; // the last error's text
};

// The font's metrics in pixels that the identity needs besides its own.
struct font_pixels {
  int32_t cell_width = 0, cell_height = 0; // the FONTBOUNDINGBOX
  int32_t ascent = 0, descent = 0;         // FONT_ASCENT and FONT_DESCENT, or the box's
  bool line_given = false;                 // both FONT_ASCENT and FONT_DESCENT are given
};

// The fewest and most font units an em may have in a TrueType font.
constexpr int32_t min_em = 16, max_em = 16384;

// Everything the SFD header says about the font under -b, in font units
// where it is a length: a pixel is a whole number of units both ways, and
// the em is the pixel size in pixels.
struct identity_record {
  std::string family, full, postscript, style, weight, notice, vendor; // UTF-8
  std::string copyright, version; // the header's, as written; set by the driver
  bool has_copyright = false, copyright_cut = false, version_cut = false;
  bool family_cut = false; // the family is the FONT name's, cut to 63 bytes
  int32_t pixel_size = 0;
  int32_t units_per_pixel = 0, em = 0;
  int32_t em_ascent = 0, em_descent = 0;     // the em's share of the line, in pixels
  int32_t ascent = 0, descent = 0;           // the same in units, adding up to the em
  int32_t line_ascent = 0, line_descent = 0; // FONT_ASCENT and FONT_DESCENT in units
  int32_t x_height = -1, cap_height = -1;
  int32_t underline_position = -100, underline_width = 40;
  int32_t ttf_weight = 500, ttf_width = 5, panose_weight = 6;
  int32_t italic_angle = 0;
  uint32_t style_map = 0; // OS/2 fsSelection: italic 0x1, bold 0x20, regular 0x40, oblique 0x200
  bool monospaced = false;
  const char *error = nullptr;  // why the font can't be made, else nullptr
  unsigned long error_line = 0; // the line of the property at fault, 0, or ULONG_MAX: an option
};

// Takes an identity property given on line; value is the rest of the line,
// blanks around it removed.  Returns the message of a value that can't be
// taken, else nullptr.
const char *identity_property_action(font_identity &identity, keyword code, std::string_view value,
                                     unsigned long line = 0);

// Takes the fields of an XLFD FONT name.
void identity_xlfd_action(font_identity &identity, std::string_view value);

// The pixel size: PIXEL_SIZE, else the XLFD's, else the cell height.
int32_t identity_pixel_size(const font_identity &identity, const font_pixels &pixels);

// The font units of a pixel for a pixel size of 1 to 1024: the power of two
// nearest 1024 / pixel size, so an em stays within a factor of 1.42 of the
// usual 1024 (fonts of 8, 16, 32 and 64 pixels keep exactly that), and a
// renderer's scale from units to pixels, ppem / em, is exact in binary
// fixed point at every whole multiple of the pixel size.
int32_t units_per_pixel(int32_t pixel_size);

// Derives the header record; family and postscript, where not empty, are
// the -f and -p names, which win over the derived ones, and charset is the
// charset the font names ("ISO8859-2"), empty where it names none;
// every_size leaves the cell out of the family's name, for a font that
// holds every size of the face; least_em, where not 0, makes the unit the
// smallest power of two that gives an em of at least that many units.
identity_record derive_identity(const font_identity &identity, const font_pixels &pixels,
                                std::string_view family, std::string_view postscript,
                                std::string_view charset = {}, bool every_size = false,
                                int32_t least_em = 0);

// A property's text, else the XLFD field standing in for it.
std::string_view identity_pick(const font_identity &identity, identity_text which);

// True for a valid PostScript name: 1 to 63 printable ASCII characters other
// than blanks and []() {}<>/%.
bool is_postscript_name(std::string_view name);
