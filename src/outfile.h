// An output file that is replaced whole or not at all: the SFD is written to
// a new temporary file beside it and renamed over it only once complete.
#pragma once

// The temporary file and the directory of one output file.
struct outfile {
  const char *path = nullptr; // the final name, as given
  int fd = -1;                // the temporary file, open for writing
  int dir_fd = -1;            // the directory both names are in
  bool committed = false;
};

// Creates the temporary file beside path and opens its directory; returns
// false with errno set, leaving nothing behind.  While the file is open, an
// exit or a SIGHUP, SIGINT or SIGTERM removes it.
bool outfile_open(outfile &file, const char *path);

// Makes what was written to file.fd reach the disk and renames it over the
// final name; returns false with errno set, the temporary file removed and
// the final name untouched.
bool outfile_commit(outfile &file);

// Removes the temporary file and closes what is open; the final name is
// left as it was.
void outfile_abort(outfile &file);
