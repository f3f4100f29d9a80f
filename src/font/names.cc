#include "font/names.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace {

// Bytes that stand for themselves in a glyph name; bytes of 0x80 or more are
// decided by their UTF-8 sequence.
constexpr auto plain_bytes = [] {
  std::array<bool, 256> table{};
  for (int c = 0x21; c < 0x7F; c++)
    table[c] = true;
  for (const char c : std::string_view("\"%<[]{}\\"))
    table[static_cast<unsigned char>(c)] = false;
  return table;
}();

} // namespace

size_t utf8_sequence_length(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  if (text.empty()) return 0;
  const unsigned char lead = byte(0);
  size_t length;
  unsigned char low = 0x80;  // the range of the second byte, which rules out
  unsigned char high = 0xBF; // overlong forms, surrogates and values past U+10FFFF
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; i++)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

namespace {

// The bytes of the character at the start of name and the bytes it takes
// written: a plain byte or well-formed UTF-8 as it stands, else '_' and two
// hexadecimal digits.
std::pair<size_t, size_t> name_character(std::string_view name) {
  const auto c = static_cast<unsigned char>(name[0]);
  if (plain_bytes[c]) return {1, 1};
  if (c >= 0x80)
    if (const size_t n = utf8_sequence_length(name)) return {n, n};
  return {1, 3};
}

} // namespace

void write_glyph_name(output &out, std::string_view name) {
  static constexpr char hex[] = "0123456789ABCDEF";
  size_t plain_from = 0;
  size_t i = 0;
  while (i < name.size()) {
    const auto [bytes, written] = name_character(name.substr(i));
    if (bytes == written) {
      i += bytes;
      continue;
    }
    const auto c = static_cast<unsigned char>(name[i]);
    output_write(out, name.substr(plain_from, i - plain_from));
    const char escaped[3] = {'_', hex[c >> 4], hex[c & 15]};
    output_write(out, std::string_view(escaped, 3));
    plain_from = ++i;
  }
  output_write(out, name.substr(plain_from));
}

size_t glyph_name_fitting(std::string_view name, size_t room) {
  size_t i = 0, written = 0;
  while (i < name.size()) {
    const auto [bytes, width] = name_character(name.substr(i));
    if (written + width > room) break;
    i += bytes;
    written += width;
  }
  return i;
}

size_t postscript_name(std::string_view name, char *to) {
  size_t n = 0;
  for (const char c : name) {
    if (n == max_postscript_name) break;
    if (c > 0x20 && c < 0x7F && std::string_view("[](){}<>/%\\").find(c) == std::string_view::npos)
      to[n++] = c;
  }
  return n;
}

namespace {

constexpr size_t name_slots = 1 << 15;
constexpr size_t name_arena = 1 << 19;
// The longest walk from a name's slot.  Names of a real font are spread by
// the hash and walk a few slots at most; names made to share a slot would
// make every claim walk them all, so past this a name counts as taken and
// its glyph gets a made name.
constexpr size_t max_probe = 64;

bool is_upper_hex(std::string_view text) {
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

bool is_digits(std::string_view text) {
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return !text.empty();
}

// A name of the forms the namer makes itself.
bool is_made_form(std::string_view name) {
  if (name.size() == 7 && name.starts_with("uni") && is_upper_hex(name.substr(3))) return true;
  if ((name.size() == 6 || name.size() == 7) && name[0] == 'u' && is_upper_hex(name.substr(1)))
    return true;
  return name.starts_with("glyph") && is_digits(name.substr(5));
}

bool is_post_name(std::string_view name) {
  if (name.empty() || name.size() > max_postscript_name) return false;
  if (name[0] >= '0' && name[0] <= '9') return false;
  for (const char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
          c == '_'))
      return false;
  return true;
}

// Claims a name; false if an earlier glyph has it, or there is no room left
// to remember it, in which case the glyph gets a made name.
bool claim(glyph_namer &namer, std::string_view name) {
  if (!namer.slots) {
    namer.slots = std::make_unique<uint32_t[]>(name_slots);
    namer.arena.reset(new char[name_arena]);
  }
  uint32_t hash = 2166136261u;
  for (const char c : name)
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  size_t free_slot = name_slots;
  for (size_t probe = 0, i = hash & (name_slots - 1); probe < max_probe;
       probe++, i = (i + 1) & (name_slots - 1)) {
    const uint32_t slot = namer.slots[i];
    if (slot == 0) {
      free_slot = i;
      break;
    }
    const char *stored = namer.arena.get() + slot;
    if (std::string_view(stored + 1, static_cast<unsigned char>(stored[0])) == name) return false;
  }
  if (free_slot == name_slots) return false;
  if (namer.names >= name_slots / 2 || namer.arena_used + name.size() + 2 > name_arena)
    return false;
  // Offset 0 marks an empty slot, so the arena's first byte is never used.
  if (namer.arena_used == 0) namer.arena_used = 1;
  char *to = namer.arena.get() + namer.arena_used;
  to[0] = static_cast<char>(name.size());
  std::memcpy(to + 1, name.data(), name.size());
  namer.slots[free_slot] = static_cast<uint32_t>(namer.arena_used);
  namer.arena_used += name.size() + 1;
  namer.names++;
  return true;
}

} // namespace

void namer_start(glyph_namer &namer, std::string_view bdf_name) {
  namer.glyphs++;
  // .notdef is the font's own glyph for a missing character, never a BDF glyph's.
  namer.valid = is_post_name(bdf_name) && !is_made_form(bdf_name) && bdf_name != ".notdef";
  // The name is kept even where it is not used, for the Unicode value it may give.
  namer.length = std::min(bdf_name.size(), max_postscript_name);
  std::memcpy(namer.name, bdf_name.data(), namer.length);
}

size_t namer_name(glyph_namer &namer, int32_t unicode, char *to) {
  const std::string_view name(namer.name, namer.length);
  if (namer.valid && claim(namer, name)) {
    std::memcpy(to, name.data(), name.size());
    return name.size();
  }
  if (unicode < 0)
    return static_cast<size_t>(
        std::snprintf(to, 64, "glyph%llu", static_cast<unsigned long long>(namer.glyphs - 1)));
  // Unicode values are given to one glyph each, so these names are unique.
  const bool bmp = unicode <= 0xFFFF;
  return static_cast<size_t>(std::snprintf(to, 64, bmp ? "uni%04X" : "u%X", unicode));
}
