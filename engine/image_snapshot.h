// A download's private copy of the checked image. It is taken from the file when the download
// first needs the file, checked on its own (CRC included) and compared with the image checked at
// Open; from then on every byte the download sends comes from it, so no byte that was not
// checked can reach the fixture, whatever happens to the file meanwhile. It lives in a private
// temporary file, so memory stays flat whatever the image's size, or in memory where no
// temporary file can be written; one serves every port of a run.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "image/image_loader.h"
#include "platform/file_ptr.h"
#include "protocol/image_source.h"

namespace tarvex {

class ImageSnapshot {
 public:
  struct Taken {
    FileCheck check = FileCheck::Unavailable;
    std::shared_ptr<const ImageSnapshot> snapshot;  // set when check is Same
    std::string reason;                             // why it is not, for a person
  };
  // Copies the file at image.path and checks the copy against `image`.
  static Taken Take(const FirmwareImage& image);

  // Fills `out` from `position` on; bytes past the end of the image are zeros. False when the
  // copy could not be read.
  bool Read(std::uint64_t position, std::span<std::uint8_t> out) const;
  std::uint64_t Size() const { return size_; }

  ImageSnapshot(FilePtr file, std::vector<std::uint8_t> memory, std::uint64_t size)
      : file_(std::move(file)), memory_(std::move(memory)), size_(size) {}

 private:
  mutable std::mutex mutex_;  // the ports of a run read it at once
  FilePtr file_;              // the copy, or empty when it is held in memory_
  std::vector<std::uint8_t> memory_;
  std::uint64_t size_ = 0;
};

}  // namespace tarvex
