// Runs whole conversions in-process on arbitrary bytes, fatal conditions
// included: through the descriptor reader and the driver's run, from memfds,
// with the SFD text and the messages going to /dev/null.  The first byte
// picks the options, so every mode is fuzzed, -T ttf and otb included; with -s and
// its bit 8 the rest is split after each ENDFONT line into operands, sizes
// of one face, so the run of several sizes is fuzzed too.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

#include "convert.h"

namespace {

constexpr int max_operands = 8;
int sink = -1;
FILE *messages = nullptr;
int inputs[max_operands];
// One state, reader and output for every input, so that their buffers are
// allocated once.
conversion_state *state = nullptr;
line_reader reader;
output out;
strike_state later[max_operands - 1];

bool fill(int fd, std::string_view text) {
  return ftruncate(fd, 0) == 0 &&
         pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()) &&
         lseek(fd, 0, SEEK_SET) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  sink = open("/dev/null", O_WRONLY);
  messages = fopen("/dev/null", "w");
  for (int &fd : inputs)
    fd = memfd_create("quadsmith-fuzz", 0);
  state = new conversion_state;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  state->options.merge = (data[0] & 1) != 0;
  state->options.strike = (data[0] & 4) != 0;
  // Bit 16 makes a TrueType font instead, with bit 32 an OTB, with bit 64
  // an OpenType one.
  state->options.format = (data[0] & 16) == 0   ? FORMAT_SFD
                          : (data[0] & 32) != 0 ? FORMAT_OTB
                          : (data[0] & 64) != 0 ? FORMAT_OTF
                                                : FORMAT_TTF;
  state->options.strike = state->options.strike || state->options.format == FORMAT_OTB;
  state->options.bdf = (data[0] & 22) != 0;
  const bool several = state->options.strike && (data[0] & 8) != 0;
  reset_state(*state);
  std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
  int count = 0;
  while (count < max_operands && (count == 0 || !rest.empty())) {
    size_t end = several && count + 1 < max_operands ? rest.find("ENDFONT\n") : rest.npos;
    end = end == rest.npos ? rest.size() : end + 8;
    if (!fill(inputs[count++], rest.substr(0, end))) return 0;
    rest.remove_prefix(end);
  }
  for (int i = 1; i < count; i++)
    if (!strike_open(later[i - 1], true)) return 0;
  if (!output_open(out, sink, nullptr)) return 0;
  const char *names[max_operands] = {"a", "b", "c", "d", "e", "f", "g", "h"};
  convert_sizes(*state, reader, inputs, names, later, count, out, messages);
  for (int i = 1; i < count; i++)
    strike_close(later[i - 1]);
  return 0;
}
