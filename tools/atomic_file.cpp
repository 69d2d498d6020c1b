#include "tools/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

#include "platform/file_kind.h"

namespace tarvex {

std::filesystem::path TemporaryBeside(const std::filesystem::path& target) {
  std::random_device seed;
  std::filesystem::path name = ".";
  name += target.filename();  // in the platform's own encoding: any name the target may have
  name += "." + std::to_string(seed()) + ".tmp";
  return target.parent_path() / name;
}

AtomicFile::AtomicFile(const std::filesystem::path& target)
    : target_(ThroughLinks(target)), temporary_(TemporaryBeside(target_)) {
  // A device node, a FIFO or a folder at the target is not ours to replace.
  error_ = NotAFileProblem(target_);
  if (!error_.empty()) {
    refused_ = true;
    return;
  }
  out_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!out_.is_open()) {
    error_ = std::strerror(errno);
  }
}

AtomicFile::~AtomicFile() {
  // Only a temporary file this object made is removed: a refused target never had one.
  if (!committed_ && !refused_) {
    out_.close();
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
  }
}

void AtomicFile::Write(std::span<const std::uint8_t> bytes) {
  out_.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

bool AtomicFile::Commit() {
  if (!error_.empty()) {
    return false;
  }
  out_.close();
  if (out_.fail()) {
    error_ = "write failed: " + std::string(std::strerror(errno));
    return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary_, target_, error);
  if (error) {
    error_ = error.message();
    return false;
  }
  committed_ = true;
  return true;
}

std::string WriteTextFile(const std::filesystem::path& path, const std::string& text) {
  AtomicFile file(path);
  file.Stream() << text;
  return file.Commit() ? std::string() : file.error();
}

}  // namespace tarvex
