#include "bdf/agl.h"

#include <algorithm>
#include <iterator>

namespace {

struct agl_entry {
  std::string_view name;
  uint32_t unicode;
};

constexpr agl_entry agl_names[] = {
#include "bdf/agl_names.inc"
};

// The value of a text of uppercase hexadecimal digits, or -1.
int64_t upper_hex(std::string_view digits) {
  int64_t value = 0;
  for (const char c : digits) {
    if (c >= '0' && c <= '9')
      value = value * 16 + (c - '0');
    else if (c >= 'A' && c <= 'F')
      value = value * 16 + (c - 'A' + 10);
    else
      return -1;
  }
  return value;
}

bool is_character(int64_t value) {
  return value >= 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

} // namespace

int32_t agl_unicode(std::string_view name) {
  int64_t value = -1;
  if (name.size() == 7 && name.starts_with("uni"))
    value = upper_hex(name.substr(3));
  else if (name.size() >= 5 && name.size() <= 7 && name[0] == 'u')
    value = upper_hex(name.substr(1));
  if (is_character(value)) return static_cast<int32_t>(value);
  const auto found = std::lower_bound(
      std::begin(agl_names), std::end(agl_names), name,
      [](const agl_entry &entry, std::string_view key) { return entry.name < key; });
  return found != std::end(agl_names) && found->name == name ? static_cast<int32_t>(found->unicode)
                                                             : -1;
}
