#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_kind.h"
#include "platform/utf8_path.h"

namespace tarvex {

std::FILE* OpenForReading(const std::filesystem::path& path) {
  // Looked at first, so that a device node is never opened at all (a tty's open raises its lines).
  if (!NotAFileProblem(path).empty()) {
    errno = EINVAL;
    return nullptr;
  }
  // Non-blocking and checked again once open: a FIFO put there meanwhile cannot hang the open.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return nullptr;
  }
  struct stat kind {};
  if (fstat(fd, &kind) != 0 || !S_ISREG(kind.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    errno = EINVAL;
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    const int saved = errno;
    close(fd);
    errno = saved;
  }
  return file;
}

}  // namespace tarvex
