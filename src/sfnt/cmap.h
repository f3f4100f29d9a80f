// The cmap table: a format 4 subtable of the BMP and, where that can't hold
// every code, a format 12 subtable of every code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The cmap table of the entries (Unicode value << 32 | glyph index), which
// it sorts and of which it keeps each value's first glyph.
std::string cmap_table(std::vector<uint64_t> &cmap);
