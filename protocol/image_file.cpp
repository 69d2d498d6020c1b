#include "protocol/image_file.h"

#include <algorithm>
#include <fstream>

#include "image/utf8_path.h"

namespace tarvex {

bool ReadImageBytes(const std::string& path, std::uint32_t position, std::span<std::uint8_t> out) {
  std::ifstream file(PathFromUtf8(path), std::ios::binary);
  if (!file.is_open()) {
    return false;
  }
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  file.seekg(static_cast<std::streamoff>(position), std::ios::beg);
  if (file) {
    file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  }
  return true;
}

std::optional<ModelName> ReadModelName(const std::string& path) {
  ModelName name{};
  if (!ReadImageBytes(path, MODEL_NAME_OFFSET, name)) {
    return std::nullopt;
  }
  return name;
}

FileCheck CheckImageFile(const FirmwareImage& image) {
  const ImageLoad load = LoadImage(image.path);
  if (!load.ok()) {
    return load.rejection.reason == ImageError::CannotOpen ? FileCheck::Unavailable
                                                           : FileCheck::Changed;
  }
  const FirmwareImage& now = *load.image;
  const bool same = now.header == image.header && now.fileSize == image.fileSize;
  return same ? FileCheck::Same : FileCheck::Changed;
}

namespace {

class FileSource final : public ImageSource {
 public:
  FileCheck Check(const FirmwareImage& image) const override { return CheckImageFile(image); }
  std::optional<ModelName> ModelNameOf(const FirmwareImage& image) const override {
    return ReadModelName(image.path);
  }
  bool ReadBytes(const FirmwareImage& image, std::uint32_t position,
                 std::span<std::uint8_t> out) const override {
    return ReadImageBytes(image.path, position, out);
  }
};

}  // namespace

const ImageSource& ImageFileSource() {
  static const FileSource source;
  return source;
}

}  // namespace tarvex
