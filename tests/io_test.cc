#include "io/io.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Lines read from a pipe fed with text in pieces of the given size, so that
// lines cross the reader's reads at every possible place.
std::vector<std::string> lines_through_pipe(const std::string &text, size_t piece) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    for (size_t at = 0; at < text.size(); at += piece) {
      const size_t n = std::min(piece, text.size() - at);
      EXPECT_EQ(write(fds[1], text.data() + at, n), static_cast<ssize_t>(n));
    }
    close(fds[1]);
  });
  line_reader reader;
  EXPECT_TRUE(reader_open_fd(reader, fds[0]));
  std::vector<std::string> lines;
  std::string_view line;
  while (next_line(reader, &line))
    lines.emplace_back(line);
  EXPECT_EQ(reader.error, 0);
  writer.join();
  reader_close(reader);
  close(fds[0]);
  return lines;
}

TEST(line_reader, keeps_lines_whole_across_reads) {
  const std::string long_line(200000, 'x');
  const std::string text = "A\n\nB C\n" + long_line + "\nlast";
  const std::vector<std::string> expected = {"A\n", "\n", "B C\n", long_line + "\n", "last"};
  for (size_t piece : {size_t{1}, size_t{3}, size_t{4096}, size_t{70000}, text.size()})
    EXPECT_EQ(lines_through_pipe(text, piece), expected) << piece;
  line_reader reader;
  reader_open_memory(reader, text.data(), text.size());
  std::vector<std::string> lines;
  std::string_view line;
  while (next_line(reader, &line))
    lines.emplace_back(line);
  EXPECT_EQ(lines, expected);
}

TEST(line_reader, reports_read_errors) {
  line_reader reader;
  ASSERT_TRUE(reader_open_fd(reader, 1000));
  std::string_view line;
  EXPECT_FALSE(next_line(reader, &line));
  EXPECT_EQ(reader.error, EBADF);
  reader_close(reader);
}

TEST(output, writes_large_texts_whole_and_remembers_failure) {
  std::string sink;
  output out;
  ASSERT_TRUE(output_open(out, -1, &sink));
  const std::string big(1000000, 'q');
  output_write(out, "head ");
  output_write(out, big);
  EXPECT_TRUE(output_flush(out));
  EXPECT_EQ(sink, "head " + big);
  output_close(out);

  ASSERT_TRUE(output_open(out, 1000, nullptr));
  output_write(out, "lost");
  EXPECT_FALSE(output_flush(out));
  EXPECT_EQ(out.error, EBADF);
  output_close(out);
}

} // namespace
