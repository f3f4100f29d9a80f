// Text from the BDF and the command line written into the SFD header so
// that FontForge reads back what was meant: as UTF-8, escaped as FontForge
// escapes each kind of field, or refused where FontForge has no escape.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "io/io.h"

// How FontForge's SFD reader takes a field.
enum sfd_text_kind {
  SFD_LINE,      // the rest of the line, a backslash before the line end joining the next
  SFD_ESCAPED,   // the rest of the line with \\ for a backslash: Copyright
  SFD_LANG_NAME, // a quoted LangName string, read as UTF-7
};

// The most bytes of copyright text written: the name table holds every
// record of the font in 64 KiB, and the copyright goes in twice, once as
// UTF-16.
constexpr size_t max_copyright = 8192;

// The text as UTF-8: well-formed UTF-8 as it stands, anything else read as
// ISO 8859-1; cut at a character boundary to at most limit bytes.
std::string sfd_utf8(std::string_view text, size_t limit = SIZE_MAX);

// The length of sfd_utf8(text), made without a copy.
size_t sfd_utf8_length(std::string_view text);

// True if FontForge reads UTF-8 text back unchanged from a field of kind: no
// line end in any, no backslash at the end of a plain line, no character
// past U+FFFF in a LangName string.
bool sfd_text_fits(sfd_text_kind kind, std::string_view text);

// Writes UTF-8 text, which sfd_text_fits accepts, as a field of kind; a
// LangName string gets its quotes.
void sfd_write_text(output &out, sfd_text_kind kind, std::string_view text);

// The longest start of UTF-8 text of at most limit bytes that ends at a
// character boundary.
std::string_view sfd_cut(std::string_view text, size_t limit);
