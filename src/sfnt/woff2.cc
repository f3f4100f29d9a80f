#include "sfnt/woff2.h"

#include <cstdio>
#include <dlfcn.h>
#include <memory>
#include <new>
#include <type_traits>

namespace {

// The encoder's two functions by their C++ names, whose arguments are plain
// pointers and lengths: no object of the C++ runtime crosses between the
// tool's own runtime and the library's.  The encoder's own parameters are
// its defaults: Brotli at quality 11, the glyf and loca transform allowed.
constexpr const char *max_size_symbol = "_ZN5woff222MaxWOFF2CompressedSizeEPKhm";
constexpr const char *convert_symbol = "_ZN5woff217ConvertTTFToWOFF2EPKhmPhPm";

#ifdef __GLIBC__
// Debian's encoder says on standard error how far it compressed the font;
// the tool's standard error is for its own report, so while the encoder
// runs its standard error is a stream that drops what it is given.
ssize_t drop(void *, const char *, size_t size) {
  return static_cast<ssize_t>(size);
}

struct quiet_stderr {
  FILE *saved = stderr;
  FILE *quiet = fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, drop, nullptr, nullptr});
  quiet_stderr() {
    if (quiet != nullptr) stderr = quiet;
  }
  ~quiet_stderr() {
    if (quiet == nullptr) return;
    stderr = saved;
    std::fclose(quiet);
  }
};
#else
struct quiet_stderr {};
#endif

} // namespace

#if __has_include(<woff2/encode.h>)
// Where the encoder's header is at hand, the compiler checks that the
// functions have the types taken here.
#include <woff2/encode.h>
static_assert(std::is_same_v<decltype(woff2_encoder::max_size),
                             decltype(static_cast<size_t (*)(const uint8_t *, size_t)>(
                                 &woff2::MaxWOFF2CompressedSize))>);
static_assert(std::is_same_v<decltype(woff2_encoder::convert),
                             decltype(static_cast<bool (*)(const uint8_t *, size_t, uint8_t *,
                                                           size_t *)>(&woff2::ConvertTTFToWOFF2))>);
#endif

const char *woff2_load(woff2_encoder &encoder) {
  if (encoder.convert != nullptr) return nullptr;
  // Debian's library is named by its whole version; others by its major.
  for (const char *name : {"libwoff2enc.so.1.0.2", "libwoff2enc.so.1", "libwoff2enc.so"})
    if ((encoder.library = dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
  if (encoder.library == nullptr)
    return "-T woff2 needs the WOFF 2.0 encoder, libwoff2enc (Debian's libwoff1), which can't be "
           "loaded.";
  encoder.max_size =
      reinterpret_cast<decltype(encoder.max_size)>(dlsym(encoder.library, max_size_symbol));
  encoder.convert =
      reinterpret_cast<decltype(encoder.convert)>(dlsym(encoder.library, convert_symbol));
  if (encoder.max_size == nullptr || encoder.convert == nullptr) {
    woff2_unload(encoder);
    return "-T woff2 needs the WOFF 2.0 encoder, libwoff2enc, whose functions are not in it.";
  }
  return nullptr;
}

void woff2_unload(woff2_encoder &encoder) {
  if (encoder.library != nullptr) dlclose(encoder.library);
  encoder = woff2_encoder{};
}

const char *woff2_wrap(const woff2_encoder &encoder, std::string_view sfnt, output &out) {
  const auto *data = reinterpret_cast<const uint8_t *>(sfnt.data());
  size_t length = encoder.max_size(data, sfnt.size());
  const std::unique_ptr<uint8_t[]> result(new (std::nothrow) uint8_t[length]);
  if (!result) return "Memory allocation error.";
  bool made;
  {
    const quiet_stderr quiet;
    made = encoder.convert(data, sfnt.size(), result.get(), &length);
  }
  if (!made) return "The WOFF 2.0 encoder refused the font.";
  output_write(out, std::string_view(reinterpret_cast<const char *>(result.get()), length));
  return nullptr;
}
