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
