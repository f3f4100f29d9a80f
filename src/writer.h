// The writer a run under -b hands its records to, chosen once when the
// options are read: the SFD text, written as the lines are read, or a font
// made directly (-T), written whole at the end.  The reader fills the
// records and writes nothing itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bdf/identity.h"
#include "io/io.h"

struct conversion_state;
struct strike_state;

struct font_writer {
  // Whether a single operand's font is closed as soon as it is read, before
  // its report; else the font is written after every operand's report.
  bool streams;
  // The font's identity is known (at CHARS): its header, its strike's line.
  void (*header)(conversion_state &state, output &out, const identity_record &font);
  // A header line (FONT, SIZE, FONTBOUNDINGBOX) or property the strikes keep.
  void (*property)(conversion_state &state, std::string_view name, std::string_view value,
                   bool header_line);
  // A glyph's record is opened: its name, Unicode value and index are known.
  void (*record)(conversion_state &state, output &out);
  // Its bitmap opens: its box and advance are known.
  void (*bitmap)(conversion_state &state, output &out);
  // A row of a glyph up to 32 columns wide is read, pixel c at bit 31 - c.
  void (*row)(conversion_state &state, output &out, uint32_t row);
  // The glyph ends, drawn where a bitmap was read; returns the message of
  // one the font can't hold.
  const char *(*glyph)(conversion_state &state, output &out, bool drawn);
  // A line that writes is next: what merged outlines hold goes first.
  void (*flush)(conversion_state &state, output &out);
  // Writes the end of the font with the count strikes of later sizes;
  // returns the message of a failure.
  const char *(*finish)(conversion_state &state, output &out, strike_state *later,
                        size_t count);
};

// The SFD, as FontForge reads it.
extern const font_writer sfd_writer;

// A TrueType, OpenType or OTB font made directly.
extern const font_writer sfnt_writer;
