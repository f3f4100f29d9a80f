// Runs whole conversions in-process on arbitrary bytes, fatal conditions
// included: through the descriptor reader and the driver's run, from a memfd,
// with the SFD text and the messages going to /dev/null.  The first byte
// picks the options, so every mode is fuzzed.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "main.h"

namespace {

int sink = -1;
FILE *messages = nullptr;
int input = -1;
// One state, reader and output for every input, so that their buffers are
// allocated once.
conversion_state *state = nullptr;
line_reader reader;
output out;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  sink = open("/dev/null", O_WRONLY);
  messages = fopen("/dev/null", "w");
  input = memfd_create("quadsmith-fuzz", 0);
  state = new conversion_state;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  state->options.merge = (data[0] & 1) != 0;
  state->options.strike = (data[0] & 4) != 0;
  state->options.bdf = (data[0] & 6) != 0;
  reset_state(*state);
  data++, size--;
  if (ftruncate(input, 0) != 0 || pwrite(input, data, size, 0) != static_cast<ssize_t>(size) ||
      lseek(input, 0, SEEK_SET) != 0)
    return 0;
  if (!reader_open_fd(reader, input) || !output_open(out, sink, nullptr)) return 0;
  const char *message = nullptr;
  run_conversion(*state, reader, out, messages, &message);
  return 0;
}
