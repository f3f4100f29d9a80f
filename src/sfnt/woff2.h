// Fonts for web pages (-T woff2): the font made as for -T otf, wrapped as
// WOFF 2.0 by the reference encoder, which is loaded only when asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "io/io.h"

// The reference encoder (libwoff2enc), loaded on demand so that no other
// mode maps it or the C++ runtime it brings.
struct woff2_encoder {
  void *library = nullptr;
  size_t (*max_size)(const uint8_t *data, size_t length) = nullptr;
  bool (*convert)(const uint8_t *data, size_t length, uint8_t *result,
                  size_t *result_length) = nullptr;
};

// Loads the encoder, once; returns nullptr, or the message of why it can't be.
const char *woff2_load(woff2_encoder &encoder);

// Unloads the encoder.
void woff2_unload(woff2_encoder &encoder);

// Writes the sfnt wrapped as WOFF 2.0 to out; returns nullptr, or the
// message of why it can't be made.
const char *woff2_wrap(const woff2_encoder &encoder, std::string_view sfnt, output &out);
