#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/private_file.h"

namespace tarvex {

namespace {

std::string TempFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder && *folder ? folder : "/tmp";
}

}  // namespace

// O_TMPFILE makes a file without a name; where the file system lacks it, the named file is
// unlinked at once.
FilePtr OpenPrivateFile() {
  const std::string folder = TempFolder();
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::string name = folder + "/tarvex-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      return FilePtr{};
    }
    ::unlink(name.c_str());
  }
  std::FILE* file = ::fdopen(fd, "w+b");
  if (!file) {
    ::close(fd);
  }
  return FilePtr{file};
}

bool SeekFile(std::FILE* file, std::uint64_t offset) {
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

}  // namespace tarvex
