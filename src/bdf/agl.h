// Unicode values from glyph names: uniXXXX, uXXXX to uXXXXXX and the names
// of the Adobe Glyph List, for fonts whose charset no table knows.
#pragma once

#include <cstdint>
#include <string_view>

// The Unicode value a glyph name stands for, or -1 if it stands for none.
int32_t agl_unicode(std::string_view name);
