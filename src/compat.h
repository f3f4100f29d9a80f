// Stand-ins for the BSD interfaces that other systems lack.
#pragma once

#include <string_view>

// Reads a base-10 integer in [minval, maxval] with the BSD strtonum contract:
// optional leading white space and sign, digits, nothing after them.  On any
// failure sets *errstr to a reason and returns 0; on success sets *errstr to
// nullptr.
long long bounded_number(std::string_view text, long long minval, long long maxval,
                         const char **errstr);

#ifndef HAVE_STRTONUM
// The BSD strtonum for a NUL-terminated text, for systems whose libc lacks it.
long long strtonum(const char *text, long long minval, long long maxval, const char **errstr);
#endif

#ifndef HAVE_PLEDGE
// Restricts the process to reading files and using what it already holds.
// Returns 0 on success or where the kernel offers no such sandbox, -1 with
// errno set on failure.
int pledge(const char *promises, const char *execpromises);
#endif
