// Hostile and broken input, and hostile surroundings: nothing may crash,
// hang or be reported as a success when it failed.

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>

#include "io/io.h"
#include "test_util.h"

namespace {

using namespace std::string_literals;

const std::string report = report_pattern() + "\\.\n";
const std::string bbox_error = "quadsmith: Invalid value for FONTBOUNDINGBOX\\.\n";
const std::string ascent_error = "quadsmith: Invalid value for FONT_ASCENT\\.\n";
const std::string descent_error = "quadsmith: Invalid value for FONT_DESCENT\\.\n";
const std::string thirty = "123456789012345678901234567890";

// Bytes of every value in a fixed pseudo-random order, with no line feed
// before a keyword could form.
std::string garbage() {
  std::string bytes;
  uint32_t state = 12345;
  for (int i = 0; i < 100000; i++) {
    state = state * 1103515245u + 12345u;
    bytes += static_cast<char>(state >> 23);
  }
  return bytes;
}

// A glyph of 64 full rows in a 32 by 64 cell: about 270 KB of SFD.
std::string full_glyph() {
  std::string bdf = "FONTBOUNDINGBOX 32 64 0 0\nSTARTCHAR full\nENCODING 1\nBITMAP\n";
  for (int r = 0; r < 64; r++)
    bdf += "FFFFFFFF\n";
  return bdf + "ENDCHAR\n";
}

INSTANTIATE_TEST_SUITE_P(
    hostile, command_line,
    testing::Values(
        cli_case{"binary_garbage", "\"$Q\" font.bdf", garbage(), sfd_end, report, 0},
        cli_case{"nul_bytes", "\"$Q\" font.bdf",
                 "\0\0\0\nSTARTCHAR a\0b\nENCODING\0 1\nBITMAP\0\n\0FF\nENDCHAR\0\n"s,
                 "StartChar: a" + sfd_preamble + sfd_glyph_end + sfd_end, report, 0},
        cli_case{"carriage_returns_stop_at_the_ascent", "\"$Q\" font.bdf",
                 "STARTFONT 2.1\r\nFONTBOUNDINGBOX 8 16 0 -2\r\nFONT_ASCENT 14\r\nCHARS 1\r\n", "",
                 ascent_error, 1},
        cli_case{"line_of_100_mb_without_line_feed",
                 "head -c 100000000 /dev/zero | tr \"\\0\" A | \"$Q\" -", "", "",
                 "Can't read BDF file: Line 1 is longer than 1048576 bytes\\.\n", 1},
        cli_case{"cut_off_inside_a_glyph", "\"$Q\" font.bdf",
                 "FONTBOUNDINGBOX 8 16 0 0\nSTARTCHAR a\nENCODING 97\nBITMAP\n00\n8",
                 "StartChar: a\nEncoding: 97 97 97\n" + sfd_preamble +
                     "256.000000 -64.000000 m 1\n 256.000000 -128.000000 l 1\n"
                     " 320.000000 -128.000000 l 1\n 320.000000 -64.000000 l 1\n"
                     " 256.000000 -64.000000 l 1\n" +
                     sfd_end,
                 report, 0},
        cli_case{"width_33", "\"$Q\" font.bdf", "FONTBOUNDINGBOX 33 16 0 0\n", "", bbox_error, 1},
        cli_case{"height_65", "\"$Q\" font.bdf", "FONTBOUNDINGBOX 8 65 0 0\n", "", bbox_error, 1},
        cli_case{"negative_width", "\"$Q\" font.bdf", "FONTBOUNDINGBOX -8 16 0 0\n", "", bbox_error,
                 1},
        cli_case{"ascent_65", "\"$Q\" font.bdf", "FONT_ASCENT 65\n", "", ascent_error, 1},
        cli_case{"descent_negative", "\"$Q\" font.bdf", "FONT_DESCENT -1\n", "", descent_error, 1},
        cli_case{"width_of_30_digits", "\"$Q\" font.bdf", "FONTBOUNDINGBOX " + thirty + " 16 0 0\n",
                 "", bbox_error, 1},
        cli_case{"ascent_of_30_digits", "\"$Q\" font.bdf", "FONT_ASCENT " + thirty + "\n", "",
                 ascent_error, 1},
        cli_case{"descent_of_30_digits", "\"$Q\" font.bdf", "FONT_DESCENT -" + thirty + "\n", "",
                 descent_error, 1},
        cli_case{"encoding_of_30_digits", "\"$Q\" font.bdf", "ENCODING " + thirty + "\n",
                 "\nEncoding: " + thirty + " " + thirty + " " + thirty + "\n" + sfd_end, report, 0},
        cli_case{"row_of_30_digits", "\"$Q\" font.bdf",
                 "FONTBOUNDINGBOX 1 1 0 0\nBITMAP\n" + thirty + "\n",
                 sfd_preamble +
                     "0.000000 0.000000 m 1\n 0.000000 -1024.000000 l 1\n"
                     " 512.000000 -1024.000000 l 1\n 512.000000 0.000000 l 1\n"
                     " 0.000000 0.000000 l 1\n" +
                     sfd_end,
                 report, 0},
        cli_case{"output_closed", "\"$Q\" font.bdf >&-", full_glyph(), "",
                 "Can't write SFD output: Bad file descriptor\n", 1, false},
        cli_case{"output_full", "\"$Q\" font.bdf > /dev/full", full_glyph(), "",
                 "Can't write SFD output: No space left on device\n", 1},
        cli_case{"write_error_stops_before_a_later_fatal", "\"$Q\" font.bdf > /dev/full",
                 full_glyph() + "FONT_ASCENT 99\n", "",
                 "Can't write SFD output: No space left on device\n", 1},
        // The pipe's reader leaving ends the tool by SIGPIPE, without a word;
        // where SIGPIPE is ignored, the failed write is reported.
        cli_case{"pipe_closed_early",
                 "(\"$Q\" font.bdf; echo \"status $?\" >&2) | head -c 100 > /dev/null",
                 full_glyph(), "", "status 141\n|Can't write SFD output: Broken pipe\nstatus 1\n",
                 0},
        cli_case{"directory", "\"$Q\" .", "", "", "Can't read BDF file: Is a directory\n", 1},
        cli_case{"missing_file", "\"$Q\" missing.bdf", "", "",
                 "Can't open BDF file: No such file or directory\n", 1},
        cli_case{"endless_input_of_zero_bytes", "\"$Q\" /dev/zero", "", "",
                 "Can't read BDF file: Line 1 is longer than 1048576 bytes\\.\n", 1},
        cli_case{"long_line_after_glyphs_keeps_their_output", "\"$Q\" -",
                 "STARTCHAR a\nSTARTCHAR b\n" + std::string(max_line + 1, 'C'),
                 "StartChar: aStartChar: b",
                 "Can't read BDF file: Line 3 is longer than 1048576 bytes\\.\n", 1},
        cli_case{"line_of_exactly_the_limit", "\"$Q\" -",
                 "STARTCHAR " + std::string(max_line - 11, 'n') + "\n",
                 "StartChar: " + std::string(77, 'n') + ".0" + sfd_end, report, 0},
        cli_case{"line_feed_in_font_name", "\"$Q\" -f \"$(printf 'X\\nEndSplineFont')\" font.bdf",
                 "CHARS 0\n", "", "quadsmith: Invalid value for -f\\.\n", 1},
        cli_case{"carriage_return_in_postscript_name", "\"$Q\" -p \"$(printf 'X\\r')\" font.bdf",
                 "CHARS 0\n", "", "quadsmith: Invalid value for -p\\.\n", 1},
        cli_case{"version_to_full_output", "\"$Q\" -v > /dev/full", "", "",
                 "Can't write standard output: No space left on device\n", 1},
        cli_case{"usage_to_closed_output", "\"$Q\" -h >&-", "", "",
                 "Can't write standard output: Bad file descriptor\n", 1, false},
        cli_case{"usage_without_operand_to_full_output", "\"$Q\" > /dev/full", "", "",
                 "Can't write standard output: No space left on device\n", 1},
        // With SIGPIPE ignored the first failed write ends the run, even
        // though the input never ends.
        cli_case{"write_error_stops_an_endless_input",
                 "trap '' PIPE; { printf 'FONTBOUNDINGBOX 32 64 0 0\\nBITMAP\\n'; "
                 "yes FFFFFFFF 2>/dev/null; } | timeout 20 \"$Q\" - | head -c 10 >/dev/null",
                 "", "", "Can't write SFD output: Broken pipe\n", 0},
        // A reader that comes late makes a non-blocking output say EAGAIN;
        // the tool waits and every byte arrives.
        cli_case{"non_blocking_output",
                 "/usr/bin/python3 -c 'import fcntl, os, sys; "
                 "fcntl.fcntl(1, fcntl.F_SETFL, fcntl.fcntl(1, fcntl.F_GETFL) | os.O_NONBLOCK); "
                 "os.execv(sys.argv[1], sys.argv[1:])' \"$Q\" font.bdf | (sleep 1; wc -c)",
                 full_glyph(), "281471\n", report, 0},
        // Some container runtimes forbid the Landlock calls with EPERM; the
        // tool then runs without the sandbox.  LeakSanitizer can't work
        // under strace, so a sanitizer build leaves leaks to the other cases.
        cli_case{"sandbox_forbidden_by_seccomp",
                 "ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null -e "
                 "inject=landlock_create_ruleset:error=EPERM \"$Q\" "
                 "font.bdf",
                 "STARTCHAR a\n", "StartChar: a" + sfd_end, report, 0, false},
        cli_case{"unreadable_stdin", "\"$Q\" - <&-", "", "",
                 "Can't read BDF file: Bad file descriptor\n|Can't stat BDF file: Bad file "
                 "descriptor\n",
                 1}),
    [](const testing::TestParamInfo<cli_case> &info) { return info.param.name; });

// Why the tool's memory can't be measured in this build, or nullptr:
// valgrind and the sanitizer have memory of their own.
const char *memory_not_measured() {
  if (std::getenv("QUADSMITH_TEST_WRAPPER") != nullptr) return "valgrind's own memory";
#if defined(__SANITIZE_ADDRESS__)
  return "the sanitizer's own memory";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return "the sanitizer's own memory";
#endif
#endif
  return nullptr;
}

// Peak memory stays bounded whatever the input: no line can grow the buffer
// past its limit, and a long property value is held once.
TEST(hostile, memory_stays_bounded) {
  if (const char *why = memory_not_measured()) GTEST_SKIP() << why;
  // The worst known: the three properties held whole, of almost 1 MiB each,
  // behind a comment of 1 MiB, and the same three given again and again, a
  // little longer each time.
  const auto property = [](const char *name, size_t size) {
    return std::string(name) + " \"" + std::string(size - std::strlen(name) - 4, 'x') + "\"\n";
  };
  std::string worst = "STARTFONT 2.1\nCOMMENT " + std::string(max_line - 10, 'c') +
                      "\nFONTBOUNDINGBOX 8 16 0 -2\nSTARTPROPERTIES 3\n";
  std::string growing = "STARTFONT 2.1\nFONTBOUNDINGBOX 8 16 0 -2\nSTARTPROPERTIES 60\n";
  for (const char *name : {"NOTICE", "COPYRIGHT", "FONT_VERSION"}) {
    worst += property(name, max_line - 1);
    for (size_t part = 1; part <= 20; part++)
      growing += property(name, part * max_line / 20);
  }
  const std::string inputs[] = {
      "FAMILY_NAME " + std::string(max_line - 13, 'f') + "\nCHARS 1\n",
      "STARTCHAR " + std::string(max_line - 11, 'n') + "\nCOPYRIGHT c\nCOMMENT " +
          std::string(max_line - 9, 'x') + "\n",
      "COPYRIGHT " + std::string(100000000, 'c') + "\n",
      worst + "ENDPROPERTIES\nCHARS 0\nENDFONT\n",
      growing + "ENDPROPERTIES\nCHARS 0\nENDFONT\n",
  };
  // GNU time measures the tool alone; the test's own forks are far larger.
  const auto peak_kib = [](const std::string &operand) {
    return std::stol(run_shell("/usr/bin/time -f %M -o rss \"$Q\" " + operand +
                               " > /dev/null 2>&1; tail -n 1 rss")
                         .out);
  };
  constexpr long bound = 7 * 1024 + 512;
  EXPECT_LT(peak_kib("/dev/zero"), bound);
  for (const std::string &input : inputs) {
    write_file(scratch_dir() + "/font.bdf", input);
    for (const char *operand : {"font.bdf", "- < font.bdf", "-b font.bdf", "-b -m - < font.bdf"})
      EXPECT_LT(peak_kib(operand), bound) << operand << " " << input.substr(0, 20);
  }
  // A later size holds no more than the first: the three properties behind
  // a first size of glyphs in every plane, which adds 256 KiB a plane.
  const std::string face = "STARTFONT 2.1\nFONT -a-b-medium-r-normal--";
  std::string planes = face + "16-160-75-75-c-80-iso10646-1\nSIZE 16 75 75\n"
                              "FONTBOUNDINGBOX 8 16 0 -2\nCHARS 17\n";
  for (int plane = 0; plane < 17; plane++) {
    planes += "STARTCHAR p" + std::to_string(plane) + "\nENCODING " +
              std::to_string(plane * 65536 + 65) + "\nBBX 8 16 0 -2\nBITMAP\n";
    for (int row = 0; row < 16; row++)
      planes += "FF\n";
    planes += "ENDCHAR\n";
  }
  write_file(scratch_dir() + "/first.bdf", planes + "ENDFONT\n");
  write_file(scratch_dir() + "/late.bdf",
             worst.replace(0, 14, face + "8-80-75-75-c-80-iso10646-1\nSIZE 8 75 75\n") +
                 "ENDPROPERTIES\nCHARS 0\nENDFONT\n");
  for (const char *options : {"-s first.bdf late.bdf", "-s -m first.bdf late.bdf"})
    EXPECT_LT(peak_kib(options), bound + 17 * 256) << options;
}

} // namespace

