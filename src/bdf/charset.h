// The map from a font's code points to Unicode, named by its
// CHARSET_REGISTRY and CHARSET_ENCODING properties.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>
#include <string_view>

#include "bdf/fontenc.h"

// What kind of code a charset's glyphs carry.
enum charset_kind {
  CHARSET_UNICODE,    // the code is the Unicode value
  CHARSET_ONE_BYTE,   // one byte, 0 to 255
  CHARSET_EUC,        // two 7-bit bytes, read in their EUC form with the high bits set
  CHARSET_EUC_PLANE2, // the same, behind the EUC prefix of the second plane (0x8F)
  CHARSET_TWO_BYTE,   // two bytes as they stand
  CHARSET_EUC_TW,     // two 7-bit bytes of a CNS 11643 plane, read in EUC-TW's four-byte form
  CHARSET_FONTENC,    // the code as X.Org's font encodings read it
  CHARSET_UNKNOWN,    // no map: every code is without a Unicode value
};

// An open map.  The converter descriptor is only valid for the byte kinds.
struct charset_map {
  charset_kind kind = CHARSET_UNICODE;
  void *converter = nullptr; // an iconv_t
  bool big5 = false;         // the Big5 codes whose Unicode value differs by source are mapped here
  bool latin1 = false;       // ISO 8859-1, whose codes past 0xFF are taken as Unicode
  int plane = 0;             // the CNS 11643 plane of CHARSET_EUC_TW
  fontenc_map fontenc;       // for CHARSET_FONTENC
};

// Opens the map for a registry and encoding (either may be empty, and both
// empty mean Unicode); returns false, with kind CHARSET_UNKNOWN, for a
// charset neither named here nor known to the system's iconv or X.Org's
// font encodings.
bool charset_open(charset_map &map, std::string_view registry, std::string_view encoding);

// The Unicode value of a code of the charset, or -1 if it has none.
int32_t charset_to_unicode(charset_map &map, int64_t code);

// Closes the map; it maps as Unicode again.
void charset_close(charset_map &map);

// The longest charset name part kept, with room for its end.
constexpr size_t charset_part_room = 64;

// The charset one font names and the Unicode values its glyphs have taken.
struct font_charset {
  // CHARSET_REGISTRY and CHARSET_ENCODING read as BDF strings (0 and 1),
  // and the same two from the last fields of the XLFD FONT name (2 and 3).
  char parts[4][charset_part_room];
  uint8_t lengths[4] = {};
  bool too_long = false;
  bool xlfd_too_long = false; // the FONT name's charset is longer than 63 bytes
  bool ready = false;         // the map is open for the names as they stand
  bool known = true;          // the map is one the system has
  bool unnamed = false;       // neither the properties nor the FONT name a charset
  bool from_xlfd = false;     // the FONT name's charset is used, the properties' another
  int used = 0;               // the parts the map was opened for: 0 or 2
  uint64_t by_name = 0;       // glyphs of an unknown charset mapped by their names
  uint64_t private_use = 0;   // glyphs of an unknown charset put at U+F0000 + code
  uint64_t past_latin1 = 0;   // glyphs of ISO 8859-1 past 0xFF, taken as Unicode
  charset_map map;
  std::unique_ptr<uint64_t[]> taken; // a bit per Unicode value given to a glyph
  std::vector<uint32_t> taken_words; // the words of taken with a bit set, to clear
};

// Takes a CHARSET_REGISTRY (which 0) or CHARSET_ENCODING (which 1) value;
// false for one longer than any charset's name, which leaves the charset
// unknown.
bool charset_property(font_charset &charset, std::string_view value, int which);

// Takes the registry and encoding from the last two fields of an XLFD font
// name such as -misc-fixed-medium-r-normal--13-120-75-75-c-70-iso8859-1.
void charset_from_xlfd(font_charset &charset, std::string_view name);

// Opens the map for the charset the FONT name names where it is known, as
// X takes it, else for the properties' charset.
void charset_resolve(font_charset &charset);

// The first code of the private use area where an unknown charset's codes
// are put, and the last code it holds.
constexpr int32_t private_use_base = 0xF0000;
constexpr int64_t private_use_last = 0xFFFD;

// The Unicode value of a glyph's code, opening the map on first use; in a
// charset no table knows, the value its name stands for, else
// private_use_base + code.  -1 for a code the charset can't map, and for a
// value an earlier glyph has taken.
int32_t charset_glyph_unicode(font_charset &charset, int64_t code, std::string_view name);

// The longest charset name charset_name writes.
constexpr size_t charset_name_room = 2 * charset_part_room;

// The charset the font's map is for, once charset_resolve has chosen it, as
// "REGISTRY-ENCODING", in buffer, which has room for charset_name_room
// bytes; with parts 0 the properties' and 2 the FONT name's.
std::string_view charset_name(const font_charset &charset, char *buffer, int parts = -1);

// Closes the map and forgets the values taken.
void charset_release(font_charset &charset);
