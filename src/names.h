// Names written into the SFD in a form FontForge reads back unchanged.
#pragma once

#include <string_view>

#include "io.h"

// Writes a glyph name with every byte FontForge's reader would stop at,
// swallow or lose written as '_' and two uppercase hexadecimal digits:
// controls, blank, DEL, '"', '%', '<', '[', ']', '{', '}', '\\' and bytes of
// 0x80 or more outside well-formed UTF-8.
void write_glyph_name(output &out, std::string_view name);

// The length of the well-formed UTF-8 sequence at the start of text, or 0.
size_t utf8_sequence_length(std::string_view text);

// The longest PostScript name written.
constexpr size_t max_postscript_name = 63;

// Writes the PostScript name made of a font name into to, which has room for
// max_postscript_name bytes: printable ASCII but blanks and []() {}<>/%,
// the first 63 of them.  Returns its length.
size_t postscript_name(std::string_view name, char *to);
