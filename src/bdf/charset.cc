#include "bdf/charset.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <new>
#include <string>

#include "bdf/agl.h"
#include "bdf/bdf.h"

namespace {

struct charset_family {
  const char *registry; // compared without case, up to its length (so "JISX0208" takes any year)
  const char *encoding; // nullptr: any encoding, named by iconv_name alone
  const char *iconv_name;
  charset_kind kind;
  const char *fallback = nullptr; // a system without iconv_name may know the set by this
};

// The X11 charset names of the families in use, and the system names iconv
// knows them by.  Two-byte sets are read in their EUC form where that is the
// only one iconv has.
constexpr charset_family families[] = {
    {"ISO10646", nullptr, nullptr, CHARSET_UNICODE},
    {"JISX0208", nullptr, "EUC-JP", CHARSET_EUC},
    // Both planes of JIS X 0213 in one EUC form; the second behind 0x8F.
    {"JISX0213", nullptr, "EUC-JISX0213", CHARSET_EUC},
    // Shift JIS holds JIS X 0201 as its one-byte half.
    {"JISX0201", nullptr, "JIS_X0201", CHARSET_ONE_BYTE, "SJIS"},
    {"GB2312", nullptr, "EUC-CN", CHARSET_EUC},
    {"KSC5601", nullptr, "EUC-KR", CHARSET_EUC},
    {"BIG5", nullptr, "BIG5", CHARSET_TWO_BYTE},
    {"ISO8859", "", "ISO-8859-", CHARSET_ONE_BYTE},
    {"KOI8", "", "KOI8-", CHARSET_ONE_BYTE},
    {"MICROSOFT", "", "", CHARSET_ONE_BYTE},
    {"PARATYPE", "", "", CHARSET_ONE_BYTE},
    {"ASCII", nullptr, "ASCII", CHARSET_ONE_BYTE},
    // The international reference version of ISO 646 is ASCII.
    {"ISO646.1991", nullptr, "ASCII", CHARSET_ONE_BYTE},
    // X.Org's VISCII table gives five letters twice, where the system's is right.
    {"VISCII", nullptr, "VISCII", CHARSET_ONE_BYTE},
};

// Big5 symbols that the system's converter maps as Microsoft's code page 950
// does, taken as Unicode's own Big5 table has them: the bullet, not the
// hyphenation point, at 0xA145, and so on.
constexpr struct {
  uint16_t code;
  uint16_t unicode;
} big5_symbols[] = {
    {0xA145, 0x2022}, {0xA14E, 0xFF64}, {0xA1C2, 0x203E}, {0xA1E3, 0x223C},
    {0xA1F2, 0x2641}, {0xA1F3, 0x2609}, {0xA241, 0xFF0F}, {0xA242, 0xFF3C},
    {0xA244, 0x00A5}, {0xA246, 0x00A2}, {0xA247, 0x00A3},
};

bool starts_without_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); i++) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

iconv_t open_converter(const std::string &name) {
  return iconv_open("UTF-32LE", name.c_str());
}

} // namespace

bool charset_open(charset_map &map, std::string_view registry, std::string_view encoding) {
  charset_close(map);
  if (registry.empty() && encoding.empty()) return true;
  std::string name;
  const char *fallback = nullptr;
  map.kind = CHARSET_ONE_BYTE;
  for (const charset_family &family : families) {
    if (!starts_without_case(registry, family.registry)) continue;
    map.kind = family.kind;
    if (family.kind == CHARSET_UNICODE) return true;
    name = family.iconv_name;
    fallback = family.fallback;
    if (family.kind == CHARSET_EUC && encoding == "2") map.kind = CHARSET_EUC_PLANE2;
    map.big5 = family.kind == CHARSET_TWO_BYTE;
    // A family that names its sets by their encoding: ISO8859-5, KOI8-R, CP1251, PT154.
    if (family.encoding != nullptr) name.append(encoding);
    map.latin1 = name == "ISO-8859-1";
    break;
  }
  // Any other pair may still be a name the system knows, such as TIS620-0.
  if (name.empty()) name = std::string(registry) + "-" + std::string(encoding);
  iconv_t converter = open_converter(name);
  if (converter == reinterpret_cast<iconv_t>(-1) && fallback != nullptr)
    converter = open_converter(fallback);
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    // The X server's own tables know charsets iconv does not: MuleArabic,
    // DEC special, TIS-620, the Adobe sets and more.
    map.kind = fontenc_open(map.fontenc, registry, encoding) ? CHARSET_FONTENC : CHARSET_UNKNOWN;
    // The C library's EUC-TW holds the CNS 11643 planes X.Org has no table of.
    if (map.kind == CHARSET_UNKNOWN && starts_without_case(registry, "CNS11643") &&
        encoding.size() == 1 && encoding[0] >= '1' && encoding[0] <= '7') {
      converter = open_converter("EUC-TW");
      if (converter == reinterpret_cast<iconv_t>(-1)) return false;
      map.kind = CHARSET_EUC_TW;
      map.plane = encoding[0] - '0';
      map.converter = converter;
    }
    return map.kind != CHARSET_UNKNOWN;
  }
  map.converter = converter;
  return true;
}

