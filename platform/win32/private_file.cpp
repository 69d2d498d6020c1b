#include <stdio.h>
#include <windows.h>

#include <cerrno>

#include "platform/private_file.h"

namespace tarvex {

// "T" keeps the file in the cache where it can, "D" deletes it when it is closed.
FilePtr OpenPrivateFile() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"tvx", 0, name) == 0) {
    errno = ENOENT;
    return FilePtr{};
  }
  return FilePtr{_wfopen(name, L"w+bTD")};
}

bool SeekFile(std::FILE* file, std::uint64_t offset) {
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

}  // namespace tarvex
