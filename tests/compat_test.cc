#include "compat.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct number_case {
  std::string text;
  long long min, max;
  bool ok;
  long long value;
};

TEST(bounded_number, follows_strtonum_contract) {
  const number_case cases[] = {
      {"0", 0, 64, true, 0},
      {"64", 0, 64, true, 64},
      {"65", 0, 64, false, 0},
      {"-1", 0, 64, false, 0},
      {"-0", 0, 64, true, 0},
      {"+7", 0, 64, true, 7},
      {" \t\n\v\f\r12", 0, 64, true, 12},
      {"14 ", 0, 64, false, 0},
      {"14\n", 0, 64, false, 0},
      {"14\r", 0, 64, false, 0},
      {"", 0, 64, false, 0},
      {"-", 0, 64, false, 0},
      {"+ 1", 0, 64, false, 0},
      {"0x10", 0, 64, false, 0},
      {"1a", 0, 64, false, 0},
      {"000000000000000000000000000008", 0, 64, true, 8},
      {"123456789012345678901234567890", 0, 64, false, 0},
      {"9223372036854775807", 0, 9223372036854775807LL, true, 9223372036854775807LL},
      {"9223372036854775808", 0, 9223372036854775807LL, false, 0},
      {"-9223372036854775808", INT64_MIN, 0, true, INT64_MIN},
      {"-9223372036854775809", INT64_MIN, 0, false, 0},
      {"5", 9, 1, false, 0},
  };
  for (const number_case &c : cases) {
    const char *error = "untouched";
    const long long value = bounded_number(c.text, c.min, c.max, &error);
    EXPECT_EQ(error == nullptr, c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
#ifndef HAVE_STRTONUM
    EXPECT_EQ(strtonum(c.text.c_str(), c.min, c.max, &error), c.value);
#endif
  }
}

} // namespace
