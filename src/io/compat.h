// Stand-ins for the BSD interfaces that other systems lack.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

// Returns the index of the first byte c in the n bytes at p, or n.  Lines in
// BDF are short, and a plain loop over their first bytes beats a call to
// memchr; longer texts go to memchr.
inline size_t find_byte(const char *p, size_t n, char c) {
  const size_t head = n < 32 ? n : 32;
  for (size_t i = 0; i < head; i++)
    if (p[i] == c) return i;
  if (head == n) return n;
  const void *found = std::memchr(p + head, c, n - head);
  return found ? static_cast<size_t>(static_cast<const char *>(found) - p) : n;
}

// Skips the white space and the sign that strtol and its kin allow before the
// digits; returns where the digits start and sets *negative.
size_t skip_space_and_sign(std::string_view text, bool *negative);

// Reads a base-10 integer in [minval, maxval] with the BSD strtonum contract:
// optional leading white space and sign, digits, nothing after them.  On any
// failure sets *errstr to a reason and returns 0; on success sets *errstr to
// nullptr.
long long bounded_number(std::string_view text, long long minval, long long maxval,
                         const char **errstr);

// The name the program was started by, as err(3) prints it.
const char *program_name();

#ifndef HAVE_STRTONUM
// The BSD strtonum for a NUL-terminated text, for systems whose libc lacks it.
long long strtonum(const char *text, long long minval, long long maxval, const char **errstr);
#endif

// Starts the sandbox: reading files and using the descriptors already open,
// and with output_dir not -1 also creating, renaming and removing regular
// files in that directory (and below it, where the kernel can't tell).
// Returns 0 on success or where the system offers no sandbox, -1 with errno
// set on failure.
int sandbox(int output_dir);

#ifndef HAVE_PLEDGE
// Restricts the process to reading files and using what it already holds.
// Returns 0 on success or where the kernel offers no such sandbox, -1 with
// errno set on failure.
int pledge(const char *promises, const char *execpromises);
#endif

// The font's creation time in seconds since 1970: SOURCE_DATE_EPOCH where
// it is set to a number, else now.
long creation_time();
