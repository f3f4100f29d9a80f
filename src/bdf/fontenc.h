// X.Org's font encodings (libfontenc and the encoding files of
// xfonts-encodings): the X server's own map from the charsets of X11 fonts
// to Unicode, for the charsets the system's iconv does not know.
#pragma once

#include <cstdint>
#include <string_view>

// An open map; its tables belong to the library, which keeps them for the
// life of the process.
struct fontenc_map {
  void *map = nullptr; // a FontMapPtr, or null when none is open
};

// Opens the map of the charset REGISTRY-ENCODING; returns false where the
// library has none, or where it was not built in.
bool fontenc_open(fontenc_map &map, std::string_view registry, std::string_view encoding);

// The Unicode value of a code of the charset, or -1 if it has none.
int32_t fontenc_to_unicode(const fontenc_map &map, int64_t code);
