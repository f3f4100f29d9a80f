// The BDF's structure as the format defines it, checked line by line (-b):
// which keyword may stand where, how many values each takes, and what the
// values of the keywords no other module reads may hold.
#pragma once

#include <cstdint>
#include <string_view>

#include "bdf/bdf.h"

// Where in the file the reader is.
enum bdf_section {
  SECTION_START,      // before STARTFONT
  SECTION_HEADER,     // the global keywords, before CHARS
  SECTION_PROPERTIES, // between STARTPROPERTIES and ENDPROPERTIES
  SECTION_GLYPHS,     // after CHARS, between glyphs
  SECTION_GLYPH,      // after STARTCHAR, before BITMAP
  SECTION_BITMAP,     // the rows, up to ENDCHAR
  SECTION_END,        // after ENDFONT
};

// The most glyphs CHARS may announce: one for each Unicode code point.
constexpr long long max_chars = 0x110000;

// The structure read so far.
struct structure_state {
  bdf_section section = SECTION_START;
  long long chars = 0;   // what CHARS announced
  long long glyphs = 0;  // STARTCHAR lines so far
  uint64_t in_glyph = 0; // bits of the keywords a glyph has given, each allowed once
  uint64_t in_font = 0;  // bits of the keywords and properties the font has given once
  long long properties = 0, properties_given = 0; // STARTPROPERTIES' count, and the lines
  char message[96];                               // the last error's text
};

// Checks a line whose keyword is code and whose text is line (line end
// removed, keyword recognized, cursor behind it) against the section, and
// moves to the next section; value is the line's value, blanks around it
// removed.  Returns the error's message, else nullptr.
const char *structure_line(structure_state &state, keyword code, const bdf_line &line,
                           std::string_view value);

// Checks the end of input; returns the error's message, else nullptr.
const char *structure_end(const structure_state &state);

// True for a value that is one BDF string or number: a quoted string is
// closed and has nothing behind it.  Control characters are the line's concern.
bool is_bdf_value(std::string_view value);

// True if value holds between min and max integers, separated by blanks
// or tabs, each within the 32-bit range.
bool has_numbers(std::string_view value, int min, int max);
