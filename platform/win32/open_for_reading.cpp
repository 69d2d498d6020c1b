#include <io.h>
#include <stdio.h>
#include <windows.h>

#include <cerrno>

#include "platform/file_kind.h"
#include "platform/utf8_path.h"

namespace tarvex {

// The narrow fopen takes the ANSI code page; the wide one takes every name.
std::FILE* OpenForReading(const std::filesystem::path& path) {
  if (!NotAFileProblem(path).empty()) {
    errno = EINVAL;
    return nullptr;
  }
  std::FILE* file = _wfopen(path.c_str(), L"rb");
  // Reserved names (CON, NUL, COM1) open a device, whatever folder they are given in.
  if (file != nullptr &&
      GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
    std::fclose(file);
    errno = EINVAL;
    return nullptr;
  }
  return file;
}

}  // namespace tarvex
