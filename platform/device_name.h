// Names that open a device whatever the file system holds: on Windows CON, NUL, COM1 and the like
// (in any folder, with any extension) and the \\.\ namespace (\\.\COM10, \\.\pipe\x). Told from
// the name alone, so that no device is opened to find out.
#pragma once

#include <filesystem>

namespace tarvex {

// Always false where devices are nodes in the file system (they are seen by their type there).
bool IsDeviceName(const std::filesystem::path& path);

}  // namespace tarvex
