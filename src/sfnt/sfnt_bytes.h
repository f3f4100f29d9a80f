// The big-endian bytes of sfnt tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

inline void put16(std::string &to, uint32_t value) {
  to += static_cast<char>(value >> 8 & 0xFF);
  to += static_cast<char>(value & 0xFF);
}

inline void put32(std::string &to, uint32_t value) {
  put16(to, value >> 16);
  put16(to, value & 0xFFFF);
}

inline void put64(std::string &to, uint64_t value) {
  put32(to, static_cast<uint32_t>(value >> 32));
  put32(to, static_cast<uint32_t>(value));
}

inline void pad4(std::string &to) {
  while (to.size() % 4 != 0)
    to += '\0';
}

// The sum of a table as big-endian 32-bit words, padded with zeros.
inline uint32_t checksum(const char *data, size_t length) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    uint32_t word;
    std::memcpy(&word, data + i, 4);
    sum += __builtin_bswap32(word);
  }
  uint32_t word = 0;
  for (size_t j = 0; j < 4; j++)
    word = word << 8 | (i + j < length ? static_cast<unsigned char>(data[i + j]) : 0u);
  return length % 4 != 0 ? sum + word : sum;
}
