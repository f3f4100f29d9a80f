#include "io/io.h"

#include "io/compat.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr size_t output_size = 256 * 1024;
constexpr size_t chunk_size = 64 * 1024;

// Refuses a line longer than max_line; returns false.
bool refuse_long_line(line_reader &reader) {
  reader.error = EFBIG;
  reader.too_long = true;
  return false;
}

// Appends n bytes to the line buffer behind used bytes, growing it as needed.
bool line_append(line_reader &reader, size_t used, const char *data, size_t n) {
  if (used + n > max_line) return refuse_long_line(reader);
  if (used + n > reader.line_cap) {
    size_t cap = reader.line_cap ? reader.line_cap : 256;
    while (cap < used + n)
      cap *= 2;
    char *grown = static_cast<char *>(std::realloc(reader.line, cap));
    if (grown == nullptr) {
      reader.error = ENOMEM;
      return false;
    }
    reader.line = grown;
    reader.line_cap = cap;
  }
  std::memcpy(reader.line + used, data, n);
  return true;
}

// Refills the read buffer; false at end of input or on error.
bool refill(line_reader &reader) {
  reader.chunk_pos = reader.chunk_end = 0;
  if (reader.eof) return false;
  for (;;) {
    const ssize_t n = read(reader.fd, reader.chunk, chunk_size);
    if (n > 0) {
      reader.chunk_end = static_cast<size_t>(n);
      return true;
    }
    if (n == 0) {
      reader.eof = true;
      return false;
    }
    if (errno != EINTR) {
      reader.error = errno;
      reader.eof = true;
      return false;
    }
  }
}

} // namespace

bool output_open(output &out, int fd, std::string *sink) {
  char *buf = out.buf;
  out = output{};
  out.buf = buf != nullptr ? buf : static_cast<char *>(std::malloc(output_size));
  if (out.buf == nullptr) return false;
  out.cap = output_size;
  out.fd = fd;
  out.sink = sink;
  return true;
}

void output_close(output &out) {
  std::free(out.buf);
  out.buf = nullptr;
  out.len = out.cap = 0;
}

bool output_flush(output &out) {
  const char *p = out.buf;
  size_t left = out.len;
  out.len = 0;
  if (out.error != 0) return false;
  if (out.discard) return true;
  if (out.sink != nullptr) {
    out.sink->append(p, left);
    return true;
  }
  while (left > 0) {
    const ssize_t n = write(out.fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      // A non-blocking descriptor handed to us is waited on, not given up.
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        struct pollfd ready = {out.fd, POLLOUT, 0};
        if (poll(&ready, 1, -1) >= 0 || errno == EINTR) continue;
      }
      out.error = errno;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

void output_write(output &out, std::string_view text) {
  while (!text.empty()) {
    if (out.len == out.cap) output_flush(out);
    const size_t n = std::min(text.size(), out.cap - out.len);
    std::memcpy(out.buf + out.len, text.data(), n);
    out.len += n;
    text.remove_prefix(n);
  }
}

void output_number(output &out, int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  output_write(out, std::string_view(digits, static_cast<size_t>(end - digits)));
}

bool reader_open_fd(line_reader &reader, int fd) {
  char *chunk = reader.chunk;
  char *line = reader.line;
  const size_t line_cap = reader.line_cap;
  reader = line_reader{};
  reader.line = line;
  reader.line_cap = line_cap;
  reader.chunk = chunk != nullptr ? chunk : static_cast<char *>(std::malloc(chunk_size));
  if (reader.chunk == nullptr) return false;
  reader.fd = fd;
  return true;
}

void reader_open_memory(line_reader &reader, const char *data, size_t size) {
  reader = line_reader{};
  reader.mem = data;
  reader.mem_left = size;
}

void reader_close(line_reader &reader) {
  std::free(reader.chunk);
  std::free(reader.line);
  reader.chunk = reader.line = nullptr;
  reader.line_cap = 0;
}

namespace {

bool next_line_from(line_reader &reader, std::string_view *line) {
  if (reader.fd < 0) {
    if (reader.mem_left == 0) return false;
    const void *lf = std::memchr(reader.mem, '\n', reader.mem_left);
    const size_t n =
        lf ? static_cast<size_t>(static_cast<const char *>(lf) - reader.mem) + 1 : reader.mem_left;
    if (n > max_line) return refuse_long_line(reader);
    *line = std::string_view(reader.mem, n);
    reader.mem += n;
    reader.mem_left -= n;
    return true;
  }
  if (reader.chunk_pos == reader.chunk_end && !refill(reader)) return false;
  // Most lines lie inside the read buffer and are handed out in place; only a
  // line that crosses a read is gathered in the line buffer.
  const char *start = reader.chunk + reader.chunk_pos;
  size_t avail = reader.chunk_end - reader.chunk_pos;
  size_t lf = find_byte(start, avail, '\n');
  if (lf < avail) {
    reader.chunk_pos += lf + 1;
    *line = std::string_view(start, lf + 1);
    return true;
  }
  size_t used = 0;
  for (;;) {
    if (!line_append(reader, used, start, avail)) return false;
    used += avail;
    if (!refill(reader)) {
      if (reader.error != 0) return false;
      *line = std::string_view(reader.line, used);
      return true;
    }
    start = reader.chunk;
    avail = reader.chunk_end;
    lf = find_byte(start, avail, '\n');
    if (lf < avail) {
      if (!line_append(reader, used, start, lf + 1)) return false;
      reader.chunk_pos = lf + 1;
      *line = std::string_view(reader.line, used + lf + 1);
      return true;
    }
  }
}

} // namespace

bool next_line(line_reader &reader, std::string_view *line) {
  // A long line's buffer is given back once the line is done with, so that
  // it does not stay in memory beside the values copied from it.
  if (reader.line_cap > chunk_size) {
    std::free(reader.line);
    reader.line = nullptr;
    reader.line_cap = 0;
  }
  if (reader.error != 0 || !next_line_from(reader, line)) return false;
  reader.lines++;
  return true;
}
