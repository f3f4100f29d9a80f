#include "font/sfd_text.h"

#include <cstdint>

#include "font/names.h"

namespace {

bool is_utf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = utf8_sequence_length(text.substr(i));
    if (n == 0) return false;
    i += n;
  }
  return true;
}

} // namespace

size_t sfd_utf8_length(std::string_view text) {
  if (is_utf8(text)) return text.size();
  size_t n = text.size();
  for (const char c : text)
    n += static_cast<unsigned char>(c) >= 0x80;
  return n;
}

std::string sfd_utf8(std::string_view text, size_t limit) {
  // The whole value is judged, so that a cut never turns UTF-8 into Latin-1.
  if (is_utf8(text)) return std::string(sfd_cut(text, limit));
  std::string utf8;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (utf8.size() + (byte < 0x80 ? 1 : 2) > limit) break;
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | byte >> 6);
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

bool sfd_text_fits(sfd_text_kind kind, std::string_view text) {
  if (text.find_first_of("\r\n") != std::string_view::npos) return false;
  switch (kind) {
  case SFD_LINE: return !text.ends_with('\\');
  case SFD_ESCAPED: return true;
  case SFD_LANG_NAME:
    // FontForge's UTF-7 reader takes no surrogate pairs: no four-byte sequence.
    for (const char c : text)
      if (static_cast<unsigned char>(c) >= 0xF0) return false;
    return true;
  }
  return false;
}

namespace {

// The characters UTF-7 writes as they are; everything else is encoded.
bool is_direct(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view(" '(),-./:?").find(c) != std::string_view::npos;
}

// Writes one UTF-16 unit of UTF-7: '+', its 16 bits in three base64
// digits, '-'.
void write_utf7_unit(output &out, uint32_t unit) {
  static constexpr char digits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const char text[5] = {'+', digits[unit >> 10 & 63], digits[unit >> 4 & 63],
                        digits[(unit & 15) << 2], '-'};
  output_write(out, std::string_view(text, 5));
}

} // namespace

void sfd_write_text(output &out, sfd_text_kind kind, std::string_view text) {
  switch (kind) {
  case SFD_LINE: output_write(out, text); return;
  case SFD_ESCAPED:
    for (size_t slash; (slash = text.find('\\')) != std::string_view::npos;) {
      output_write(out, text.substr(0, slash + 1));
      output_write(out, "\\");
      text.remove_prefix(slash + 1);
    }
    output_write(out, text);
    return;
  case SFD_LANG_NAME:
    output_write(out, "\"");
    for (size_t i = 0; i < text.size();) {
      const auto lead = static_cast<unsigned char>(text[i]);
      if (lead < 0x80 && is_direct(text[i])) {
        output_write(out, text.substr(i, 1));
        i++;
        continue;
      }
      if (lead == '+') {
        output_write(out, "+-");
        i++;
        continue;
      }
      // A character of the Basic Multilingual Plane, one to three bytes.
      const size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
      uint32_t code = n == 1 ? lead : lead & (n == 2 ? 0x1F : 0x0F);
      for (size_t k = 1; k < n && i + k < text.size(); k++)
        code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
      write_utf7_unit(out, code);
      i += n;
    }
    output_write(out, "\"");
    return;
  }
}

std::string_view sfd_cut(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  // A continuation byte is no boundary.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    end--;
  return text.substr(0, end);
}
