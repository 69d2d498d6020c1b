// What a path names, told before a command opens or replaces it: a device node, a FIFO or a
// socket where a file is expected would block an open() or be replaced by a rename, and neither
// is ours to touch.
#pragma once

#include <filesystem>
#include <string>

namespace tarvex {

// Empty when `path` is missing or a regular file (through symbolic links); otherwise why it cannot
// be taken as a file, e.g. "not a regular file (a FIFO)".
std::string NotAFileProblem(const std::filesystem::path& path);

// Empty when `path` is missing or a folder (through symbolic links); otherwise why it cannot be
// written into, e.g. "not a folder (a regular file)".
std::string NotAFolderProblem(const std::filesystem::path& path);

// The file or folder a symbolic link leads to, so that a rename replaces that and the link stays;
// `path` itself when it is no link or leads nowhere.
std::filesystem::path ThroughLinks(const std::filesystem::path& path);

}  // namespace tarvex
