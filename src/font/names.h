// Names written into the SFD in a form FontForge reads back unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "io/io.h"

// Writes a glyph name with every byte FontForge's reader would stop at,
// swallow or lose written as '_' and two uppercase hexadecimal digits:
// controls, blank, DEL, '"', '%', '<', '[', ']', '{', '}', '\\' and bytes of
// 0x80 or more outside well-formed UTF-8.
void write_glyph_name(output &out, std::string_view name);

// The longest glyph name FontForge reads back whole.
constexpr size_t max_sfd_glyph_name = 98;

// The bytes of the longest start of name that write_glyph_name writes in
// at most room bytes.
size_t glyph_name_fitting(std::string_view name, size_t room);

// The length of the well-formed UTF-8 sequence at the start of text, or 0.
size_t utf8_sequence_length(std::string_view text);

// The longest PostScript name written.
constexpr size_t max_postscript_name = 63;

// Writes the PostScript name made of a font name into to, which has room for
// max_postscript_name bytes: printable ASCII but blanks and []() {}<>/%,
// the first 63 of them.  Returns its length.
size_t postscript_name(std::string_view name, char *to);

// The names a font's glyphs get under -b, which a TrueType post table and a
// CFF charset accept: the BDF's own where it is such a name (letters,
// digits, '.' and '_', not starting with a digit, at most 63) and no earlier
// glyph has it, else uniXXXX or uXXXXX of the glyph's Unicode value, else
// glyphN of its number.  The BDF names that look like these made ones are
// made anew, so no two glyphs share a name.
struct glyph_namer {
  char name[max_postscript_name]; // the BDF name of the open glyph, its first 63 bytes
  size_t length = 0;
  bool valid = false;
  uint64_t glyphs = 0; // glyphs started so far
  // The BDF names given out, in an open-addressing table of offsets into an
  // arena, each name stored behind its length.
  std::unique_ptr<uint32_t[]> slots;
  std::unique_ptr<char[]> arena;
  size_t arena_used = 0;
  size_t names = 0;
};

// Takes the BDF name of a glyph that starts.
void namer_start(glyph_namer &namer, std::string_view bdf_name);

// Makes the name of the open glyph, whose Unicode value is unicode (-1 for
// none), into to, which has room for 64 bytes; returns its length.
size_t namer_name(glyph_namer &namer, int32_t unicode, char *to);
