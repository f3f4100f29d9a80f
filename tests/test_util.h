// Helpers shared by the tests: in-process conversion and running the tool.
#pragma once

#include <gtest/gtest.h>
#include <ostream>

#include <string>
#include <string_view>
#include <vector>

#include "bdf/bdf.h"

// The fixed SFD texts: the outline preamble written at BITMAP, the end of a
// glyph record written at ENDCHAR, and the closing lines of the document.
inline const std::string sfd_preamble = "Width: 512\nFlags: HW\nLayerCount: 2\nFore\nSplineSet\n";
inline const std::string sfd_glyph_end = "EndSplineSet\nEndChar\n\n";
inline const std::string sfd_end = "EndChars\nEndSplineFont\n";

// The run report as a regular expression: glyphs (a pattern) processed,
// with of the input it names (a pattern, none where empty), in the seconds
// taken; its tail, the notes and the full stop, is the caller's.
inline std::string report_pattern(std::string_view glyphs = "[0-9]+", std::string_view of = "") {
  std::string pattern = "Processed " + std::string(glyphs) + " glyphs";
  if (!of.empty()) pattern += " of '" + std::string(of) + "'";
  return pattern + " in [0-9]+\\.[0-9]{6} seconds";
}

// Converts bdf in-process with the given options; *message receives the
// fatal message, or stays empty.  Returns the SFD text written, closing
// lines included on success.
std::string convert_text(std::string_view bdf, std::string *message = nullptr,
                         const conversion_options &options = {});

// Converts the fonts in-process as the sizes of one face (-s, and -m with
// merge), named "0.bdf", "1.bdf", ... in messages; *message receives the
// failure's text, or stays empty.  Returns the SFD text written.
std::string convert_sizes_text(const std::vector<std::string> &fonts, std::string *message,
                               bool merge = false);

// A well-formed BDF made of a loose snippet, as -b wants one: STARTFONT
// first, the property lines between STARTPROPERTIES and ENDPROPERTIES after
// the other lines before the first glyph, a CHARS line that counts the
// STARTCHAR lines unless the snippet has its own, and ENDFONT last.
std::string well_formed(std::string_view snippet);

// What a finished command printed and its exit status.
struct run_result {
  std::string out;
  std::string err;
  int status = -1;
};

// Runs a shell command line in a scratch folder with stdin_text as its
// standard input; "$Q" in the command is the tool, "$DATA" the test data.
run_result run_shell(const std::string &command, std::string_view stdin_text = {});

// Reads a whole file; fails the test if it can't.
std::string read_file(const std::string &path);

// Writes a whole file.
void write_file(const std::string &path, std::string_view text);

// A scratch folder that lives as long as the test binary.
const std::string &scratch_dir();

// A BDF font with the given cell, properties and glyph blocks.
std::string make_bdf(std::string_view bbox, std::string_view properties, std::string_view glyphs);

// One run of the tool: a shell command line with its standard input (also
// written to font.bdf), and what it must print and return.
struct cli_case {
  const char *name;
  std::string command;
  std::string input;
  std::string out; // exact standard output
  std::string err; // regular expression for standard error
  int status;
  bool wrapped = true; // false: the case needs the tool run directly, not under valgrind
  friend void PrintTo(const cli_case &c, std::ostream *os) { *os << c.name; }
};

// Tables of cli_case rows are instantiated against this fixture.
class command_line : public testing::TestWithParam<cli_case> {};
