#include "io/spool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int spool_file() {
  const char *dir = std::getenv("TMPDIR");
  if (dir == nullptr || *dir == '\0') dir = "/tmp";
#ifdef O_TMPFILE
  const int fd = open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd != -1 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
#endif
  char path[4096];
  if (std::snprintf(path, sizeof path, "%s/quadsmith-strike.XXXXXX", dir) >=
      static_cast<int>(sizeof path)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const int named = mkostemp(path, O_CLOEXEC);
  if (named != -1) unlink(path);
  return named;
}

bool spool_open(output &spool, int &fd, std::string &text, bool in_memory) {
  fd = in_memory ? -1 : spool_file();
  if (!in_memory && fd == -1) return false;
  return output_open(spool, fd, in_memory ? &text : nullptr);
}

void spool_close(output &spool, int fd) {
  output_close(spool);
  if (fd != -1) close(fd);
}

bool spool_rewind(output &spool, int fd) {
  if (!output_flush(spool)) {
    errno = spool.error;
    return false;
  }
  return fd == -1 || lseek(fd, 0, SEEK_SET) != -1;
}

bool spool_copy(output &spool, int fd, std::string &text, output &out) {
  if (fd == -1) {
    output_flush(spool);
    output_write(out, text);
    text.clear();
    return true;
  }
  if (!spool_rewind(spool, fd)) return false;
  // The spool comes back through the output's own buffer, a piece at a time.
  for (;;) {
    char *to = output_reserve(out, 64 * 1024);
    const ssize_t n = read(fd, to, 64 * 1024);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.len += static_cast<size_t>(n);
  }
}

bool spool_read(spool_reader &reader, void *to, size_t n) {
  auto *bytes = static_cast<char *>(to);
  while (n > 0) {
    if (reader.used == reader.have) {
      if (reader.fd == -1) {
        reader.have = std::min(reader.buffer.size(), reader.text->size() - reader.at);
        std::memcpy(reader.buffer.data(), reader.text->data() + reader.at, reader.have);
        reader.at += reader.have;
      } else {
        const ssize_t got = read(reader.fd, reader.buffer.data(), reader.buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        reader.have = static_cast<size_t>(got);
      }
      reader.used = 0;
      if (reader.have == 0) {
        errno = EIO;
        return false;
      }
    }
    const size_t part = std::min(n, reader.have - reader.used);
    std::memcpy(bytes, reader.buffer.data() + reader.used, part);
    reader.used += part;
    bytes += part;
    n -= part;
  }
  return true;
}
