// Where the loader and the image check read an image's bytes from: an open file, or bytes already
// in memory (an image that arrived some other way than as a file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

namespace tarvex {

class ImageBytes {
 public:
  virtual ~ImageBytes() = default;
  // Copies up to out.size() bytes from `offset` on; fewer at the end of the data or on a read
  // error, which Failure() then names.
  virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
  // Empty, or the system's text for the read error that cut a read short.
  virtual const std::string& Failure() const = 0;
};

// An open file, read where it is asked; consecutive reads do not seek again. Does not own it.
class FileImageBytes final : public ImageBytes {
 public:
  explicit FileImageBytes(std::FILE* file) : file_(file) {}
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
  const std::string& Failure() const override { return failure_; }

 private:
  std::FILE* file_;
  std::optional<std::uint64_t> position_;  // unknown until the first read
  std::string failure_;
};

// Bytes in memory, which must outlive it; a read never fails.
class MemoryImageBytes final : public ImageBytes {
 public:
  explicit MemoryImageBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
  const std::string& Failure() const override { return failure_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::string failure_;  // stays empty
};

}  // namespace tarvex