namespace {

// A failed allocation anywhere in a run is a message and status 1, with
// nothing left in the output's folder: at a low limit of address space
// every mode either converts or says so, and at some limit each says so.
TEST(hostile, out_of_memory_is_said_and_leaves_nothing) {
  if (const char *why = memory_not_measured()) GTEST_SKIP() << why;
  std::string glyphs;
  for (int g = 0; g < 30000; g++) {
    glyphs += "STARTCHAR g" + std::to_string(g) + "\nENCODING " + std::to_string(g + 0x3000) +
              "\nDWIDTH 16 0\nBBX 16 16 0 -2\nBITMAP\n";
    for (int row = 0; row < 16; row++) {
      char text[8];
      std::snprintf(text, sizeof text, "%04X\n", (g * 2654435761u >> row) & 0xFFFF);
      glyphs += text;
    }
    glyphs += "ENDCHAR\n";
  }
  write_file(scratch_dir() + "/big.bdf",
             well_formed("FONT -misc-t-medium-r-normal--16-160-75-75-c-160-iso10646-1\n"
                         "FONTBOUNDINGBOX 16 16 0 -2\nFONT_ASCENT 14\nFONT_DESCENT 2\n" +
                         glyphs));
  for (const char *mode : {"-T otb", "-T ttf", "-T otf", "-T ttf -s", "-s -m"}) {
    bool said = false;
    for (const char *limit : {"6000", "9000", "12000"}) {
      const run_result r =
          run_shell(std::string("rm -rf o; mkdir o; (ulimit -v ") + limit + "; exec \"$Q\" " +
                    mode + " -o o/f big.bdf); echo $?; ls -A o");
      if (r.out == "0\nf\n") continue;
      EXPECT_EQ(r.out, "1\n") << mode << " under " << limit << " KiB: " << r.err;
      EXPECT_EQ(r.err, "quadsmith: Memory allocation error.\n") << mode << " under " << limit;
      said = true;
    }
    EXPECT_TRUE(said) << mode;
  }
}

} // namespace
