// An output file that is replaced whole or not at all: the SFD is written to
// a new temporary file beside it and renamed over it only once complete.
#pragma once

#include <climits>

// The temporary file and the directory of one output file.
struct outfile {
  char target[PATH_MAX] = {}; // the final name: the path, or the file a symbolic link names
  int fd = -1;                // the temporary file, open for writing
  int dir_fd = -1;            // the directory both names are in
  bool direct = false;        // a FIFO or device, written to as it is
  bool committed = false;
};

// Creates the temporary file beside path, or beside the file the symbolic
// links at path end at, and opens its directory; a FIFO or a device is
// opened to be written to directly.  Returns false with errno set, leaving
// nothing behind: ELOOP for links in a loop, ENXIO for a FIFO nobody reads.
// While the temporary file is open, an exit or a signal that would end the
// process (SIGHUP, SIGINT, SIGTERM, SIGPIPE, SIGQUIT, SIGXFSZ) removes it.
bool outfile_open(outfile &file, const char *path);

// Makes what was written to file.fd reach the disk and renames it over the
// final name; returns false with errno set, the temporary file removed and
// the final name untouched.
bool outfile_commit(outfile &file);

// Removes the temporary file and closes what is open; the final name is
// left as it was.
void outfile_abort(outfile &file);
