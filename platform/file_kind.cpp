#include "platform/file_kind.h"

#include <system_error>

#include "platform/device_name.h"

namespace tarvex {

namespace {

namespace fs = std::filesystem;

const char* KindName(fs::file_type type) {
  switch (type) {
    case fs::file_type::regular:
      return "a regular file";
    case fs::file_type::directory:
      return "a folder";
    case fs::file_type::character:
      return "a character device";
    case fs::file_type::block:
      return "a block device";
    case fs::file_type::fifo:
      return "a FIFO";
    case fs::file_type::socket:
      return "a socket";
    default:
      return "of an unknown kind";
  }
}

// Empty when `path` is missing or of the `wanted` type; otherwise "(what it is)".
std::string KindProblem(const fs::path& path, fs::file_type wanted) {
  if (IsDeviceName(path)) {
    return "(a device)";
  }
  std::error_code error;
  const fs::file_status own = fs::symlink_status(path, error);
  if (own.type() == fs::file_type::not_found || own.type() == fs::file_type::none) {
    return {};  // missing, or not reachable: opening it tells why
  }
  const fs::file_status target = fs::status(path, error);
  if (target.type() == wanted) {
    return {};
  }
  if (target.type() == fs::file_type::not_found) {
    return "(a symbolic link that leads nowhere)";
  }
  const bool link = own.type() == fs::file_type::symlink;
  return std::string("(") + (link ? "a symbolic link to " : "") + KindName(target.type()) + ")";
}

}  // namespace

std::string NotAFileProblem(const fs::path& path) {
  const std::string kind = KindProblem(path, fs::file_type::regular);
  return kind.empty() ? kind : "not a regular file " + kind;
}

std::string NotAFolderProblem(const fs::path& path) {
  const std::string kind = KindProblem(path, fs::file_type::directory);
  return kind.empty() ? kind : "not a folder " + kind;
}

fs::path ThroughLinks(const fs::path& path) {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(path, error))) {
    return path;
  }
  fs::path target = fs::canonical(path, error);
  return error ? path : target;
}

}  // namespace tarvex
