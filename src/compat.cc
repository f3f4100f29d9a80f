#include "compat.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

long long bounded_number(std::string_view text, long long minval, long long maxval,
                         const char **errstr) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    i++;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  if (i == n || text[i] < '0' || text[i] > '9') {
    *errstr = "invalid";
    return 0;
  }
  // The magnitude saturates one past the largest long long so that both
  // overflow directions are seen without undefined behaviour.
  constexpr uint64_t limit = static_cast<uint64_t>(INT64_MAX) + 1;
  uint64_t magnitude = 0;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; i++) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
    if (magnitude > limit)
      magnitude = limit + 1;
  }
  if (i != n || minval > maxval) {
    *errstr = "invalid";
    return 0;
  }
  if (negative ? magnitude > limit : magnitude > limit - 1) {
    *errstr = negative ? "too small" : "too large";
    return 0;
  }
  const long long value = negative ? static_cast<long long>(0 - magnitude)
                                   : static_cast<long long>(magnitude);
  if (value < minval) {
    *errstr = "too small";
    return 0;
  }
  if (value > maxval) {
    *errstr = "too large";
    return 0;
  }
  *errstr = nullptr;
  return value;
}

#ifndef HAVE_STRTONUM
long long strtonum(const char *text, long long minval, long long maxval, const char **errstr) {
  return bounded_number(std::string_view(text, std::strlen(text)), minval, maxval, errstr);
}
#endif

#ifndef HAVE_PLEDGE
int pledge(const char *, const char *) { return 0; }
#endif
