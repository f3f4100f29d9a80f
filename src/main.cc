#include "main.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <err.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bdf/bdf.h"
#include "font/sfd_text.h"
#include "io/compat.h"
#include "io/outfile.h"

#ifndef QUADSMITH_VERSION
#define QUADSMITH_VERSION "0.0.0"
#endif

namespace {

constexpr const char *usage_text =
    "quadsmith [-bhmsv] [-f name] [-o file] [-p name] [-T format] font.bdf ...\n"
    "\n"
    "The options are as follows:\n"
    "\n"
    "\t-f name\tSpecify font name.\n"
    "\t-o file\tWrite the SFD to file.\n"
    "\t-p name\tSpecify PostScript font name.\n"
    "\t-b\tKeep the glyph geometry and text of the BDF.\n"
    "\t-m\tMerge the pixels of each shape into one outline.\n"
    "\t-s\tAdd the bitmaps as a strike, one for each size given (implies -b).\n"
    "\t-T format\tWrite a ttf, otf, otb or woff2 font instead of the SFD (implies -b).\n"
    "\t-h\tDisplay usage.\n"
    "\t-v\tDisplay version.\n";

// glibc's getopt permutes the arguments unless told not to with a leading plus.
#ifdef __GLIBC__
constexpr const char *option_string = "+f:o:p:T:bhmsv";
#else
constexpr const char *option_string = "f:o:p:T:bhmsv";
#endif

// Writes a text that ends the run, such as the usage text, and makes sure it
// arrived: a closed or full standard output is a failure, not a success.
int print_and_exit_status(const char *text) {
  if (std::fputs(text, stdout) == EOF || std::fflush(stdout) == EOF) {
    std::perror("Can't write standard output");
    return 1;
  }
  return 0;
}

// A name from the command line goes into the SFD header as it stands, so a
// line end in it would write lines of its own.
bool is_single_line(const char *text) {
  return text == nullptr || std::strpbrk(text, "\r\n") == nullptr;
}

// Starts a message about a file, "what 'name': ", or "what: " where no
// name is given.
void file_message(FILE *to, const char *what, const char *name) {
  if (name == nullptr)
    std::fprintf(to, "%s: ", what);
  else
    std::fprintf(to, "%s '%s': ", what, name);
}

// Reports a failed call on a file as perror would, naming the file where
// one is given.
void file_error(const char *what, const char *name) {
  const int error = errno;
  file_message(stderr, what, name);
  std::fprintf(stderr, "%s\n", std::strerror(error));
}

// The most operands, sizes of one face, one run reads.
constexpr int max_operands = 64;

// Opens an operand, path ("-": standard input) named named in messages,
// into *input, and makes sure it is not the output file; says why where it
// can't and returns false.
bool open_input(const char *path, const char *named, const char *output_path, FILE **input) {
  *input = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "r");
  if (*input == nullptr) {
    file_error("Can't open BDF file", named);
    return false;
  }
  struct stat input_status;
  if (fstat(fileno(*input), &input_status) == -1) {
    const int saved = errno;
    std::fclose(*input);
    errno = saved;
    file_error("Can't stat BDF file", named);
    return false;
  }
  // Replacing the input with its own conversion would lose the font, and
  // writing into the pipe it is read from would wait for an end that
  // can't come: the same file by any name, /dev/stdin and
  // /proc/self/fd/N among them.  A terminal or device is read and written
  // as two streams.
  struct stat output_status;
  if (output_path != nullptr && stat(output_path, &output_status) == 0 &&
      !S_ISCHR(output_status.st_mode) && !S_ISBLK(output_status.st_mode) &&
      output_status.st_dev == input_status.st_dev && output_status.st_ino == input_status.st_ino) {
    std::fprintf(stderr, "%s: '%s' is the input; it can't be the output too.\n", program_name(),
                 output_path);
    return false;
  }
  return true;
}