int32_t charset_to_unicode(charset_map &map, int64_t code) {
  char bytes[4];
  char *in = bytes;
  size_t length;
  switch (map.kind) {
  case CHARSET_UNICODE:
    // Surrogates are halves of UTF-16 pairs, no characters of their own.
    if (code >= 0xD800 && code <= 0xDFFF) return -1;
    return code >= 0 && code <= 0x10FFFF ? static_cast<int32_t>(code) : -1;
  case CHARSET_UNKNOWN: return -1;
  case CHARSET_FONTENC: return fontenc_to_unicode(map.fontenc, code);
  case CHARSET_ONE_BYTE:
    // ISO 8859-1 is Unicode's first 256 code points, and FreeType maps the
    // codes of such a font as Unicode past them too.
    if (map.latin1 && code > 0xFF && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF))
      return static_cast<int32_t>(code);
    if (code < 0 || code > 0xFF) return -1;
    bytes[0] = static_cast<char>(code);
    length = 1;
    break;
  case CHARSET_EUC:
  case CHARSET_EUC_PLANE2:
  case CHARSET_TWO_BYTE: {
    const int64_t high = code >> 8;
    const int64_t low = code & 0xFF;
    if (map.kind != CHARSET_TWO_BYTE) {
      if (high < 0x21 || high > 0x7E || low < 0x21 || low > 0x7E) return -1;
      bytes[0] = static_cast<char>(0x8F);
      bytes[1] = static_cast<char>(high | 0x80);
      bytes[2] = static_cast<char>(low | 0x80);
      // The first plane starts behind the prefix.
      if (map.kind == CHARSET_EUC) in++;
    } else {
      if (high < 0x81 || high > 0xFE || low < 0x40 || low > 0xFE) return -1;
      if (map.big5)
        for (const auto &symbol : big5_symbols)
          if (symbol.code == code) return symbol.unicode;
      bytes[0] = static_cast<char>(high);
      bytes[1] = static_cast<char>(low);
    }
    length = static_cast<size_t>(bytes + (map.kind == CHARSET_TWO_BYTE ? 2 : 3) - in);
    break;
  }
  case CHARSET_EUC_TW: {
    const int64_t high = code >> 8, low = code & 0xFF;
    if (high < 0x21 || high > 0x7E || low < 0x21 || low > 0x7E) return -1;
    bytes[0] = static_cast<char>(0x8E);
    bytes[1] = static_cast<char>(0xA0 + map.plane);
    bytes[2] = static_cast<char>(high | 0x80);
    bytes[3] = static_cast<char>(low | 0x80);
    length = 4;
    break;
  }
  }
  const auto converter = static_cast<iconv_t>(map.converter);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  unsigned char out[8];
  char *to = reinterpret_cast<char *>(out);
  size_t out_left = sizeof out;
  // Exactly one character must come of the code: a byte iconv cannot map,
  // or a code that is only half a character, has no Unicode value.
  if (iconv(converter, &in, &length, &to, &out_left) == static_cast<size_t>(-1) || length != 0 ||
      sizeof out - out_left != 4)
    return -1;
  return static_cast<int32_t>(out[0] | out[1] << 8 | out[2] << 16 | uint32_t{out[3]} << 24);
}

void charset_close(charset_map &map) {
  if (map.converter != nullptr) iconv_close(static_cast<iconv_t>(map.converter));
  map = charset_map{};
}

namespace {

// Whether the properties and the FONT name name one charset, compared
// without case.
bool same_charset(const font_charset &charset) {
  for (int i = 0; i < 2; i++) {
    if (charset.lengths[i] != charset.lengths[i + 2]) return false;
    for (size_t k = 0; k < charset.lengths[i]; k++)
      if (std::tolower(static_cast<unsigned char>(charset.parts[i][k])) !=
          std::tolower(static_cast<unsigned char>(charset.parts[i + 2][k])))
        return false;
  }
  return true;
}

} // namespace

