// Fuzzes the image loader: any bytes, checked from memory and from a file, must give one verdict,
// and an accepted image must hold together.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <system_error>

#include "image/image_loader.h"
#include "image/model.h"

namespace {

using tarvex::ImageLoad;

// One file per process, written and removed for every input; memory-backed where the system has
// it.
const std::string& ScratchPath() {
  static const std::string path = [] {
    std::error_code error;
    const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm", error)
                                          ? std::filesystem::path("/dev/shm")
                                          : std::filesystem::temp_directory_path();
    return (dir / ("tarvex-fuzz-" + std::to_string(getpid()) + ".zfr")).string();
  }();
  return path;
}

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool SameVerdict(const ImageLoad& a, const ImageLoad& b) {
  if (a.ok() != b.ok()) {
    return false;
  }
  if (!a.ok()) {
    return a.rejection.reason == b.rejection.reason && a.rejection.message == b.rejection.message;
  }
  return a.image->header == b.image->header && a.image->modelText == b.image->modelText &&
         a.image->needsWake == b.image->needsWake && a.image->fileSize == b.image->fileSize;
}

// What every accepted image promises a download: its rows lie inside the bytes, and the fields
// come from the header.
void CheckAccepted(const tarvex::FirmwareImage& image, std::span<const std::uint8_t> bytes) {
  const std::uint32_t count = tarvex::SegmentCount(image.header);
  Require(count >= 1 && count <= tarvex::SEGMENT_ROWS_MAX);
  for (std::uint32_t i = 0; i < count; ++i) {
    const tarvex::SegmentEntry row = tarvex::SegmentAt(image.header, i);
    Require(std::uint64_t{row.fileOffset} + row.segmentLength <= bytes.size());
  }
  Require(tarvex::PREAMBLE_SIZE + std::uint64_t{tarvex::PayloadLength(image.header)} <=
          bytes.size());
  Require(image.modelName == tarvex::ModelNameOf(image.header));
  Require(image.needsWake == (tarvex::ClassifyModel(image.modelName) == 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const ImageLoad fromMemory = tarvex::LoadImageFromBytes(bytes);
  {
    std::ofstream file(ScratchPath(), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const ImageLoad fromFile = tarvex::LoadImage(ScratchPath());
  std::remove(ScratchPath().c_str());
  Require(SameVerdict(fromMemory, fromFile));
  if (fromMemory.ok()) {
    CheckAccepted(*fromMemory.image, bytes);
  }
  return 0;
}
