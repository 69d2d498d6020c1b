#include "engine/image_file.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <vector>

#include "platform/utf8_path.h"

namespace tarvex {

namespace {

constexpr const char* CHANGED_DURING_DOWNLOAD = "the image file changed during the download";

}  // namespace

std::optional<std::uint64_t> ReadImageBytes(const std::string& path, std::uint32_t position,
                                            std::span<std::uint8_t> out) {
  std::ifstream file(PathFromUtf8(path), std::ios::binary | std::ios::ate);
  if (!file.is_open()) {
    return std::nullopt;
  }
  const std::streamoff size = file.tellg();
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  if (size < 0) {
    return std::nullopt;
  }
  file.seekg(static_cast<std::streamoff>(position), std::ios::beg);
  if (file) {
    file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  }
  return static_cast<std::uint64_t>(size);
}

// Only a change ends a download, so only its reason is kept; the ports of a run share it.
FileCheck SnapshotImageSource::Note(FileCheck check, std::string reason) const {
  if (check == FileCheck::Changed) {
    std::lock_guard lock(mutex_);
    reason_ = std::move(reason);
  }
  return check;
}

FileCheck SnapshotImageSource::Check(const FirmwareImage& image) const {
  std::unique_lock lock(mutex_);
  if (!snapshot_) {
    ImageSnapshot::Taken taken = ImageSnapshot::Take(image);
    snapshot_ = std::move(taken.snapshot);
    lock.unlock();
    return Note(taken.check, std::move(taken.reason));
  }
  lock.unlock();
  // The copy was checked in full; the file now only has to hold the same header at the same
  // size, since every later read compares the bytes it sends with the copy's.
  std::array<std::uint8_t, IMAGE_HEADER_SIZE> header{};
  return ReadBytes(image, 0, header);
}

FileCheck SnapshotImageSource::ReadBytes(const FirmwareImage& image, std::uint32_t position,
                                         std::span<std::uint8_t> out) const {
  std::shared_ptr<const ImageSnapshot> snapshot;
  {
    std::lock_guard lock(mutex_);
    snapshot = snapshot_;
  }
  if (!snapshot) {
    return FileCheck::Unavailable;  // not checked yet
  }
  std::vector<std::uint8_t> inFile(out.size());
  const std::optional<std::uint64_t> size = ReadImageBytes(image.path, position, inFile);
  if (!size) {
    return FileCheck::Unavailable;
  }
  if (!snapshot->Read(position, out)) {
    return FileCheck::Unavailable;
  }
  const bool same = *size == snapshot->Size() && std::equal(out.begin(), out.end(), inFile.begin());
  return Note(same ? FileCheck::Same : FileCheck::Changed, CHANGED_DURING_DOWNLOAD);
}

std::string SnapshotImageSource::Reason() const {
  std::lock_guard lock(mutex_);
  return reason_;
}

}  // namespace tarvex
