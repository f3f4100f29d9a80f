#include "sfd/header.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/time.h>

#include "test_util.h"

namespace {

// The header lines that name the font, and the optional ones, in order.
std::string name_lines(const std::string &sfd) {
  std::string lines;
  size_t at = 0;
  while (at < sfd.size()) {
    const size_t end = sfd.find('\n', at);
    const std::string line = sfd.substr(at, end - at);
    for (const char *label : {"FontName:", "FullName:", "FamilyName:", "Copyright:", "Version:"})
      if (line.rfind(label, 0) == 0) lines += line + "|";
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return lines;
}

struct names_case {
  const char *what;
  const char *options; // for run_shell
  std::string properties;
  std::string lines;
};

TEST(header, names_and_properties) {
  const names_case cases[] = {
      {"family only", "", "FAMILY_NAME \"Fix\"\n",
       "FontName: \"Fix\"|FullName: \"Fix\"|FamilyName: \"Fix\"|"},
      {"-f wins for full and family name", "-f Opt", "FAMILY_NAME Fam\n",
       "FontName: Fam|FullName: Opt|FamilyName: Opt|"},
      {"-p wins for the PostScript name", "-p Ps", "FAMILY_NAME Fam\n",
       "FontName: Ps|FullName: Fam|FamilyName: Fam|"},
      {"both options", "-f Opt -p Ps", "FAMILY_NAME Fam\n",
       "FontName: Ps|FullName: Opt|FamilyName: Opt|"},
      {"empty -f counts as set", "-f \"\"", "FAMILY_NAME Fam\n",
       "FontName: Fam|FullName: |FamilyName: |"},
      {"first family name wins", "", "FAMILY_NAME One\nFAMILY_NAME Two\n",
       "FontName: One|FullName: One|FamilyName: One|"},
      {"last copyright wins", "", "COPYRIGHT \"old\"\nCOPYRIGHT \"new\"\nFONT_VERSION 2\n",
       "FontName: Untitled|FullName: Untitled|FamilyName: Untitled|Copyright: \"new\"|"
       "Version: 2|"},
      {"-f without family name", "-f Foo", "", "FontName: Foo|FullName: Foo|FamilyName: Foo|"},
      {"-p without family name", "-p Bar", "", "FontName: Bar|FullName: Bar|FamilyName: Bar|"},
      {"no names at all", "", "COPYRIGHT\n",
       "FontName: Untitled|FullName: Untitled|FamilyName: Untitled|"},
      {"properties after CHARS", "", "CHARS 0\nFAMILY_NAME Late\nCOPYRIGHT late\n",
       "FontName: Untitled|FullName: Untitled|FamilyName: Untitled|"},
  };
  for (const names_case &c : cases) {
    const run_result r =
        run_shell(std::string("\"$Q\" ") + c.options + " -", c.properties + "CHARS 0\n");
    EXPECT_EQ(r.status, 0) << c.what;
    const std::string header = r.out.substr(0, r.out.find("BeginChars"));
    EXPECT_EQ(name_lines(header), c.lines) << c.what;
  }
}

TEST(header, chars_lines) {
  struct chars_case {
    std::string bdf;
    size_t headers;
    std::string begin_chars;
  } cases[] = {
      {"CHARS 3\n", 1, "BeginChars: 65536 3\n"},
      {"CHARS 3\r\n", 1, "BeginChars: 65536 3\r\n"},
      {"CHARS 1\nCHARS 2\n", 2, "BeginChars: 65536 1\n"},
      {"CHARS\n", 0, ""},
      {"STARTCHAR a\n", 0, ""},
  };
  for (const chars_case &c : cases) {
    const std::string sfd = convert_text(c.bdf);
    size_t headers = 0;
    for (size_t at = sfd.find("SplineFontDB: 3.0\n"); at != std::string::npos;
         at = sfd.find("SplineFontDB: 3.0\n", at + 1))
      headers++;
    EXPECT_EQ(headers, c.headers) << c.bdf;
    if (headers > 0) {
      const size_t at = sfd.find("BeginChars:");
      EXPECT_EQ(sfd.substr(at, c.begin_chars.size()), c.begin_chars);
    }
  }
}

TEST(header, creation_time_honours_source_date_epoch) {
  struct epoch_case {
    const char *value; // null: unset
    const char *fixed; // null: the current time
  } cases[] = {
      {"0", "0"},
      {"1700000000", "1700000000"},
      {"9223372036854775807", "9223372036854775807"},
      {"9223372036854775808", nullptr},
      {"-1", nullptr},
      {"letters", nullptr},
      {"", nullptr},
      {"12 ", nullptr},
      {nullptr, nullptr},
  };
  for (const epoch_case &c : cases) {
    if (c.value)
      setenv("SOURCE_DATE_EPOCH", c.value, 1);
    else
      unsetenv("SOURCE_DATE_EPOCH");
    const long before = static_cast<long>(time(nullptr));
    const std::string sfd = convert_text("CHARS 1\n");
    // time() reads a coarse clock that can lag behind gettimeofday, which
    // the header uses, across a second's boundary.
    struct timeval now;
    gettimeofday(&now, nullptr);
    const long after = static_cast<long>(now.tv_sec);
    const size_t at = sfd.find("CreationTime: ") + 14;
    const std::string shown = sfd.substr(at, sfd.find('\n', at) - at);
    if (c.fixed) {
      EXPECT_EQ(shown, c.fixed);
    } else {
      const long seconds = std::stol(shown);
      EXPECT_TRUE(seconds >= before && seconds <= after) << (c.value ? c.value : "unset");
    }
  }
  unsetenv("SOURCE_DATE_EPOCH");
}

} // namespace
