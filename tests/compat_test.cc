#include "io/compat.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct number_case {
  std::string text;
  long long min, max;
  bool ok;
  long long value;
};

TEST(bounded_number, follows_strtonum_contract) {
  const number_case cases[] = {
      {"0", 0, 64, true, 0},
      {"64", 0, 64, true, 64},
      {"65", 0, 64, false, 0},
      {"-1", 0, 64, false, 0},
      {"-0", 0, 64, true, 0},
      {"+7", 0, 64, true, 7},
      {" \t\n\v\f\r12", 0, 64, true, 12},
      {"14 ", 0, 64, false, 0},
      {"14\n", 0, 64, false, 0},
      {"14\r", 0, 64, false, 0},
      {"", 0, 64, false, 0},
      {"-", 0, 64, false, 0},
      {"+ 1", 0, 64, false, 0},
      {"0x10", 0, 64, false, 0},
      {"1a", 0, 64, false, 0},
      {"000000000000000000000000000008", 0, 64, true, 8},
      {"123456789012345678901234567890", 0, 64, false, 0},
      {"99999999999999999999", 0, 9223372036854775807LL, false, 0},
      {"99999999999999999996", 0, 64, false, 0},
      {"-99999999999999999999", INT64_MIN, 0, false, 0},
      {"9223372036854775807", 0, 9223372036854775807LL, true, 9223372036854775807LL},
      {"9223372036854775808", 0, 9223372036854775807LL, false, 0},
      {"-9223372036854775808", INT64_MIN, 0, true, INT64_MIN},
      {"-9223372036854775809", INT64_MIN, 0, false, 0},
      {"5", 9, 1, false, 0},
  };
  for (const number_case &c : cases) {
    const char *error = "untouched";
    const long long value = bounded_number(c.text, c.min, c.max, &error);
    EXPECT_EQ(error == nullptr, c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
#ifndef HAVE_STRTONUM
    EXPECT_EQ(strtonum(c.text.c_str(), c.min, c.max, &error), c.value);
#endif
  }
}

} // namespace

#ifdef __linux__
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_util.h"

namespace {

// In a child after the sandbox call, each check sets its bit when it fails.
int sandboxed_checks(int open_before, const std::string &readable, const std::string &folder,
                     long abi) {
  int failures = 0;
  if (pledge("stdio rpath", nullptr) != 0) return 1;
  const std::string fresh = folder + "/sandbox-new-file";
  if (open(fresh.c_str(), O_WRONLY | O_CREAT, 0644) != -1 || errno != EACCES) failures |= 2;
  if (open(readable.c_str(), O_WRONLY) != -1 || errno != EACCES) failures |= 4;
  char *const args[] = {const_cast<char *>("/bin/true"), nullptr};
  execv("/bin/true", args);
  if (errno != EACCES) failures |= 8;
  const int in = open(readable.c_str(), O_RDONLY);
  char byte;
  if (in < 0 || read(in, &byte, 1) != 1) failures |= 16;
  if (write(open_before, "kept\n", 5) != 5) failures |= 32;
  if (unlink(readable.c_str()) != -1 || errno != EACCES) failures |= 64;
  if (abi >= 4) {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(sock, reinterpret_cast<sockaddr *>(&to), sizeof to) != -1 || errno != EACCES)
      failures |= 128;
  }
  return failures;
}

TEST(pledge, leaves_only_reading_and_open_descriptors) {
  const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, 1u);
  if (abi < 0) GTEST_SKIP() << "this kernel has no Landlock, so the sandbox does nothing here";
  const std::string folder = scratch_dir();
  const std::string readable = folder + "/sandbox-readable";
  write_file(readable, "text");
  const std::string kept = folder + "/sandbox-kept";
  const int open_before = open(kept.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(open_before, 0);
  const pid_t child = fork();
  if (child == 0) _exit(sandboxed_checks(open_before, readable, folder, abi));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  close(open_before);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed checks, as bits: " << WEXITSTATUS(status);
  EXPECT_EQ(read_file(kept), "kept\n");
}

// With an output directory the sandbox allows renaming and removing the
// file made there before it, and still no writing elsewhere.
TEST(pledge, output_directory_allows_only_its_own_files) {
  if (syscall(SYS_landlock_create_ruleset, nullptr, 0, 1u) < 0)
    GTEST_SKIP() << "this kernel has no Landlock, so the sandbox does nothing here";
  const std::string folder = scratch_dir() + "/sandbox-output";
  mkdir(folder.c_str(), 0755);
  const std::string outside = scratch_dir() + "/sandbox-outside";
  write_file(outside, "text");
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  const std::string temporary = folder + "/.t", final_name = folder + "/t";
  write_file(temporary, "new");
  const pid_t child = fork();
  if (child == 0) {
    if (sandbox(dir) != 0) _exit(1);
    int failures = 0;
    if (open((folder + "/u").c_str(), O_WRONLY | O_CREAT, 0644) != -1) failures |= 2;
    if (rename(temporary.c_str(), final_name.c_str()) != 0) failures |= 4;
    if (unlink(final_name.c_str()) != 0) failures |= 8;
    if (open(outside.c_str(), O_WRONLY) != -1 || errno != EACCES) failures |= 16;
    if (unlink(outside.c_str()) != -1 || errno != EACCES) failures |= 32;
    if (mkdir((folder + "/sub").c_str(), 0755) != -1 || errno != EACCES) failures |= 64;
    _exit(failures);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  close(dir);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed checks, as bits: " << WEXITSTATUS(status);
}

} // namespace
#endif
