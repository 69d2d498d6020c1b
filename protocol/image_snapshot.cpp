#include "protocol/image_snapshot.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "image/image_bytes.h"
#include "image/private_file.h"
#include "image/utf8_path.h"

namespace tarvex {

namespace {

constexpr std::size_t COPY_CHUNK = 64 * 1024;  // bytes

struct Copied {
  FileCheck check = FileCheck::Same;
  std::uint64_t size = 0;
  std::string reason;
};

Copied Fail(FileCheck check, std::string reason) {
  return Copied{check, 0, std::move(reason)};
}

// Copies `from` into `to`. A file that has grown past the checked size is not the checked
// image, and copying stops there, so a file that keeps growing cannot fill the disk.
Copied CopyFile(std::FILE* from, std::FILE* to, std::uint64_t checkedSize) {
  std::vector<std::uint8_t> chunk(COPY_CHUNK);
  Copied copied;
  for (;;) {
    const std::size_t read = std::fread(chunk.data(), 1, chunk.size(), from);
    if (read == 0) {
      break;
    }
    copied.size += read;
    if (copied.size > checkedSize) {
      return Fail(FileCheck::Changed, "the image file has grown since it was checked");
    }
    if (std::fwrite(chunk.data(), 1, read, to) != read) {
      return Fail(FileCheck::Unavailable,
                  std::string("cannot copy the image: ") + std::strerror(errno));
    }
  }
  if (std::ferror(from)) {
    return Fail(FileCheck::Unavailable,
                std::string("cannot read the image file: ") + std::strerror(errno));
  }
  if (std::fflush(to) != 0) {
    return Fail(FileCheck::Unavailable,
                std::string("cannot copy the image: ") + std::strerror(errno));
  }
  return copied;
}

bool SameImage(const FirmwareImage& a, const FirmwareImage& b) {
  return a.header == b.header && a.fileSize == b.fileSize;
}

}  // namespace

ImageSnapshot::Taken ImageSnapshot::Take(const FirmwareImage& image) {
  const FilePtr source{OpenForReading(PathFromUtf8(image.path))};
  if (!source) {
    return Taken{FileCheck::Unavailable, nullptr,
                 std::string("cannot open the image file: ") + std::strerror(errno)};
  }
  FilePtr copy = OpenPrivateFile();
  if (!copy) {
    return Taken{FileCheck::Unavailable, nullptr,
                 std::string("cannot make a temporary copy of the image: ") + std::strerror(errno)};
  }
  const Copied copied = CopyFile(source.get(), copy.get(), image.fileSize);
  if (copied.check != FileCheck::Same) {
    return Taken{copied.check, nullptr, copied.reason};
  }
  // The copy is what will be sent, so the copy is what is checked.
  FileImageBytes bytes(copy.get());
  const ImageLoad load = CheckImageBytes(bytes, copied.size);
  if (!load.ok() || !SameImage(*load.image, image)) {
    const std::string why = load.ok() ? "it is another image" : load.rejection.message;
    return Taken{FileCheck::Changed, nullptr,
                 "the image file is no longer the one that was checked (" + why + ")"};
  }
  return Taken{FileCheck::Same, std::make_shared<ImageSnapshot>(std::move(copy), copied.size), {}};
}

bool ImageSnapshot::Read(std::uint64_t position, std::span<std::uint8_t> out) const {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  if (position >= size_) {
    return true;
  }
  const auto count =
      static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - position));
  std::lock_guard lock(mutex_);
  return SeekFile(file_.get(), position) && std::fread(out.data(), 1, count, file_.get()) == count;
}

}  // namespace tarvex
