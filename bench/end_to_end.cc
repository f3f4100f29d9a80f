// Converts large fonts to /dev/null with the tool and with the plain
// printf-per-pixel build of it, and prints sizes, times, speed and peak memory.
//
// Usage: quadsmith_e2e FAST PLAIN [UNIFONT.bdf]

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

struct measurement {
  double seconds = 0;
  long peak_kib = 0;
  double input_mb = 0;
  double output_mb = 0;
};

double now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Writes a BDF with the given cell and glyph count; every row is row_text.
// Returns the number of bytes written.
double write_bdf(int fd, int width, int height, long glyphs, const std::string &row_text) {
  FILE *out = fdopen(fd, "w");
  double bytes = 0;
  bytes += fprintf(out,
                   "STARTFONT 2.1\nFONTBOUNDINGBOX %d %d 0 0\nFONT_ASCENT %d\n"
                   "FONT_DESCENT 0\nCHARS %ld\n",
                   width, height, height, glyphs);
  for (long g = 0; g < glyphs; g++) {
    bytes += fprintf(out, "STARTCHAR g%ld\nENCODING %ld\nBITMAP\n", g, g % 65536);
    for (int r = 0; r < height; r++)
      bytes += static_cast<double>(fwrite(row_text.data(), 1, row_text.size(), out));
    bytes += fprintf(out, "ENDCHAR\n");
  }
  bytes += fprintf(out, "ENDFONT\n");
  fclose(out);
  return bytes;
}

// Runs tool on input (a path, or "-" with a generator feeding standard input),
// with standard output to /dev/null or counted through a pipe.
measurement run(const char *tool, const char *path, int width, int height, long glyphs,
                const std::string &row_text, bool count_output, const char *option = nullptr) {
  measurement m;
  int feed[2] = {-1, -1};
  int drain[2] = {-1, -1};
  int count[2] = {-1, -1};
  if (std::string(path) == "-" && (pipe(feed) != 0 || pipe(count) != 0)) std::exit(2);
  if (count_output && pipe(drain) != 0) std::exit(2);
  const double start = now();
  const pid_t child = fork();
  if (child == 0) {
    if (feed[0] >= 0) {
      dup2(feed[0], 0);
      close(feed[0]);
      close(feed[1]);
    }
    const int sink = count_output ? drain[1] : open("/dev/null", O_WRONLY);
    dup2(sink, 1);
    if (count_output) {
      close(drain[0]);
      close(drain[1]);
    }
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 2);
    if (option != nullptr)
      execl(tool, tool, option, path, static_cast<char *>(nullptr));
    else
      execl(tool, tool, path, static_cast<char *>(nullptr));
    _exit(127);
  }
  pid_t writer = -1;
  if (feed[1] >= 0) {
    writer = fork();
    if (writer == 0) {
      close(feed[0]);
      if (count_output) close(drain[0]);
      const double bytes = write_bdf(feed[1], width, height, glyphs, row_text);
      if (write(count[1], &bytes, sizeof bytes) != sizeof bytes) _exit(1);
      _exit(0);
    }
    close(feed[0]);
    close(feed[1]);
    close(count[1]);
  }
  if (count_output) {
    close(drain[1]);
    static char buffer[1 << 16];
    ssize_t n;
    while ((n = read(drain[0], buffer, sizeof buffer)) > 0)
      m.output_mb += static_cast<double>(n) / 1e6;
    close(drain[0]);
  }
  int status = 0;
  struct rusage usage;
  wait4(child, &status, 0, &usage);
  m.seconds = now() - start;
  m.peak_kib = usage.ru_maxrss;
  if (writer > 0) {
    double bytes = 0;
    if (read(count[0], &bytes, sizeof bytes) == sizeof bytes) m.input_mb = bytes / 1e6;
    close(count[0]);
    waitpid(writer, nullptr, 0);
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s %s failed with status %d\n", tool, path, status);
    std::exit(1);
  }
  return m;
}

void report(const char *name, const char *which, const measurement &m, double input_mb,
            double output_mb) {
  std::printf("%-22s %-6s %9.1f %10.1f %8.3f %9.1f %8ld\n", name, which, input_mb, output_mb,
              m.seconds, output_mb / m.seconds, m.peak_kib);
}

// Measures the tool with an option against the tool without it on one
// file; the best of three runs counts.  Returns the ratio of the times.
double compare_option(const char *name, const char *tool, const char *option, const char *path,
                      double input_mb, const measurement &plain) {
  const double output_mb = run(tool, path, 0, 0, 0, "", true, option).output_mb;
  measurement best;
  best.seconds = 1e9;
  for (int i = 0; i < 3; i++) {
    const measurement m = run(tool, path, 0, 0, 0, "", false, option);
    if (m.seconds < best.seconds) best = m;
  }
  report(name, option, best, input_mb, output_mb);
  std::printf("%-22s %s: %.2f times the time, %.1f%% of the size of the default\n", name, option,
              best.seconds / plain.seconds, 100 * output_mb / plain.output_mb);
  return best.seconds / plain.seconds;
}