// Reads the options into state and *output_path and holds the names to
// what the fonts can carry; returns -1 to go on, else the exit status of a
// run that ends here (usage, version).
int read_options(int argc, char **argv, conversion_state &state, const char **output_path) {
  int option;
  while ((option = getopt(argc, argv, option_string)) != -1) {
    switch (option) {
    case 'f': state.info.name = optarg; break;
    case 'p': state.info.psname = optarg; break;
    case 'o': *output_path = optarg; break;
    case 'm': state.options.merge = true; break;
    case 'b': state.options.bdf = true; break;
    case 's': state.options.bdf = state.options.strike = true; break;
    case 'T':
      if (std::strcmp(optarg, "ttf") == 0)
        state.options.format = FORMAT_TTF;
      else if (std::strcmp(optarg, "otf") == 0)
        state.options.format = FORMAT_OTF;
      else if (std::strcmp(optarg, "otb") == 0)
        state.options.format = FORMAT_OTB;
      else if (std::strcmp(optarg, "woff2") == 0)
        state.options.format = FORMAT_OTF;
      else
        fatal("Invalid value for -T: ttf, otf, otb and woff2 are the formats made.");
      state.options.woff2 = std::strcmp(optarg, "woff2") == 0;
      // An OTB is its strikes.
      state.options.strike = state.options.strike || state.options.format == FORMAT_OTB;
      state.options.bdf = true;
      break;
    case 'h': return print_and_exit_status(usage_text);
    case 'v': return print_and_exit_status("quadsmith " QUADSMITH_VERSION "\n");
    default: break;
    }
  }
  // A browser draws a web font's outlines and never its strikes.
  if (state.options.woff2 && state.options.strike)
    fatal("-s makes strikes, which a WOFF2 does not carry: use -T otb or -T otf -s.");
  if (*output_path != nullptr && std::strcmp(*output_path, "-") == 0) *output_path = nullptr;
  if (optind >= argc) return print_and_exit_status(usage_text);
  // The option parser stops at the first font file, so an option behind it
  // would be taken for a file, or ignored with the operands past the first.
  if (state.options.bdf)
    for (int i = optind + 1; i < argc; i++)
      if (argv[i][0] == '-' && argv[i][1] != '\0' &&
          std::strchr(option_string, argv[i][1]) != nullptr && argv[i][1] != ':' &&
          argv[i][1] != '+')
        fatal("options go before the font files");
  // FontForge reads a header line of the SFD whole only below about 2,000
  // bytes; a longer name would come back cut.
  if (!is_single_line(state.info.name.data()) || state.info.name.size() > max_family_name)
    fatal("Invalid value for -f.");
  // FontForge would join the line after a name that ends in a backslash.
  if (state.options.bdf && state.info.name.ends_with('\\')) fatal("Invalid value for -f.");
  if (!is_single_line(state.info.psname.data()) || state.info.psname.size() > max_family_name)
    fatal("Invalid value for -p.");
  // Under -b the FontName goes into the fonts as it stands, so it must be one.
  if (state.options.bdf && state.info.psname.data() != nullptr &&
      !is_postscript_name(state.info.psname))
    fatal("Invalid value for -p.");

  return -1;
}

} // namespace

void fatal(const char *message) {
  errx(1, "%s", message);
}

