// A temporary file that only this process can reach and that disappears when it is closed: no
// other program can change it, and nothing is left behind whatever way the process ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "platform/file_ptr.h"

namespace tarvex {

// Empty when the system has no room or no temporary folder; errno says why.
FilePtr OpenPrivateFile();

// Positions `file` at `offset` (64-bit on every platform).
bool SeekFile(std::FILE* file, std::uint64_t offset);

}  // namespace tarvex
