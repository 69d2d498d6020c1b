// Fuzzes diff against a small reference image: an image is identical to itself, diff reads the
// same both ways round, and two images called identical download alike (model bytes, wake-up,
// rows).
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_support.h"
#include "image/image_loader.h"
#include "tools/address_runs.h"
#include "tools/image_diff.h"
#include "tools/image_writer.h"

namespace {

using tarvex::ImageDiff;
using tarvex::SegmentChangeKind;
using tarvex::fuzz::Require;

// Two segments under a model name that needs no wake-up. diff reads the file again, so it stays
// until the process ends.
struct ReferenceFile {
  std::string path = tarvex::fuzz::ScratchPath("reference.zfr");
  tarvex::FirmwareImage image;
  ReferenceFile() {
    const std::vector<tarvex::AddressedBytes> runs = {
        {0x1000, std::vector<std::uint8_t>(40, 0x5A), ""}, {0x8000, {1, 2, 3, 4}, ""}};
    tarvex::WriteImageFile(path, tarvex::LayOutImage(tarvex::ModelNameFromText("FUZZ"), runs),
                           runs);
    image = *tarvex::LoadImage(path).image;
  }
  ~ReferenceFile() { std::remove(path.c_str()); }
};

const tarvex::FirmwareImage& Reference() {
  static const ReferenceFile reference;
  return reference.image;
}

SegmentChangeKind Mirrored(SegmentChangeKind kind) {
  switch (kind) {
    case SegmentChangeKind::Added:
      return SegmentChangeKind::Removed;
    case SegmentChangeKind::Removed:
      return SegmentChangeKind::Added;
    case SegmentChangeKind::Changed:
      break;
  }
  return kind;
}

void RequireMirrored(const ImageDiff& forth, const ImageDiff& back) {
  Require(forth.header.size() == back.header.size());
  for (std::size_t i = 0; i < forth.header.size(); ++i) {
    Require(forth.header[i].a == back.header[i].b && forth.header[i].b == back.header[i].a);
  }
  Require(forth.segments.size() == back.segments.size());
  for (std::size_t i = 0; i < forth.segments.size(); ++i) {
    Require(Mirrored(forth.segments[i].kind) == back.segments[i].kind);
    Require(forth.segments[i].differingBytes == back.segments[i].differingBytes);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = tarvex::fuzz::ScratchPath("input.zfr");
  tarvex::fuzz::WriteScratch(path, {data, size});
  const tarvex::ImageLoad load = tarvex::LoadImage(path);
  if (load.ok()) {
    const tarvex::FirmwareImage& image = *load.image;
    const ImageDiff self = tarvex::DiffImages(image, image);
    Require(self.error.empty() && self.Identical());
    const ImageDiff forth = tarvex::DiffImages(Reference(), image);
    const ImageDiff back = tarvex::DiffImages(image, Reference());
    Require(forth.error.empty() && back.error.empty());
    RequireMirrored(forth, back);
    if (forth.Identical()) {
      Require(image.modelName == Reference().modelName && image.needsWake == Reference().needsWake);
      Require(tarvex::SegmentCount(image.header) == tarvex::SegmentCount(Reference().header));
    }
  }
  std::remove(path.c_str());
  return 0;
}
