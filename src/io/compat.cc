#include "io/compat.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifdef __linux__
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>
#endif

const char *program_name() {
#ifdef __GLIBC__
  return program_invocation_short_name;
#else
  return getprogname();
#endif
}

size_t skip_space_and_sign(std::string_view text, bool *negative) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    i++;
  *negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) *negative = text[i++] == '-';
  return i;
}

long long bounded_number(std::string_view text, long long minval, long long maxval,
                         const char **errstr) {
  bool negative;
  size_t i = skip_space_and_sign(text, &negative);
  const size_t n = text.size();
  if (i == n || text[i] < '0' || text[i] > '9') {
    *errstr = "invalid";
    return 0;
  }
  // The magnitude saturates one past the largest long long so that both
  // overflow directions are seen without undefined behaviour.
  constexpr uint64_t limit = static_cast<uint64_t>(INT64_MAX) + 1;
  uint64_t magnitude = 0;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; i++) {
    // Once past the limit the magnitude stays there: another digit would
    // wrap it around 64 bits to a small number.
    if (magnitude > limit) continue;
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
    if (magnitude > limit) magnitude = limit + 1;
  }
  if (i != n || minval > maxval) {
    *errstr = "invalid";
    return 0;
  }
  if (negative ? magnitude > limit : magnitude > limit - 1) {
    *errstr = negative ? "too small" : "too large";
    return 0;
  }
  const long long value =
      negative ? static_cast<long long>(0 - magnitude) : static_cast<long long>(magnitude);
  if (value < minval) {
    *errstr = "too small";
    return 0;
  }
  if (value > maxval) {
    *errstr = "too large";
    return 0;
  }
  *errstr = nullptr;
  return value;
}

#ifndef HAVE_STRTONUM
long long strtonum(const char *text, long long minval, long long maxval, const char **errstr) {
  return bounded_number(std::string_view(text, std::strlen(text)), minval, maxval, errstr);
}
#endif

#ifndef HAVE_PLEDGE
#ifdef __linux__
namespace {

// Landlock's interface, spelled out so that it builds against system headers
// older than the running kernel.  The bit numbers are the kernel's ABI.
constexpr unsigned create_ruleset_version = 1u << 0;
constexpr uint64_t fs_abi1 = (1ull << 13) - 1; // execute through make_sym
constexpr uint64_t fs_read_file = 1ull << 2;
constexpr uint64_t fs_read_dir = 1ull << 3;
constexpr uint64_t fs_refer = 1ull << 13;     // ABI 2
constexpr uint64_t fs_truncate = 1ull << 14;  // ABI 3
constexpr uint64_t fs_ioctl_dev = 1ull << 15; // ABI 5
constexpr uint64_t net_bind_tcp = 1ull << 0;  // ABI 4
constexpr uint64_t net_connect_tcp = 1ull << 1;

struct ruleset_attr {
  uint64_t handled_access_fs;
  uint64_t handled_access_net;
};

// A kernel without Landlock says ENOSYS or EOPNOTSUPP; a seccomp filter of a
// container runtime that forbids the calls says EPERM.  Either way there is
// no sandbox to be had, and the tool runs without one rather than not at all.
bool sandbox_unavailable(int error) {
  return error == ENOSYS || error == EOPNOTSUPP || error == EPERM;
}

constexpr uint64_t fs_remove_file = 1ull << 5;
constexpr uint64_t fs_make_reg = 1ull << 8;
constexpr int rule_path_beneath = 1;

struct __attribute__((packed)) path_beneath_attr {
  uint64_t allowed_access;
  int32_t parent_fd;
};

// Reading is all the tool does with files, so every other filesystem right
// the kernel knows is handled and none is granted, but for the directory of
// an output file, where the temporary file is renamed or removed; the
// descriptors already open, standard output among them, keep working.
int restrict_filesystem(int output_dir) {
  const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, create_ruleset_version);
  if (abi < 0) return sandbox_unavailable(errno) ? 0 : -1;
  ruleset_attr attr{};
  attr.handled_access_fs = fs_abi1 & ~(fs_read_file | fs_read_dir);
  if (abi >= 2) attr.handled_access_fs |= fs_refer;
  if (abi >= 3) attr.handled_access_fs |= fs_truncate;
  if (abi >= 5) attr.handled_access_fs |= fs_ioctl_dev;
  size_t size = sizeof attr.handled_access_fs;
  if (abi >= 4) {
    attr.handled_access_net = net_bind_tcp | net_connect_tcp;
    size = sizeof attr;
  }
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return -1;
  const long ruleset = syscall(SYS_landlock_create_ruleset, &attr, size, 0);
  if (ruleset < 0) return sandbox_unavailable(errno) ? 0 : -1;
  if (output_dir != -1) {
    const path_beneath_attr rule{fs_make_reg | fs_remove_file, output_dir};
    if (syscall(SYS_landlock_add_rule, ruleset, rule_path_beneath, &rule, 0) != 0) {
      const int saved = errno;
      close(static_cast<int>(ruleset));
      errno = saved;
      return -1;
    }
  }
  const long restricted = syscall(SYS_landlock_restrict_self, ruleset, 0);
  const int saved = errno;
  close(static_cast<int>(ruleset));
  errno = saved;
  return restricted == 0 || sandbox_unavailable(saved) ? 0 : -1;
}

} // namespace

int pledge(const char *, const char *) {
  return restrict_filesystem(-1);
}

int sandbox(int output_dir) {
  return restrict_filesystem(output_dir);
}
#else
int pledge(const char *, const char *) {
  return 0;
}

int sandbox(int) {
  return 0;
}
#endif
#else
// pledge can't name one directory; the output file's rename needs cpath.
int sandbox(int output_dir) {
  return pledge(output_dir == -1 ? "stdio rpath" : "stdio rpath cpath", nullptr);
}
#endif

long creation_time() {
  struct timeval now;
  gettimeofday(&now, nullptr);
  long seconds = now.tv_sec;
  if (const char *epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    const char *error = nullptr;
    const long long fixed = strtonum(epoch, 0, 9223372036854775807LL, &error);
    if (error == nullptr) seconds = static_cast<long>(fixed);
  }
  return seconds;
}