bool charset_property(font_charset &charset, std::string_view value, int which) {
  charset.ready = false;
  // The limit is the text's, without the quotes and doubled quotes of a
  // BDF string.
  char text[2 * charset_part_room + 2];
  const size_t length = value.size() > sizeof text ? sizeof text : read_bdf_string(value, text);
  if (length >= charset_part_room) {
    charset.too_long = true;
    return false;
  }
  std::memcpy(charset.parts[which], text, length);
  charset.lengths[which] = static_cast<uint8_t>(length);
  return true;
}

void charset_from_xlfd(font_charset &charset, std::string_view name) {
  std::string_view fields[14];
  if (!xlfd_fields(name, fields)) return;
  const std::string_view registry = fields[12], encoding = fields[13];
  if (registry.size() >= charset_part_room || encoding.size() >= charset_part_room) {
    charset.xlfd_too_long = true;
    return;
  }
  charset.ready = false;
  std::memcpy(charset.parts[2], registry.data(), registry.size());
  std::memcpy(charset.parts[3], encoding.data(), encoding.size());
  charset.lengths[2] = static_cast<uint8_t>(registry.size());
  charset.lengths[3] = static_cast<uint8_t>(encoding.size());
}

std::string_view charset_name(const font_charset &charset, char *buffer, int parts) {
  const int first = parts >= 0 ? parts : charset.used;
  size_t n = charset.lengths[first];
  std::memcpy(buffer, charset.parts[first], n);
  buffer[n++] = '-';
  std::memcpy(buffer + n, charset.parts[first + 1], charset.lengths[first + 1]);
  return std::string_view(buffer, n + charset.lengths[first + 1]);
}

void charset_resolve(font_charset &charset) {
  if (charset.ready) return;
  charset.ready = true;
  charset.from_xlfd = charset.unnamed = false;
  const auto part = [&](int i) { return std::string_view(charset.parts[i], charset.lengths[i]); };
  const bool in_properties = charset.lengths[0] + charset.lengths[1] != 0;
  const bool in_name = charset.lengths[2] + charset.lengths[3] != 0 && !charset.xlfd_too_long;
  // X takes the charset of the FONT name, which some fonts give right where
  // their properties do not (Thai fonts that say ISO-8859-1, euro variants
  // that say ISO8859-1 for ISO8859-15); the properties' serve where the
  // name's is unknown.
  if (in_name && charset_open(charset.map, part(2), part(3))) {
    charset.used = 2;
    charset.known = true;
    charset.from_xlfd = in_properties && !same_charset(charset);
    return;
  }
  charset.used = in_properties ? 0 : 2;
  // A name too long to keep names no charset a table knows.
  if (charset.too_long || (!in_properties && charset.xlfd_too_long)) {
    charset_close(charset.map);
    charset.map.kind = CHARSET_UNKNOWN;
    charset.known = false;
    return;
  }
  charset.known = charset_open(charset.map, part(charset.used), part(charset.used + 1));
  charset.unnamed = !in_properties && !in_name;
}

int32_t charset_glyph_unicode(font_charset &charset, int64_t code, std::string_view name) {
  charset_resolve(charset);
  int32_t unicode = code < 0 ? -1 : charset_to_unicode(charset.map, code);
  if (unicode > 0xFF && charset.map.latin1) charset.past_latin1++;
  // Fonts of a charset no table knows often name their glyphs by the Adobe
  // Glyph List or by their Unicode values, as the 3270 fonts do; the rest
  // are put where they can be reached, at their code in a private use area.
  if (charset.map.kind == CHARSET_UNKNOWN) {
    unicode = agl_unicode(name);
    if (unicode >= 0)
      charset.by_name++;
    else if (code >= 0 && code <= private_use_last) {
      unicode = private_use_base + static_cast<int32_t>(code);
      charset.private_use++;
    }
  }
  if (unicode < 0) return -1;
  if (!charset.taken) {
    constexpr size_t words = (0x110000 + 63) / 64;
    charset.taken.reset(new (std::nothrow) uint64_t[words]());
    if (!charset.taken) return unicode; // without room to remember, duplicates pass
  }
  uint64_t &word = charset.taken[static_cast<uint32_t>(unicode) / 64];
  const uint64_t bit = uint64_t{1} << (unicode % 64);
  if ((word & bit) != 0) return -1;
  if (word == 0) charset.taken_words.push_back(static_cast<uint32_t>(unicode) / 64);
  word |= bit;
  return unicode;
}

void charset_release(font_charset &charset) {
  charset_close(charset.map);
  // The bitmap stays for the next run, cleared where it was written: it is
  // large, and a run sets few of its words.
  if (charset.taken)
    for (const uint32_t word : charset.taken_words)
      charset.taken[word] = 0;
  charset.taken_words.clear();
}
