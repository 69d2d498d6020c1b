#include "cli/report_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace tarvex::cli {

namespace {

OsError LastError() {
  return OsError{std::error_code(errno, std::generic_category()), {}};
}

// flock() is released when the descriptor closes, so an early return cannot leave it held.
class FileLock {
 public:
  explicit FileLock(int fd) : fd_(fd), locked_(flock(fd, LOCK_EX) == 0) {}
  ~FileLock() {
    if (locked_) {
      flock(fd_, LOCK_UN);
    }
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
  bool locked_;
};

}  // namespace

ReportFile::~ReportFile() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

OsError ReportFile::Open(const std::string& path) {
  path_ = path;
  // Non-blocking: a FIFO without a reader fails at once (ENXIO) instead of hanging the run.
  fd_ = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd_ < 0) {
    return LastError();
  }
  struct stat kind {};
  if (fstat(fd_, &kind) != 0 || !S_ISREG(kind.st_mode)) {
    close(fd_);
    fd_ = -1;
    return GenericError(std::errc::invalid_argument, "not a regular file");
  }
  return {};
}

OsError ReportFile::AppendLine(std::string_view line) {
  std::string text(line);
  text += '\n';
  FileLock lock(fd_);
  // O_APPEND puts every write at the end; the lock keeps a line whole should the system split it.
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return n < 0 ? LastError() : OsError{std::make_error_code(std::errc::io_error), {}};
    }
    done += static_cast<std::size_t>(n);
  }
  return {};
}

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) {
    return {};
  }
  return name;
}

}  // namespace tarvex::cli
