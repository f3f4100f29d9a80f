#include "sfd/strike.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "bdf/bdf.h"
#include "io/compat.h"
#include "io/spool.h"

namespace {

// A value as a quoted string, its quotes doubled, as BDF and FontForge write them.
void write_quoted(output &out, std::string_view value) {
  output_write(out, "\"");
  for (size_t quote; (quote = value.find('"')) != std::string_view::npos;) {
    output_write(out, value.substr(0, quote + 1));
    output_write(out, "\"");
    value.remove_prefix(quote + 1);
  }
  output_write(out, value);
  output_write(out, "\"");
}

} // namespace


namespace {

// Writes n bytes in FontForge's ASCII85 form: whole groups of five
// characters, the last one padded with zero bytes, and 'z' for four zeros.
void write_ascii85(output &out, const uint8_t *bytes, size_t n) {
  for (size_t i = 0; i < n; i += 4) {
    uint32_t group = 0;
    for (size_t b = 0; b < 4; b++)
      group = group << 8 | (i + b < n ? bytes[i + b] : 0);
    if (group == 0) {
      output_write(out, "z");
      continue;
    }
    char digits[5];
    for (int d = 4; d >= 0; d--) {
      digits[d] = static_cast<char>('!' + group % 85);
      group /= 85;
    }
    output_write(out, std::string_view(digits, 5));
  }
}

} // namespace

bool strike_open(strike_state &strike, bool in_memory) {
  strike_close(strike);
  return spool_open(strike.spool, strike.spool_fd, strike.spool_text, in_memory);
}

void strike_close(strike_state &strike) {
  spool_close(strike.spool, strike.spool_fd);
  strike = strike_state{};
}

void strike_property(strike_state &strike, std::string_view name, std::string_view value,
                     bool header_line) {
  if (name.starts_with("BDF") || name.starts_with("EndBitmapFont") ||
      name.starts_with("BitmapFont")) {
    strike.left_out++;
    return;
  }
  output &out = strike.spool;
  output_write(out, name);
  if (header_line) {
    // FontForge keeps the header's own lines as atoms (1), not as properties.
    output_write(out, " 1 ");
    write_quoted(out, value);
    if (name == "SIZE") {
      // SIZE gives the point size and the resolutions; the strike keeps the vertical one.
      bdf_line words{value, {}, 0};
      next_token(words, " \t");
      next_token(words, " \t");
      const char *error = nullptr;
      const long long dpi = bounded_number(next_token(words, " \t"), 1, 10000, &error);
      if (error == nullptr) strike.resolution = static_cast<int32_t>(dpi);
    }
  } else {
    // A property (16) that is a string (0) or an integer (2).
    const char *error = nullptr;
    const long long number = bounded_number(value, INT32_MIN, INT32_MAX, &error);
    if (error == nullptr) {
      output_write(out, " 18 ");
      output_number(out, number);
      if (name == "RESOLUTION_Y" && strike.resolution == 0 && number > 0)
        strike.resolution = static_cast<int32_t>(number);
    } else {
      output_write(out, " 16 ");
      if (value.starts_with('"'))
        output_write(out, value);
      else
        write_quoted(out, value);
    }
  }
  output_write(out, "\n");
  strike.properties++;
}

void strike_metrics(strike_state &strike, int32_t pixel_size, int32_t ascent, int32_t descent) {
  strike.pixel_size = pixel_size;
  strike.ascent = ascent;
  strike.descent = descent;
  output_write(strike.spool, "BDFEndProperties\n");
  if (strike.resolution > 0) {
    output_write(strike.spool, "Resolution: ");
    output_number(strike.spool, strike.resolution);
    output_write(strike.spool, "\n");
  }
}

void strike_glyph(strike_state &strike, uint64_t index, int64_t slot, int32_t advance, int32_t x,
                  int32_t y, uint32_t width, uint32_t height) {
  strike.index = index;
  strike.slot = slot;
  strike.advance = advance;
  strike.x = x;
  strike.y = y;
  strike.width = width;
  strike.height = height;
  strike.rows = 0;
}

void strike_wide_row(strike_state &strike, const uint32_t *words) {
  if (strike.rows >= strike.height || strike.rows >= 128) return;
  const uint32_t bytes = (strike.width + 7) / 8;
  uint8_t *row = strike.bytes + strike.rows * bytes;
  for (uint32_t b = 0; b < bytes; b++)
    row[b] = static_cast<uint8_t>(words[b / 4] >> (24 - 8 * (b % 4)));
  strike.rows++;
}

void strike_glyph_end(strike_state &strike) {
  output &out = strike.spool;
  output_write(out, "BDFChar: ");
  output_number(out, static_cast<int64_t>(strike.index));
  output_write(out, " ");
  output_number(out, strike.slot);
  output_write(out, " ");
  output_number(out, strike.advance);
  // FontForge leaves a glyph with an empty bitmap out of the fonts it makes,
  // so a space would vanish from an OTB: it gets one blank pixel instead.
  const bool empty = strike.width == 0 || strike.height == 0;
  if (empty) {
    strike.x = strike.y = 0;
    strike.width = strike.height = 1;
    strike.rows = 0;
  }
  // Columns and rows from the lowest to the highest, both included.
  const int64_t bounds[4] = {strike.x, strike.x + static_cast<int64_t>(strike.width) - 1, strike.y,
                             strike.y + static_cast<int64_t>(strike.height) - 1};
  for (const int64_t bound : bounds) {
    output_write(out, " ");
    output_number(out, bound);
  }
  output_write(out, "\n");
  const size_t bytes = (strike.width + 7) / 8;
  // Rows the BDF left out are blank.
  std::memset(strike.bytes + strike.rows * bytes, 0, (strike.height - strike.rows) * bytes);
  write_ascii85(out, strike.bytes, strike.height * bytes);
  output_write(out, "\n");
  strike.glyphs++;
}

void strike_rest(strike_state &strike) {
  if (strike.spool_fd == -1) return;
  output_flush(strike.spool);
  const int error = strike.spool.error;
  output_close(strike.spool);
  strike.spool.error = error;
}

bool strike_resume(strike_state &strike) {
  if (strike.spool_fd == -1) return true;
  return output_open(strike.spool, strike.spool_fd, nullptr);
}

bool strike_write(strike_state &strike, output &out) {
  output_write(out, "BitmapFont: ");
  for (const int64_t value : {int64_t{strike.pixel_size}, static_cast<int64_t>(strike.glyphs),
                              int64_t{strike.ascent}, int64_t{strike.descent}}) {
    output_number(out, value);
    output_write(out, " ");
  }
  output_write(out, "1\nBDFStartProperties: ");
  output_number(out, strike.properties);
  output_write(out, "\n");
  if (!spool_copy(strike.spool, strike.spool_fd, strike.spool_text, out)) return false;
  output_write(out, "EndBitmapFont\n");
  return true;
}

void strike_take(strike_state &strike, const glyph_record &record) {
  const glyph_box &box = record.box;
  strike_glyph(strike, record.index, record.slot, record.advance, box.x, box.y, box.width,
               box.height);
  for (uint32_t r = 0; r < record.count; r++)
    strike_wide_row(strike, record.words[r]);
  strike_glyph_end(strike);
}

