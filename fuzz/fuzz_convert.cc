// Runs a whole conversion in-process on arbitrary bytes, fatal conditions
// included, with the SFD text going to /dev/null.

#include <cstddef>
#include <cstdint>
#include <fcntl.h>

#include "main.h"

namespace {
int sink = -1;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  sink = open("/dev/null", O_WRONLY);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  conversion_state state;
  line_reader reader;
  output out;
  reader_open_memory(reader, reinterpret_cast<const char *>(data), size);
  if (!output_open(out, sink, nullptr)) return 0;
  convert(state, reader, out);
  output_flush(out);
  output_close(out);
  reader_close(reader);
  release_state(state);
  return 0;
}
