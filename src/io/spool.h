// Spools: what may be large goes to an unnamed temporary file, or in-process
// to a string, and is read back or copied out at the end.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "io/io.h"

// An unnamed temporary file in $TMPDIR or /tmp that goes away with the
// process (where the file system can't make one, a named one removed at
// once); -1 with errno set if it can't be made.
int spool_file();

// Opens a spool: an unnamed file (its descriptor in fd) when in_memory is
// false, else the string text.  Returns false with errno set if it can't be
// made.
bool spool_open(output &spool, int &fd, std::string &text, bool in_memory);

// Releases a spool's buffer and its file.
void spool_close(output &spool, int fd);

// Writes out what a spool buffers and, for a file, goes back to its start
// to read it; returns false with errno set if either fails.
bool spool_rewind(output &spool, int fd);

// Copies what a spool holds, its file fd or with fd -1 its string text, to
// out; returns false with errno set if the file can't be read back.
bool spool_copy(output &spool, int fd, std::string &text, output &out);

// Reads a spool back from its start, a piece at a time: its file fd, or
// with fd -1 its string text.
struct spool_reader {
  int fd = -1;
  const std::string *text = nullptr;
  size_t at = 0; // in the string, when in memory
  std::array<char, 64 * 1024> buffer;
  size_t have = 0, used = 0;
};

// Reads the next n bytes of the spool into to; returns false with errno
// set if they can't be read (EIO where the spool ends before them).
bool spool_read(spool_reader &reader, void *to, size_t n);
