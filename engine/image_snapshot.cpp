#include "engine/image_snapshot.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "image/image_bytes.h"
#include "platform/private_file.h"
#include "platform/utf8_path.h"

namespace tarvex {

namespace {

constexpr std::size_t COPY_CHUNK = 64 * 1024;  // bytes

// Where the copy goes: a private file, or memory.
struct Copy {
  FilePtr file;
  std::vector<std::uint8_t> memory;
  std::uint64_t size = 0;

  bool Append(const std::uint8_t* bytes, std::size_t count) {
    size += count;
    if (file) {
      return std::fwrite(bytes, 1, count, file.get()) == count;
    }
    memory.insert(memory.end(), bytes, bytes + count);
    return true;
  }
};

struct Copied {
  FileCheck check = FileCheck::Same;
  std::string reason;
};

// Copies `from` into `to`. A file that has grown past the checked size is not the checked
// image, and copying stops there, so a file that keeps growing cannot fill the disk.
Copied CopyFile(std::FILE* from, Copy& to, std::uint64_t checkedSize) {
  std::vector<std::uint8_t> chunk(COPY_CHUNK);
  for (;;) {
    const std::size_t read = std::fread(chunk.data(), 1, chunk.size(), from);
    if (read == 0) {
      break;
    }
    if (to.size + read > checkedSize) {
      return {FileCheck::Changed, "the image file has grown since it was checked"};
    }
    if (!to.Append(chunk.data(), read)) {
      return {FileCheck::Unavailable,
              std::string("cannot copy the image: ") + std::strerror(errno)};
    }
  }
  if (std::ferror(from)) {
    return {FileCheck::Unavailable,
            std::string("cannot read the image file: ") + std::strerror(errno)};
  }
  if (to.file && std::fflush(to.file.get()) != 0) {
    return {FileCheck::Unavailable, std::string("cannot copy the image: ") + std::strerror(errno)};
  }
  return {};
}

// Into a private file where one can be written (a full or size-limited temporary folder is met
// on production PCs), otherwise into memory.
Copied CopyImage(const FirmwareImage& image, std::FILE* from, Copy& to) {
  to.file = OpenPrivateFile();
  if (to.file) {
    const Copied copied = CopyFile(from, to, image.fileSize);
    if (copied.check != FileCheck::Unavailable || std::ferror(from)) {
      return copied;
    }
    to = Copy{};
    std::rewind(from);
  }
  return CopyFile(from, to, image.fileSize);
}

bool SameImage(const FirmwareImage& a, const FirmwareImage& b) {
  return a.header == b.header && a.fileSize == b.fileSize;
}

ImageLoad CheckCopy(Copy& copy) {
  if (copy.file) {
    FileImageBytes bytes(copy.file.get());
    return CheckImageBytes(bytes, copy.size);
  }
  MemoryImageBytes bytes(copy.memory);
  return CheckImageBytes(bytes, copy.size);
}

}  // namespace

ImageSnapshot::Taken ImageSnapshot::Take(const FirmwareImage& image) {
  const FilePtr source{OpenForReading(PathFromUtf8(image.path))};
  if (!source) {
    return Taken{FileCheck::Unavailable, nullptr,
                 std::string("cannot open the image file: ") + std::strerror(errno)};
  }
  Copy copy;
  const Copied copied = CopyImage(image, source.get(), copy);
  if (copied.check != FileCheck::Same) {
    return Taken{copied.check, nullptr, copied.reason};
  }
  // The copy is what will be sent, so the copy is what is checked.
  const ImageLoad load = CheckCopy(copy);
  if (!load.ok() || !SameImage(*load.image, image)) {
    const std::string why = load.ok() ? "it is another image" : load.rejection.message;
    return Taken{FileCheck::Changed, nullptr,
                 "the image file is no longer the one that was checked (" + why + ")"};
  }
  return Taken{
      FileCheck::Same,
      std::make_shared<ImageSnapshot>(std::move(copy.file), std::move(copy.memory), copy.size),
      {}};
}

bool ImageSnapshot::Read(std::uint64_t position, std::span<std::uint8_t> out) const {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  if (position >= size_) {
    return true;
  }
  const auto count =
      static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - position));
  if (!file_) {
    std::copy_n(memory_.begin() + static_cast<std::ptrdiff_t>(position), count, out.begin());
    return true;
  }
  std::lock_guard lock(mutex_);
  return SeekFile(file_.get(), position) && std::fread(out.data(), 1, count, file_.get()) == count;
}

}  // namespace tarvex
