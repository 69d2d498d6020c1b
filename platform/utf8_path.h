// File names travel through tarvex as UTF-8 text (what the command line and the window hand
// over); these turn one into something the platform opens.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace tarvex {

// The path that UTF-8 text names. On Linux the bytes stay as they are; on Windows they become
// UTF-16, so names outside the ANSI code page work. Text that is not UTF-8 there gives an empty
// path, which nothing opens.
std::filesystem::path PathFromUtf8(std::string_view utf8);

// The other way: a path as UTF-8 text.
std::string Utf8FromPath(const std::filesystem::path& path);

// std::fopen(path, "rb") for any name the platform allows; errno says why when it returns null.
// Only a regular file opens: a folder, a device or a FIFO is refused at once (EINVAL), never
// waited on.
std::FILE* OpenForReading(const std::filesystem::path& path);

}  // namespace tarvex
