#include "bdf/fontenc.h"

#include <string>

#ifdef HAVE_FONTENC
// The library's header is C and says nothing of linkage.
extern "C" {
#include <X11/fonts/fontenc.h>
}
#endif

bool fontenc_open(fontenc_map &map, std::string_view registry, std::string_view encoding) {
  map.map = nullptr;
#ifdef HAVE_FONTENC
  // A name past the library's own limit of a charset name is none it knows.
  if (registry.size() + encoding.size() > 100) return false;
  const std::string name = std::string(registry) + "-" + std::string(encoding);
  map.map = FontEncMapFind(name.c_str(), FONT_ENCODING_UNICODE, -1, -1, nullptr);
  // X11 registries carry the year of their standard, CNS11643.1992, which
  // the encoding files leave out.
  const size_t year = registry.find('.');
  if (map.map == nullptr && year != std::string_view::npos) {
    const std::string plain = std::string(registry.substr(0, year)) + "-" + std::string(encoding);
    map.map = FontEncMapFind(plain.c_str(), FONT_ENCODING_UNICODE, -1, -1, nullptr);
  }
#else
  (void)registry;
  (void)encoding;
#endif
  return map.map != nullptr;
}

int32_t fontenc_to_unicode(const fontenc_map &map, int64_t code) {
#ifdef HAVE_FONTENC
  if (map.map == nullptr || code < 0 || code > 0xFFFF) return -1;
  const auto mapping = static_cast<FontMapPtr>(map.map);
  // The library maps a code its table leaves undefined to 0, which is no
  // glyph's value in a font's charset.
  unsigned unicode = FontEncRecode(static_cast<unsigned>(code), mapping);
  // The library refuses the columns below a matrix encoding's FIRSTINDEX,
  // though the CNS 11643 files map column 0x21 below their 0x22; the
  // file's own table is asked for those.  Past the table it answers with
  // the code itself, which is no mapping.
  const FontEncPtr encoding = mapping->encoding;
  const unsigned row = static_cast<unsigned>(code) >> 8, column = code & 0xFF;
  if (unicode == 0 && encoding != nullptr && mapping->recode != nullptr && encoding->row_size > 0 &&
      static_cast<int>(column) < encoding->first_col && static_cast<int>(row) >= encoding->first &&
      static_cast<int>(row) < encoding->size) {
    unicode = mapping->recode(static_cast<unsigned>(code), mapping->client_data);
    if (unicode == code) unicode = 0;
  }
  if (unicode == 0 || unicode > 0x10FFFF || (unicode >= 0xD800 && unicode <= 0xDFFF)) return -1;
  return static_cast<int32_t>(unicode);
#else
  (void)map;
  (void)code;
  return -1;
#endif
}
