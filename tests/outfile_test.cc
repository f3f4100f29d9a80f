// -o: the SFD file is the complete new one or what it was before, and no
// temporary file is left behind either way.

#include <gtest/gtest.h>
#include <string>

#include "io/io.h"
#include "test_util.h"

namespace {

const std::string report = report_pattern() + "\\.\n";
const std::string glyphs = "STARTFONT 2.1\nFONT f\nSIZE 16 75 75\nFONTBOUNDINGBOX 8 16 0 -2\n"
                           "CHARS 2\nSTARTCHAR a\nENCODING 97\nBBX 8 16 0 -2\nBITMAP\n80\n"
                           "ENDCHAR\nSTARTCHAR b\nENCODING 98\nBBX 8 16 0 -2\nBITMAP\n";
const std::string font = glyphs + "40\nENDCHAR\nENDFONT\n";
// Lists what a folder holds after the run, hidden files included.
const std::string then_list = "; echo $?; cat d/out.sfd; ls -A d";

INSTANTIATE_TEST_SUITE_P(
    output_file, command_line,
    testing::Values(
        cli_case{"holds_what_standard_output_gets",
                 "export SOURCE_DATE_EPOCH=0; rm -rf d; mkdir d; "
                 "\"$Q\" -b -m -o d/out.sfd font.bdf 2>/dev/null; "
                 "\"$Q\" -b -m font.bdf 2>/dev/null | cmp - d/out.sfd && ls -A d",
                 font, "out.sfd\n", "", 0},
        cli_case{"hyphen_is_standard_output",
                 "export SOURCE_DATE_EPOCH=0; \"$Q\" -o - font.bdf > a 2>/dev/null; "
                 "\"$Q\" font.bdf > b 2>/dev/null; cmp a b",
                 font, "", "", 0},
        cli_case{"malformed_line_keeps_the_old_file",
                 "rm -rf d; mkdir d; echo old > d/out.sfd; \"$Q\" -b -o d/out.sfd font.bdf" +
                     then_list,
                 glyphs + "XY\nENDCHAR\n", "1\nold\nout.sfd\n",
                 "quadsmith: Invalid bitmap row on line 16\\.\n", 0},
        cli_case{"read_error_keeps_the_old_file",
                 "rm -rf d; mkdir d; echo old > d/out.sfd; \"$Q\" -o d/out.sfd font.bdf" +
                     then_list,
                 glyphs + std::string(max_line + 1, '0'), "1\nold\nout.sfd\n",
                 "Can't read BDF file 'font.bdf': Line 16 is longer than 1048576 bytes\\.\n", 0},
        cli_case{"missing_input_creates_nothing",
                 "rm -rf d; mkdir d; \"$Q\" -o d/out.sfd missing.bdf; echo $?; ls -A d", "", "1\n",
                 "Can't open BDF file 'missing.bdf': No such file or directory\n", 0},
        cli_case{"directory_that_is_a_file", "\"$Q\" -o font.bdf/out.sfd font.bdf", font, "",
                 "Can't create SFD file 'font.bdf/out.sfd': Not a directory\n", 1},
        cli_case{"output_that_is_a_directory", "mkdir -p d; \"$Q\" -o d font.bdf", font, "",
                 "Can't create SFD file 'd': Is a directory\n", 1},
        // What stands at the output's name is kept for what it is: a link is
        // followed, a FIFO or device is written to, and the input is no output.
        cli_case{
            "symbolic_link_is_followed",
            "rm -rf d; mkdir d; echo old > d/real.sfd; ln -s real.sfd d/link.sfd; "
            "\"$Q\" -o d/link.sfd font.bdf 2>/dev/null; echo $?; test -L d/link.sfd && "
            "head -1 d/real.sfd; ln -s new.sfd d/dangling.sfd; "
            "\"$Q\" -o d/dangling.sfd font.bdf 2>/dev/null; head -1 d/new.sfd; ls -A d",
            font,
            "0\nSplineFontDB: 3.0\nSplineFontDB: 3.0\ndangling.sfd\nlink.sfd\nnew.sfd\nreal.sfd\n",
            "", 0},
        cli_case{"fifo_is_written_to",
                 "rm -rf d; mkdir d; mkfifo d/pipe; exec 3<>d/pipe; head -1 <&3 > d/got & "
                 "\"$Q\" -o d/pipe font.bdf 2>/dev/null; echo $?; wait; cat d/got; ls -A d",
                 font, "0\nSplineFontDB: 3.0\ngot\npipe\n", "", 0},
        // A device node of a scratch folder stands in for /dev/null, which a
        // fault must never replace; where no node can be made, the case says
        // what it would.
        cli_case{"device_is_written_to",
                 "rm -rf d; mkdir d; if mknod d/null c 1 3 2>/dev/null; then "
                 "\"$Q\" -o d/null font.bdf 2>/dev/null; echo $?; test -c d/null && echo device; "
                 "else echo 0; echo device; fi",
                 font, "0\ndevice\n", "", 0},
        cli_case{
            "input_is_no_output",
            "cp font.bdf copy.bdf; \"$Q\" -o copy.bdf copy.bdf; echo $?; cmp font.bdf copy.bdf",
            font, "1\n", "quadsmith: 'copy.bdf' is the input; it can't be the output too\\.\n", 0},
        // Nothing waits on itself or on nobody, and links that end nowhere
        // stay as they were.
        cli_case{"input_pipe_is_no_output",
                 "cat font.bdf | \"$Q\" -b -o /dev/stdin -; echo $?; "
                 "\"$Q\" -o /proc/self/fd/0 - < font.bdf; echo $?",
                 font, "1\n1\n",
                 "quadsmith: '/dev/stdin' is the input; it can't be the output too\\.\n"
                 "quadsmith: '/proc/self/fd/0' is the input; it can't be the output too\\.\n",
                 0},
        cli_case{"fifo_without_a_reader",
                 "rm -rf d; mkdir d; mkfifo d/pipe; \"$Q\" -o d/pipe font.bdf; echo $?; ls -A d",
                 font, "1\npipe\n",
                 "Can't create SFD file 'd/pipe': No process reads the FIFO\\.\n", 0},
        cli_case{"links_in_a_loop_stay",
                 "rm -rf d; mkdir d; ln -s a d/b; ln -s b d/a; ln -s s d/s; "
                 "for l in a s; do \"$Q\" -o d/$l font.bdf; echo $?; done; "
                 "readlink d/a d/b d/s; ls -A d",
                 font, "1\n1\nb\na\ns\na\nb\ns\n",
                 "Can't create SFD file 'd/a': Too many levels of symbolic links\n"
                 "Can't create SFD file 'd/s': Too many levels of symbolic links\n",
                 0},
        cli_case{"chain_into_a_missing_file_makes_it",
                 "rm -rf d; mkdir d; ln -s b d/a; ln -s c d/b; \"$Q\" -o d/a font.bdf "
                 "2>/dev/null; echo $?; readlink d/a d/b; head -1 d/c; ls -A d",
                 font, "0\nb\nc\nSplineFontDB: 3.0\na\nb\nc\n", "", 0},
        cli_case{"long_name_gets_a_temporary_name_that_fits",
                 "rm -rf d; mkdir d; n=$(printf '%0250d' 0).sfd; \"$Q\" -o d/$n font.bdf "
                 "2>/dev/null; echo $?; ls -A d | wc -c",
                 font, "0\n255\n", "", 0},
        // A signal that ends the tool removes the file it was writing.
        cli_case{"terminated_while_writing",
                 "rm -rf d; mkdir d; { cat font.bdf; yes 80 2>/dev/null; } | "
                 "\"$Q\" -o d/out.sfd - & sleep 1; kill $!; wait $!; echo $?; ls -A d",
                 "STARTFONT 2.1\nFONTBOUNDINGBOX 8 16 0 -2\nCHARS 1\nSTARTCHAR a\nBITMAP\n",
                 "143\n", "[\\s\\S]*", 0, false},
        cli_case{"other_ending_signals_while_writing",
                 "rm -rf d; mkdir d; for s in QUIT PIPE; do { cat font.bdf; yes 80 2>/dev/null; } "
                 "| timeout --preserve-status -s $s 1 \"$Q\" -o d/out.sfd -; echo $?; done; "
                 "{ cat font.bdf; yes 'STARTCHAR a\nENCODING 97\nBITMAP\nFF\nENDCHAR' | "
                 "head -n 100000; } | (ulimit -c 0; ulimit -f 64; \"$Q\" -o d/out.sfd -); "
                 "echo $?; ls -A d",
                 "STARTFONT 2.1\nFONTBOUNDINGBOX 8 16 0 -2\nCHARS 1\nSTARTCHAR a\nBITMAP\n",
                 "131\n141\n153\n", "[\\s\\S]*", 0, false}),
    [](const testing::TestParamInfo<cli_case> &info) { return info.param.name; });

// A full disk and a read-only directory, on a small file system of their own
// where the test may mount one.
TEST(output_file, full_disk_and_read_only_directory_keep_the_old_file) {
  const run_result mounted =
      run_shell("mkdir -p small && mount -t tmpfs -o size=64k tmpfs small 2>/dev/null");
  if (mounted.status != 0) GTEST_SKIP() << "no tmpfs can be mounted here";
  std::string big = "STARTFONT 2.1\nFONTBOUNDINGBOX 32 64 0 0\nCHARS 1\nSTARTCHAR full\nBITMAP\n";
  for (int r = 0; r < 64; r++)
    big += "FFFFFFFF\n";
  write_file(scratch_dir() + "/big.bdf", big + "ENDCHAR\nENDFONT\n");
  const run_result full = run_shell("echo old > small/out.sfd; \"$Q\" -o small/out.sfd big.bdf; "
                                    "echo $?; cat small/out.sfd; ls -A small");
  // The strike's spool on the full file system says so when it happens.
  std::string many = "STARTFONT 2.1\nFONT f\nSIZE 64 75 75\nFONTBOUNDINGBOX 32 64 0 0\nCHARS 999\n";
  for (int g = 0; g < 999; g++) {
    many += "STARTCHAR g\nENCODING " + std::to_string(g) + "\nBBX 32 64 0 0\nBITMAP\n";
    for (int r = 0; r < 64; r++)
      many += "12345678\n";
    many += "ENDCHAR\n";
  }
  write_file(scratch_dir() + "/many.bdf", many + "ENDFONT\n");
  const run_result spool = run_shell("rm -f small/out.sfd; TMPDIR=small \"$Q\" -s many.bdf "
                                     ">/dev/null; echo $?; ls -A small");
  const run_result read_only =
      run_shell("echo old > small/out.sfd; mount -o remount,ro small && \"$Q\" -o small/out.sfd "
                "big.bdf; echo $?; cat small/out.sfd; ls -A small");
  run_shell("umount small");
  EXPECT_EQ(full.out, "1\nold\nout.sfd\n");
  EXPECT_EQ(full.err, "Can't write SFD file 'small/out.sfd': No space left on device\n");
  EXPECT_EQ(spool.out, "1\n");
  EXPECT_EQ(spool.err,
            "quadsmith: Can't write or read the strike's spool: No space left on device.\n");
  EXPECT_EQ(read_only.out, "1\nold\nout.sfd\n");
  EXPECT_EQ(read_only.err, "Can't create SFD file 'small/out.sfd': Read-only file system\n");
}

} // namespace
