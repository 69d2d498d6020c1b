#include "tests/support/broken_images.h"

#include <functional>

namespace tarvex::test {

namespace {

BrokenImage Broken(std::string label, const std::function<void(ImagePlan&)>& damage,
                   ImageError reason, std::string messageHas) {
  ImagePlan plan = SimpleImagePlan();
  damage(plan);
  return {std::move(label), std::move(plan), reason, std::move(messageHas)};
}

}  // namespace

// SimpleImagePlan: data at 256, 1500 + 10 bytes, so the file has 1766 bytes.
const std::vector<BrokenImage>& BrokenImages() {
  static const std::vector<BrokenImage> images = {
      Broken(
          "WrongCrc", [](ImagePlan& s) { s.imageCrc = 0x12345678; }, ImageError::CrcMismatch,
          "stored 0x12345678, computed 0x"),
      Broken(
          "PayloadByteChanged",
          [](ImagePlan& s) {
            s.bytes = {{1000, 0x00}, {1001, 0x01}};
          },
          ImageError::CrcMismatch, "CRC mismatch"),
      Broken(
          "OneByteShort", [](ImagePlan& s) { s.truncateTo = 1765; }, ImageError::ShorterThanPayload,
          "it has 1765 bytes, its header declares 1766"),
      Broken(
          "Claims4GiB", [](ImagePlan& s) { s.payloadLength = 0xFFFFFFFF; },
          ImageError::ShorterThanPayload, "declares 4294967327"),
      Broken(
          "ShorterThanPreamble", [](ImagePlan& s) { s.truncateTo = 20; }, ImageError::NotAnImage,
          "not a tarvex image: the file has 20 bytes"),
      Broken(
          "EmptyFile", [](ImagePlan& s) { s.truncateTo = 0; }, ImageError::NotAnImage,
          "has 0 bytes"),
      // Text where the numbers should be ("hello wo"...): neither payload nor table fits.
      Broken(
          "TextFile",
          [](ImagePlan& s) {
            s.payloadLength = 0x6C6C6568;
            s.segmentCount = 0x6F77206F;
          },
          ImageError::NotAnImage, "not a tarvex image: the file is shorter than"),
      Broken(
          "NoSegments", [](ImagePlan& s) { s.segmentCount = 0; }, ImageError::BadSegmentCount,
          "bad segment count 0"),
      Broken(
          "FifteenSegments", [](ImagePlan& s) { s.segmentCount = 15; }, ImageError::BadSegmentCount,
          "bad segment count 15"),
      Broken(
          "SegmentPastTheEnd", [](ImagePlan& s) { s.segments[1].segmentLength = 11; },
          ImageError::SegmentOutsideFile, "segment 2 outside the file"),
      Broken(
          "SegmentStartsPastTheEnd", [](ImagePlan& s) { s.segments[0].fileOffset = 1767; },
          ImageError::SegmentOutsideFile, "segment 1 outside the file"),
      // 0xFFFFFFF0 + 0x20 wraps to 0x10 in 32 bits, which would look inside the file.
      Broken(
          "SegmentEndWraps32Bits",
          [](ImagePlan& s) {
            s.segments[0].fileOffset = 0xFFFFFFF0;
            s.segments[0].segmentLength = 0x20;
          },
          ImageError::SegmentOutsideFile, "end at byte 4294967312"),
  };
  return images;
}

}  // namespace tarvex::test