// Writes one glyph whose rows each set one pixel, so that every row top is
// new: the worst case for the row texts.  Returns the number of bytes written.
double write_pen_walk(int fd, long rows) {
  FILE *out = fdopen(fd, "w");
  double bytes = fprintf(out, "FONTBOUNDINGBOX 32 64 0 0\nFONT_ASCENT 60\nSTARTCHAR walk\n"
                              "ENCODING 1\nBITMAP\n");
  for (long r = 0; r < rows; r++)
    bytes += fprintf(out, "%08X\n", 1u << (31 - r % 32));
  bytes += fprintf(out, "ENDCHAR\n");
  fclose(out);
  return bytes;
}

// Writes the head of a font for -b, up to CHARS; returns its bytes.
double write_bdf_head(FILE *out, int height, int ascent, long glyphs) {
  return fprintf(out,
                 "STARTFONT 2.1\nFONT f\nSIZE %d 75 75\nFONTBOUNDINGBOX 8 %d 0 -2\n"
                 "STARTPROPERTIES 2\nFONT_ASCENT %d\nFONT_DESCENT 2\nENDPROPERTIES\n"
                 "CHARS %ld\n",
                 height, height, ascent, glyphs);
}

// Writes a font for -b whose glyphs sit far above and below the baseline,
// each at another height, so that every glyph's pen starts far from the
// ascent: the worst case known for -b.  Returns the number of bytes written.
double write_far_boxes(int fd, long glyphs) {
  FILE *out = fdopen(fd, "w");
  double bytes = write_bdf_head(out, 64, 62, glyphs);
  for (long g = 0; g < glyphs; g++)
    bytes += fprintf(out, "STARTCHAR g%ld\nENCODING %ld\nBBX 1 1 0 %ld\nBITMAP\n80\nENDCHAR\n", g,
                     g, g % 700 - 350);
  bytes += fprintf(out, "ENDFONT\n");
  fclose(out);
  return bytes;
}

// Writes a font for -b of glyphs whose names all hash to one slot of the
// name table (FNV-1a, 32,768 slots), or with colliding false of names of
// the same length that spread.  Returns the number of bytes written.
double write_names(int fd, long glyphs, bool colliding) {
  constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  constexpr uint32_t prime = 16777619u, mask = 32767;
  // The low 15 bits of FNV-1a depend on the low 15 bits alone, and the
  // prime is odd, so the steps run backwards: which three letters lead
  // from each state to the target slot 0.
  uint32_t inverse = prime;
  for (int i = 0; i < 5; i++)
    inverse *= 2 - prime * inverse;
  static char suffix[32768][4];
  for (const char a : std::string(alphabet))
    for (const char b : std::string(alphabet))
      for (const char c : std::string(alphabet)) {
        uint32_t h = 0;
        for (const char x : {c, b, a})
          h = ((h * inverse) & mask) ^ static_cast<unsigned char>(x);
        if (suffix[h][0] == 0) {
          suffix[h][0] = a;
          suffix[h][1] = b;
          suffix[h][2] = c;
        }
      }
  FILE *out = fdopen(fd, "w");
  double bytes = write_bdf_head(out, 16, 14, glyphs);
  long written = 0;
  for (long n = 0; written < glyphs; n++) {
    char name[32];
    std::snprintf(name, sizeof name, "n%09ld", n);
    uint32_t h = 2166136261u;
    for (const char *p = name; *p; p++)
      h = (h ^ static_cast<unsigned char>(*p)) * prime;
    const char *end = colliding ? suffix[h & mask] : "xyz";
    if (end[0] == 0) continue;
    bytes += fprintf(out, "STARTCHAR %s%s\nENCODING %ld\nBBX 1 1 0 0\nBITMAP\n80\nENDCHAR\n", name,
                     end, written);
    written++;
  }
  bytes += fprintf(out, "ENDFONT\n");
  fclose(out);
  return bytes;
}

