#include "sfnt/cff_bytes.h"

#include <cstdio>

#include "sfnt/sfnt_bytes.h"

void put_number(std::string &to, int32_t v) {
  char bytes[5];
  to.append(bytes, static_cast<size_t>(put_short_number(bytes, v) - bytes));
}

size_t number_size(int32_t v) {
  return v >= -107 && v <= 107 ? 1 : v >= -1131 && v <= 1131 ? 2 : 3;
}

void put_offset(std::string &to, uint32_t v) {
  to += '\x1d';
  put32(to, v);
}

void put_real(std::string &to, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  std::string nibbles;
  for (const char *c = text; *c != '\0'; c++) {
    if (*c >= '0' && *c <= '9')
      nibbles += static_cast<char>(*c - '0');
    else if (*c == '.')
      nibbles += '\x0a';
    else if (*c == '-')
      nibbles += '\x0e';
    else if (*c == 'e' && c[1] == '-')
      nibbles += '\x0c', c++;
    else if (*c == 'e')
      nibbles += '\x0b', c += c[1] == '+';
  }
  nibbles += '\x0f';
  if (nibbles.size() % 2 != 0) nibbles += '\x0f';
  to += '\x1e';
  for (size_t i = 0; i < nibbles.size(); i += 2)
    to += static_cast<char>(nibbles[i] << 4 | nibbles[i + 1]);
}


void put_index_head(std::string &to, const std::vector<uint32_t> &ends) {
  put16(to, static_cast<uint32_t>(ends.size()));
  if (ends.empty()) return;
  const uint32_t last = ends.back() + 1;
  const int size = last <= 0xFF ? 1 : last <= 0xFFFF ? 2 : last <= 0xFFFFFF ? 3 : 4;
  to += static_cast<char>(size);
  auto put = [&](uint32_t offset) {
    for (int i = size - 1; i >= 0; i--)
      to += static_cast<char>(offset >> (8 * i) & 0xFF);
  };
  put(1);
  for (const uint32_t end : ends)
    put(end + 1);
}

void put_index(std::string &to, const std::vector<std::string_view> &items) {
  std::vector<uint32_t> ends;
  uint32_t end = 0;
  for (const std::string_view item : items)
    ends.push_back(end += static_cast<uint32_t>(item.size()));
  put_index_head(to, ends);
  for (const std::string_view item : items)
    to += item;
}
