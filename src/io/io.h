// The buffered SFD output and the BDF line reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// SFD text collected in one fixed buffer and written out in large pieces,
// either to a file descriptor or appended to a string.
struct output {
  int fd = -1;                 // destination when sink is null
  std::string *sink = nullptr; // destination for in-process runs
  char *buf = nullptr;
  size_t len = 0;
  size_t cap = 0;
  int error = 0;        // errno of the first failed write; later output is dropped
  bool discard = false; // everything written is dropped: a later size's records
};

// Makes an output that writes to fd, or to *sink when sink is not null,
// keeping the buffer of an earlier open.  Returns false with errno set if
// the buffer can't be allocated.
bool output_open(output &out, int fd, std::string *sink);

// Releases the buffer without flushing it.
void output_close(output &out);

// Writes out everything buffered; returns false once any write has failed.
bool output_flush(output &out);

// Makes room for n more bytes (n no larger than the buffer) and returns where they go.
inline char *output_reserve(output &out, size_t n) {
  if (out.cap - out.len < n) output_flush(out);
  return out.buf + out.len;
}

// Appends text of any length.
void output_write(output &out, std::string_view text);

// Appends a whole number in decimal.
void output_number(output &out, int64_t value);

// Reads lines from a file descriptor or from memory, through one read buffer
// and one growable line buffer for lines that cross a read.
struct line_reader {
  int fd = -1;
  const char *mem = nullptr; // in-memory input when fd is -1
  size_t mem_left = 0;
  char *chunk = nullptr;
  size_t chunk_pos = 0;
  size_t chunk_end = 0;
  char *line = nullptr;
  size_t line_cap = 0;
  bool eof = false;
  int error = 0;           // errno of a failed read or of a failure to grow the line buffer
  unsigned long lines = 0; // lines handed out so far
  bool too_long = false;   // the line after the last one handed out exceeds max_line
};

// The longest line the reader hands out, line feed included; no BDF line
// comes near it, and it keeps memory bounded whatever the input.
constexpr size_t max_line = 1024 * 1024;

// Makes a reader of fd, keeping the buffers of an earlier open; returns false
// with errno set if its buffer can't be allocated.
bool reader_open_fd(line_reader &reader, int fd);

// Makes a reader of size bytes at data, which must outlive it.
void reader_open_memory(line_reader &reader, const char *data, size_t size);

// Releases the reader's buffers; does not close the descriptor.
void reader_close(line_reader &reader);

// Sets *line to the next line, line feed included when it has one, valid until
// the next call.  Returns false at end of input or on error: reader.error is
// then set, to EFBIG with too_long set for a line longer than max_line.
bool next_line(line_reader &reader, std::string_view *line);