// Measures one input with both tools; the best of three runs counts.
void compare(const char *name, const char *fast, const char *plain, const char *path, int width,
             int height, long glyphs, const std::string &row_text, double input_mb) {
  const double output_mb = run(fast, path, width, height, glyphs, row_text, true).output_mb;
  double fast_best = 1e9;
  double plain_best = 1e9;
  for (const char *tool : {fast, plain}) {
    if (tool == nullptr) continue;
    measurement best;
    best.seconds = 1e9;
    for (int i = 0; i < (tool == fast ? 3 : 1); i++) {
      const measurement m = run(tool, path, width, height, glyphs, row_text, false);
      if (m.seconds < best.seconds) best = m;
    }
    report(name, tool == fast ? "fast" : "plain", best, input_mb, output_mb);
    (tool == fast ? fast_best : plain_best) = best.seconds;
  }
  if (plain != nullptr)
    std::printf("%-22s speed-up of the fast writer: %.1f times\n", name, plain_best / fast_best);
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: quadsmith_e2e FAST PLAIN [UNIFONT.bdf]\n");
    return 2;
  }
  const char *fast = argv[1];
  const char *plain = argv[2];
  std::printf("%-22s %-6s %9s %10s %8s %9s %8s\n", "input", "writer", "input MB", "output MB",
              "seconds", "MB/s", "peak KiB");
  if (argc > 3) {
    struct stat_size {
      static double of(const char *path) {
        FILE *f = std::fopen(path, "rb");
        if (f == nullptr) return 0;
        std::fseek(f, 0, SEEK_END);
        const double size = static_cast<double>(std::ftell(f));
        std::fclose(f);
        return size;
      }
    };
    const double unifont_mb = stat_size::of(argv[3]) / 1e6;
    compare("unifont", fast, plain, argv[3], 0, 0, 0, "", unifont_mb);
    measurement base;
    base.seconds = 1e9;
    for (int i = 0; i < 3; i++) {
      const measurement m = run(fast, argv[3], 0, 0, 0, "", false);
      if (m.seconds < base.seconds) base = m;
    }
    base.output_mb = run(fast, argv[3], 0, 0, 0, "", true).output_mb;
    double ratio[5];
    const char *options[5] = {"-m", "-b", "-mb", "-s", "-ms"};
    for (int i = 0; i < 5; i++)
      ratio[i] = compare_option("unifont", fast, options[i], argv[3], unifont_mb, base);
    // The strike spools every bitmap and copies it back; it should cost little.
    std::printf("%-22s -s: %.2f times the time of -b, -ms %.2f times that of -mb\n", "unifont",
                ratio[3] / ratio[1], ratio[4] / ratio[2]);

    // A million rows of one new pen position each, against Unifont.
    char walk_path[] = "/tmp/quadsmith-bench.XXXXXX";
    const int walk_fd = mkstemp(walk_path);
    const double walk_mb = write_pen_walk(walk_fd, 1000000) / 1e6;
    measurement walk;
    walk.seconds = 1e9;
    for (int i = 0; i < 3; i++) {
      const measurement m = run(fast, walk_path, 0, 0, 0, "", false);
      if (m.seconds < walk.seconds) walk = m;
    }
    report("new row top each row", "fast", walk, walk_mb, 0);
    std::printf("%-22s %.2f times the time of Unifont\n", "new row top each row",
                walk.seconds / base.seconds);
    unlink(walk_path);

    char far_path[] = "/tmp/quadsmith-bench.XXXXXX";
    const double far_mb = write_far_boxes(mkstemp(far_path), 200000) / 1e6;
    measurement far;
    far.seconds = 1e9;
    for (int i = 0; i < 3; i++) {
      const measurement m = run(fast, far_path, 0, 0, 0, "", false, "-b");
      if (m.seconds < far.seconds) far = m;
    }
    report("-b boxes far away", "fast", far, far_mb, 0);
    // Names that share a slot of the name table against names that spread.
    double name_seconds[2];
    for (const bool colliding : {false, true}) {
      char names_path[] = "/tmp/quadsmith-bench.XXXXXX";
      const double names_mb = write_names(mkstemp(names_path), 100000, colliding) / 1e6;
      measurement best;
      best.seconds = 1e9;
      for (int i = 0; i < 3; i++) {
        const measurement m = run(fast, names_path, 0, 0, 0, "", false, "-b");
        if (m.seconds < best.seconds) best = m;
      }
      report(colliding ? "-b names in one slot" : "-b names spread", "fast", best, names_mb, 0);
      name_seconds[colliding] = best.seconds;
      unlink(names_path);
    }
    std::printf("%-22s %.2f times the time of names that spread\n", "-b names in one slot",
                name_seconds[1] / name_seconds[0]);
    std::printf("%-22s %.2f times the time of Unifont per MB\n", "-b boxes far away",
                far.seconds / far_mb / (base.seconds / unifont_mb));
    unlink(far_path);
  }

  // Every pixel of a 32 by 64 cell set: the most output per input byte.
  char full_path[] = "/tmp/quadsmith-bench.XXXXXX";
  const int fd = mkstemp(full_path);
  const double full_mb = write_bdf(fd, 32, 64, 2000, "FFFFFFFF\n") / 1e6;
  compare("synthetic 32x64 full", fast, plain, full_path, 0, 0, 0, "", full_mb);
  unlink(full_path);

  // A gigabyte of input streamed through standard input: memory must not grow with it.
  const long glyphs = 1000L * 1000 * 1000 / (16 * 3 + 44);
  const measurement big = run(fast, "-", 8, 16, glyphs, "00\n", true);
  report("synthetic 1 GB stream", "fast", big, big.input_mb, big.output_mb);
  return 0;
}
