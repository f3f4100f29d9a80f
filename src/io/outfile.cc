#include "io/outfile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary file's name, for the exit and signal handlers that remove
// it: they can reach nothing but static storage.  Empty while no temporary
// file exists; one output file is open at a time.
char pending[PATH_MAX];
volatile sig_atomic_t pending_set = 0;
bool handlers_installed = false;

void remove_pending() {
  if (pending_set) unlink(pending);
  pending_set = 0;
}

void remove_and_reraise(int signal_number) {
  remove_pending();
  std::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void install_handlers() {
  if (handlers_installed) return;
  handlers_installed = true;
  std::atexit(remove_pending);
  // Every signal whose default ends the process, short of SIGKILL, which
  // can't be caught.
  for (const int signal_number : {SIGHUP, SIGINT, SIGTERM, SIGPIPE, SIGQUIT, SIGXFSZ}) {
    // A signal the caller chose to ignore stays ignored.
    struct sigaction old;
    if (sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = remove_and_reraise;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

// The mode the final file gets: an existing file's own, else what a shell
// redirection would create.
mode_t final_mode(const char *path) {
  struct stat existing;
  if (stat(path, &existing) == 0) return existing.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool fail(outfile &file, int error) {
  outfile_abort(file);
  errno = error;
  return false;
}

// Follows the symbolic links at path, one at a time, to the name they end
// at, which may not exist yet, into target (PATH_MAX bytes); a path that is
// no link stays.  Links that end in a loop are refused with ELOOP, as the
// kernel refuses them, so that no link of the loop is replaced.
bool resolve_target(const char *path, char *target) {
  if (std::strlen(path) >= PATH_MAX) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::strcpy(target, path);
  // As many links as Linux follows in one path.
  for (int hops = 0; hops <= 40; hops++) {
    struct stat link;
    if (lstat(target, &link) != 0 || !S_ISLNK(link.st_mode)) return true;
    char named[PATH_MAX];
    const ssize_t n = readlink(target, named, sizeof named - 1);
    if (n < 0) return false;
    named[n] = '\0';
    // A relative link names a file beside the link.
    const char *slash = std::strrchr(target, '/');
    const int dir_length =
        named[0] == '/' || slash == nullptr ? 0 : static_cast<int>(slash - target) + 1;
    char next[PATH_MAX];
    if (std::snprintf(next, sizeof next, "%.*s%s", dir_length, target, named) >= PATH_MAX) {
      errno = ENAMETOOLONG;
      return false;
    }
    std::strcpy(target, next);
  }
  errno = ELOOP;
  return false;
}

} // namespace

bool outfile_open(outfile &file, const char *path) {
  file = outfile{};
  if (!resolve_target(path, file.target)) return false;
  const char *target = file.target;
  struct stat existing;
  if (stat(target, &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      errno = EISDIR;
      return false;
    }
    // A FIFO, a terminal or the null device is no file to replace.
    if (!S_ISREG(existing.st_mode)) {
      file.direct = true;
      // A FIFO nobody reads would hold open() forever; without blocking it
      // fails at once with ENXIO, and the writes that follow block as usual.
      file.fd = open(target, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
      if (file.fd == -1) return false;
      const int flags = fcntl(file.fd, F_GETFL);
      if (flags == -1 || fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        const int error = errno;
        close(file.fd);
        file.fd = -1;
        errno = error;
        return false;
      }
      return true;
    }
  }
  const char *slash = std::strrchr(target, '/');
  const int dir_length = slash == nullptr  ? 1
                         : slash == target ? 1
                                           : static_cast<int>(slash - target);
  const char *dir = slash == nullptr ? "." : target;
  const char *base = slash == nullptr ? target : slash + 1;
  if (*base == '\0') {
    errno = EISDIR;
    return false;
  }
  // A hidden name in the same directory, so that the rename stays on one
  // file system and the half-written file is not taken for a font; a long
  // name is shortened so that the temporary one fits a directory entry.
  const int base_room = NAME_MAX - static_cast<int>(sizeof ".XXXXXX");
  const int n =
      std::snprintf(pending, sizeof pending, "%.*s/.%.*s.XXXXXX", dir_length, dir, base_room, base);
  if (n < 0 || static_cast<size_t>(n) >= sizeof pending) {
    errno = ENAMETOOLONG;
    return false;
  }
  pending[dir_length] = '\0';
  file.dir_fd = open(pending, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  pending[dir_length] = '/';
  if (file.dir_fd == -1) return false;
  const mode_t mode = final_mode(target);
  install_handlers();
  file.fd = mkostemp(pending, O_CLOEXEC);
  if (file.fd == -1) return fail(file, errno);
  pending_set = 1;
  if (fchmod(file.fd, mode) == -1) return fail(file, errno);
  return true;
}

bool outfile_commit(outfile &file) {
  if (file.direct) {
    file.committed = true;
    const int closed = close(file.fd);
    file.fd = -1;
    return closed == 0;
  }
  if (fsync(file.fd) == -1) return fail(file, errno);
  const int closed = close(file.fd);
  file.fd = -1;
  if (closed == -1) return fail(file, errno);
  if (rename(pending, file.target) == -1) return fail(file, errno);
  pending_set = 0;
  file.committed = true;
  // The rename itself reaches the disk with the directory.
  const int synced = fsync(file.dir_fd);
  const int error = errno;
  close(file.dir_fd);
  file.dir_fd = -1;
  errno = error;
  return synced == 0;
}

void outfile_abort(outfile &file) {
  if (!file.committed && !file.direct) remove_pending();
  if (file.fd != -1) close(file.fd);
  if (file.dir_fd != -1) close(file.dir_fd);
  file.fd = file.dir_fd = -1;
}