int quadsmith_main(int argc, char **argv) {
#ifdef __GLIBC__
  // Long property values and lines are held in blocks of their own that go
  // back to the system when freed; glibc's moving threshold would otherwise
  // serve a growing value from the heap and leave the older ones as holes.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
  conversion_state state;
  const char *output_path = nullptr;
  if (const int status = read_options(argc, argv, state, &output_path); status >= 0) return status;
  const bool direct = state.options.format != FORMAT_SFD;
  // A font is bytes for a file, not text for a terminal.
  if (direct && output_path == nullptr && isatty(STDOUT_FILENO))
    fatal("A font is not written to a terminal: use -o or a redirection.");
  // Under -s every operand is a size of one face; otherwise the first is
  // read, and a font made directly would lose the others without a word.
  if (direct && !state.options.strike && argc - optind > 1)
    fatal("A font is made of one BDF file; with -s the files are the sizes of one face.");
  const int operands = state.options.strike ? argc - optind : 1;
  if (operands > max_operands) fatal("At most 64 sizes are supported.");
  for (int i = 1; i < operands; i++)
    if (std::strcmp(argv[optind + i], "-") == 0)
      fatal("Only the first operand can be standard input.");
  // Messages name the files once there is more than one to name.
  if (output_path != nullptr || state.options.bdf) state.input_name = argv[optind];
  state.output_name = output_path;
  FILE *inputs[max_operands];
  for (int i = 0; i < operands; i++) {
    const char *path = argv[optind + i];
    if (!open_input(path, i == 0 ? state.input_name : path, output_path, &inputs[i])) return 1;
  }
  // The spools, like the output file, are opened before the sandbox.  A
  // font made directly keeps its strikes in memory and spools only its
  // outlines, so an OTB needs no temporary file at all.
  std::vector<strike_state> later(static_cast<size_t>(operands - 1));
  bool spooled = (!state.options.strike || start_strike(state, direct)) &&
                 (!direct || start_font(state, state.options.format == FORMAT_OTB));
  // Only the spool being written holds a buffer; the others hold their file.
  for (strike_state &strike : later) {
    spooled = spooled && strike_open(strike, direct);
    output_close(strike.spool);
  }
  // A run that ends before it starts lets go of its spools.
  const auto give_up = [&] {
    for (strike_state &strike : later)
      strike_close(strike);
    release_state(state);
    return 1;
  };
  if (!spooled) {
    const char *dir = std::getenv("TMPDIR");
    file_error(direct ? "Can't create the outline spool in" : "Can't create the strike's spool in",
               dir != nullptr && *dir ? dir : "/tmp");
    return give_up();
  }
  // The WOFF 2.0 encoder is a library of its own, loaded before the sandbox
  // and before the output file is made, which a failure would leave.
  if (state.options.woff2)
    if (const char *message = woff2_load(state.woff2)) {
      std::fprintf(stderr, "%s: %s\n", program_name(), message);
      return give_up();
    }
  // The output file and its directory are opened before the sandbox starts,
  // which then allows the rename in that directory and nothing else.
  outfile file;
  if (output_path != nullptr) {
    if (!outfile_open(file, output_path)) {
      const char *what = direct ? "Can't create font file" : "Can't create SFD file";
      if (errno == ENXIO) {
        file_message(stderr, what, output_path);
        std::fputs("No process reads the FIFO.\n", stderr);
      } else {
        file_error(what, output_path);
      }
      return give_up();
    }
  }
  // From here on the process reads files and writes what it holds open.
  if (sandbox(file.dir_fd) == -1) err(1, "pledge");

  line_reader reader;
  output out;
  if (!output_open(out, output_path != nullptr ? file.fd : STDOUT_FILENO, nullptr))
    fatal("Memory allocation error.");
  int fds[max_operands];
  const char *names[max_operands];
  for (int i = 0; i < operands; i++) {
    fds[i] = fileno(inputs[i]);
    names[i] = i == 0 ? state.input_name : argv[optind + i];
  }
  int status;
  // A record, a table or a strike that can't grow ends the run like any
  // other failure: a message, status 1 and no file left behind.
  try {
    status = convert_sizes(state, reader, fds, names, later.data(), operands, out, stderr);
  } catch (const std::bad_alloc &) {
    fail(state, "Memory allocation error.", no_line);
    status = 1;
  }
  if ((operands > 1 || direct) && status == 0 && !output_flush(out)) {
    file_error(output_path != nullptr
                   ? (direct ? "Can't write font file" : "Can't write SFD file")
                   : (direct ? "Can't write font output" : "Can't write SFD output"),
               output_path);
    status = 1;
  }
  // A conversion's failure is said once, here; a fatal one leaves nothing behind.
  if (state.error.failed && state.error.fatal) {
    outfile_abort(file);
    fatal(state.error.text);
  }
  if (state.error.failed) std::fputs(state.error.text, stderr);
  if (output_path != nullptr) {
    if (status == 0 && !outfile_commit(file)) {
      file_error(direct ? "Can't write font file" : "Can't write SFD file", output_path);
      status = 1;
    }
    outfile_abort(file);
  }
  reader_close(reader);
  output_close(out);
  for (int i = 0; i < operands; i++)
    std::fclose(inputs[i]);
  for (strike_state &strike : later)
    strike_close(strike);
  release_state(state);
  return status;
}
