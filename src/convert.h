// The driver of a conversion: the state of a run, one line, one operand,
// the sizes of a face read together and the closing lines of the font.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "bdf/glyph.h"
#include "sfd/sfd_glyph.h"
#include "sfd/header.h"
#include "bdf/identity.h"
#include "io/io.h"
#include "sfnt/sfnt.h"
#include "sfnt/woff2.h"
#include "sfd/strike.h"
#include "bdf/structure.h"
#include "writer.h"

// Why a run failed, made in one place and said once by the caller.
struct conversion_error {
  bool failed = false;
  // A fatal message is said behind the program's name; a read or write
  // error's text, line end included, stands as it is.
  bool fatal = false;
  char text[4400]; // room for a path and a message about it
};

// The line an error is about when it names its files and no line.
constexpr unsigned long no_line = ULONG_MAX;

// Everything one conversion run changes.
struct conversion_state {
  conversion_options options;
  const font_writer *writer = nullptr; // -b: chosen once from the options
  font_info info;
  glyph_state glyph;
  sfd_glyph_state sfd; // the SFD text of the glyphs
  structure_state structure; // -b
  font_identity identity;    // -b
  strike_state strike;       // -s
  sfnt_state sfnt;           // -T
  woff2_encoder woff2;       // -T woff2
  identity_record header;    // -T: the names and metrics the font's tables take
  size_set sizes;            // -s with several operands
  name_ownership owned;
  unsigned long line = 0;       // the line being read
  unsigned long error_line = 0; // the line an error is about where it is not the one read
  unsigned long advance_line = 0; // -b: the open glyph's DWIDTH line, if it has one
  char limit[160];              // a conversion error's message that states a limit
  conversion_error error;
  bool copyright_cut = false, version_cut = false; // said on standard error at the end
  bool family_cut = false;                         // and so is a family cut from the FONT name
  // A later size whose advance and line are not the first's scaled: its
  // own and the first's scaled to it, said on standard error at the end.
  bool out_of_proportion = false;
  size_metrics scaled, own;
  // The files named in read and write messages, or null where the default
  // mode's messages stand without a name.
  const char *input_name = nullptr;
  const char *output_name = nullptr;
};

// Chooses the run's writer, once a run, by its options.
void choose_writer(conversion_state &state);

// True while the run reads its first operand, the one whose header and
// records are written.
bool is_first_size(const conversion_state &state);

// Fills the run's error with a conversion error's message, said once by
// the caller; under -b it names the line it is about (no_line: none) and
// with several operands its file.  Returns the error's text.
const char *fail(conversion_state &state, const char *message, unsigned long line);

// Fills the run's error with a failed write or read of a spool, with its
// reason; returns the error's text.
const char *spool_error(conversion_state &state, int error);

// Handles one input line as read, line feed included; returns the message
// of a conversion error, else nullptr.
const char *convert_line(conversion_state &state, output &out, std::string_view raw);

// Converts every line of reader and writes the closing lines; returns the
// fatal message of a conversion error (state.error.text), else nullptr.  A
// read error ends the loop early and is left in reader.error.
const char *convert(conversion_state &state, line_reader &reader, output &out);

// Converts every line of reader, as convert does, but writes no closing lines.
const char *convert_operand(conversion_state &state, line_reader &reader, output &out);

// Makes the run collect the font's glyphs (-T) in a spool, a temporary
// file or with in_memory a string; returns false with errno set if it
// can't be made.
bool start_font(conversion_state &state, bool in_memory);

// Makes the run collect a strike (-s) in a spool, a temporary file or with
// in_memory a string; returns false with errno set if it can't be made.
bool start_strike(conversion_state &state, bool in_memory);

// Releases what the run owns.
void release_state(conversion_state &state);

// Makes state ready for another run with the same options, keeping the
// buffers it has already allocated.
void reset_state(conversion_state &state);

// Converts count operands read from fds, the sizes of one face named names
// in messages, into one font on out: the first gives the records, each later
// one its strike, into later[i - 1], opened and put to rest with
// strike_rest.  Each operand's report goes to errors.  Returns the exit
// status; a failure is in state.error.
int convert_sizes(conversion_state &state, line_reader &reader, const int *fds,
                  const char *const *names, strike_state *later, int count, output &out,
                  FILE *errors);
