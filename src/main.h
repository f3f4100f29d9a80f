// The driver: command line, line loop, closing lines, report and exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "glyph.h"
#include "header.h"
#include "identity.h"
#include "io.h"
#include "strike.h"
#include "structure.h"

// Everything one conversion run changes.
struct conversion_state {
  conversion_options options;
  font_info info;
  glyph_state glyph;
  structure_state structure; // -b
  font_identity identity;    // -b
  strike_state strike;       // -s
  size_set sizes;            // -s with several operands
  name_ownership owned;
  unsigned long line = 0;       // the line being read
  unsigned long error_line = 0; // the line an error is about where it is not the one read
  char message[160];            // a conversion error's message with its line number
  char limit[160];              // a conversion error's message that states a limit
  bool copyright_cut = false, version_cut = false; // said on standard error at the end
  // The files named in read and write messages, or null where the default
  // mode's messages stand without a name.
  const char *input_name = nullptr;
  const char *output_name = nullptr;
};

// Handles one input line as read, line feed included; returns the fatal
// message of a conversion error, else nullptr.
const char *convert_line(conversion_state &state, output &out, std::string_view raw);

// Converts every line of reader and writes the closing lines; returns the
// fatal message of a conversion error, else nullptr.  A read error ends the
// loop early and is left in reader.error.
const char *convert(conversion_state &state, line_reader &reader, output &out);

// Converts every line of reader, as convert does, but writes no closing lines.
const char *convert_operand(conversion_state &state, line_reader &reader, output &out);

// Writes the closing lines of the font with its strike and the count
// strikes of later sizes; returns the message of a spool that can't be read.
const char *finish_font(conversion_state &state, output &out, strike_state *later, size_t count);

// Makes the run collect a strike (-s) in a spool, a temporary file or with
// in_memory a string; returns false with errno set if it can't be made.
bool start_strike(conversion_state &state, bool in_memory);

// Releases what the run owns.
void release_state(conversion_state &state);

// Makes state ready for another run with the same options, keeping the
// buffers it has already allocated.
void reset_state(conversion_state &state);

// Converts what reader reads to out, reports a read or write error or the
// run report on errors, and returns the exit status; a conversion error
// instead sets *fatal_message, after flushing the output.  Without finish
// it writes no closing lines, for an operand of several.
int run_conversion(conversion_state &state, line_reader &reader, output &out, FILE *errors,
                   const char **fatal_message, bool finish = true);

// Makes the state ready for the next operand, a later size of the face
// whose strike is strike: what the first one named and wrote stays.
void next_size(conversion_state &state, strike_state &strike);

// Converts count operands read from fds, the sizes of one face named names
// in messages, into one font on out: the first gives the records, each later
// one its strike, into later[i - 1], opened and put to rest with
// strike_rest.  One operand is converted as run_conversion does.  Returns
// the exit status, or sets *fatal_message on a conversion error.
int convert_sizes(conversion_state &state, line_reader &reader, const int *fds,
                  const char *const *names, strike_state *later, int count, output &out,
                  FILE *errors, const char **fatal_message);

// Writes "name: message" to standard error and exits with status 1.
[[noreturn]] void fatal(const char *message);

// Runs the tool as the command line asks; returns the exit status.
int quadsmith_main(int argc, char **argv);
