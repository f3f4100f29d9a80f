#include "names.h"

#include <array>
#include <cstdint>

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

void write_glyph_name(output &out, std::string_view name) {
  static constexpr char hex[] = "0123456789ABCDEF";
  size_t plain_from = 0;
  size_t i = 0;
  while (i < name.size()) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (plain_bytes[c]) {
      i++;
      continue;
    }
    if (c >= 0x80) {
      if (const size_t n = utf8_sequence_length(name.substr(i))) {
        i += n;
        continue;
      }
    }
    output_write(out, name.substr(plain_from, i - plain_from));
    const char escaped[3] = {'_', hex[c >> 4], hex[c & 15]};
    output_write(out, std::string_view(escaped, 3));
    plain_from = ++i;
  }
  output_write(out, name.substr(plain_from));
}

size_t postscript_name(std::string_view name, char *to) {
  size_t n = 0;
  for (const char c : name) {
    if (n == max_postscript_name) break;
    if (c > 0x20 && c < 0x7F && std::string_view("[](){}<>/%").find(c) == std::string_view::npos)
      to[n++] = c;
  }
  return n;
}
