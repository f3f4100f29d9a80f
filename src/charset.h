// The map from a font's code points to Unicode, named by its
// CHARSET_REGISTRY and CHARSET_ENCODING properties.
#pragma once

#include <cstdint>
#include <string_view>

// What kind of code a charset's glyphs carry.
enum charset_kind {
  CHARSET_UNICODE,  // the code is the Unicode value
  CHARSET_ONE_BYTE, // one byte, 0 to 255
  CHARSET_EUC,      // two 7-bit bytes, read in their EUC form with the high bits set
  CHARSET_TWO_BYTE, // two bytes as they stand
  CHARSET_UNKNOWN,  // no map: every code is without a Unicode value
};

// An open map.  The converter descriptor is only valid for the byte kinds.
struct charset_map {
  charset_kind kind = CHARSET_UNICODE;
  void *converter = nullptr; // an iconv_t
};

// Opens the map for a registry and encoding (either may be empty, and both
// empty mean Unicode); returns false, with kind CHARSET_UNKNOWN, for a
// charset neither named here nor known to the system's iconv.
bool charset_open(charset_map &map, std::string_view registry, std::string_view encoding);

// The Unicode value of a code of the charset, or -1 if it has none.
int32_t charset_to_unicode(charset_map &map, int64_t code);

// Closes the map; it maps as Unicode again.
void charset_close(charset_map &map);
