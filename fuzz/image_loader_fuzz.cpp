// Fuzzes the image loader: any bytes, checked from memory and from a file, must give one verdict,
// and an accepted image must hold together.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "fuzz/fuzz_support.h"
#include "image/image_loader.h"
#include "image/model.h"

namespace {

using tarvex::ImageLoad;
using tarvex::fuzz::Require;

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
  static const std::string path = tarvex::fuzz::ScratchPath("input.zfr");
  tarvex::fuzz::WriteScratch(path, bytes);
  const ImageLoad fromFile = tarvex::LoadImage(path);
  std::remove(path.c_str());
  Require(SameVerdict(fromMemory, fromFile));
  if (fromMemory.ok()) {
    CheckAccepted(*fromMemory.image, bytes);
  }
  return 0;
}
