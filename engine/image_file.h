// The image as a download reads it: the file at its path, read and closed again every time, so
// a download never keeps the file open, and compared with the download's snapshot of the checked
// image, which is what is sent.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "engine/image_snapshot.h"
#include "image/image_format.h"
#include "image/image_loader.h"
#include "protocol/image_source.h"

namespace tarvex {

// The file's bytes from `position` (zeros past its end) and its size now; empty when the file
// cannot be opened.
std::optional<std::uint64_t> ReadImageBytes(const std::string& path, std::uint32_t position,
                                            std::span<std::uint8_t> out);

// The source of one run (one image, any number of ports). The first check takes the snapshot;
// a later one (another port's first, or after the file was missing for a while) compares the
// file's size and header with the snapshot's. Every read
// compares the file's bytes and size with the snapshot's and hands out the snapshot's: a file
// that changed ends the download before any changed byte goes out.
class SnapshotImageSource final : public ImageSource {
 public:
  FileCheck Check(const FirmwareImage& image) const override;
  FileCheck ReadBytes(const FirmwareImage& image, std::uint32_t position,
                      std::span<std::uint8_t> out) const override;
  std::string Reason() const override;

 private:
  FileCheck Note(FileCheck check, std::string reason) const;

  mutable std::mutex mutex_;
  mutable std::shared_ptr<const ImageSnapshot> snapshot_;
  mutable std::string reason_;  // of the last change found
};

}  // namespace tarvex
