#include "tests/support/image_builder.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "image/image_crc.h"

namespace tarvex::test {

namespace {

constexpr std::size_t PAYLOAD_LENGTH_AT = 0;
constexpr std::size_t IMAGE_CRC_AT = 4;
constexpr std::size_t SEGMENT_COUNT_AT = 12;

std::size_t DataStart(const ImagePlan& plan) {
  const std::size_t tableEnd = PREAMBLE_SIZE + SEGMENT_ROW_SIZE * plan.segments.size();
  return std::max<std::size_t>(plan.dataStart.value_or(IMAGE_HEADER_SIZE), tableEnd);
}

void Put32(Bytes& image, std::size_t offset, std::uint32_t value) {
  WriteLe32(image.data() + offset, value);
}

}  // namespace

ModelName Model(std::string_view text) {
  ModelName name{};
  std::copy_n(text.begin(), std::min(text.size(), name.size()), name.begin());
  return name;
}

Bytes PseudoRandomBytes(std::size_t count, std::uint32_t seed) {
  Bytes bytes(count);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;  // LCG; the high byte is the well-mixed one
    b = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

Bytes BuildImage(const ImagePlan& plan) {
  Bytes image(DataStart(plan), 0);
  for (std::size_t i = 0; i < plan.segments.size(); ++i) {
    const SegmentPlan& segment = plan.segments[i];
    const auto offset = static_cast<std::uint32_t>(image.size());
    image.insert(image.end(), segment.data.begin(), segment.data.end());
    const std::size_t row = PREAMBLE_SIZE + SEGMENT_ROW_SIZE * i;
    Put32(image, row, segment.fileOffset.value_or(offset));
    Put32(image, row + 4, segment.targetAddress);
    Put32(image, row + 8,
          segment.segmentLength.value_or(static_cast<std::uint32_t>(segment.data.size())));
  }
  const auto payloadLength = static_cast<std::uint32_t>(image.size() - PREAMBLE_SIZE);
  image.insert(image.end(), plan.trailing.begin(), plan.trailing.end());

  Put32(image, PAYLOAD_LENGTH_AT, plan.payloadLength.value_or(payloadLength));
  Put32(image, SEGMENT_COUNT_AT,
        plan.segmentCount.value_or(static_cast<std::uint32_t>(plan.segments.size())));
  std::copy(plan.model.begin(), plan.model.end(), image.begin() + MODEL_NAME_OFFSET);

  // The CRC of what the header declares, as far as the bytes reach. Summed in 64 bits: a claim
  // near 4 GiB would wrap a 32-bit size_t and read far past the bytes.
  const std::uint64_t declared = std::uint64_t{PREAMBLE_SIZE} + ReadLe32(image.data());
  const auto declaredEnd =
      static_cast<std::size_t>(std::min<std::uint64_t>(image.size(), declared));
  const std::uint32_t crc =
      Crc32Update(0, image.data() + PREAMBLE_SIZE, declaredEnd - PREAMBLE_SIZE);
  Put32(image, IMAGE_CRC_AT, plan.imageCrc.value_or(crc));

  if (plan.truncateTo) {
    image.resize(std::min(image.size(), *plan.truncateTo));
  }
  for (const auto& [offset, value] : plan.bytes) {
    if (offset >= image.size()) {
      throw std::out_of_range("byte override past the end of the image");
    }
    image[offset] = value;
  }
  return image;
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

std::filesystem::path WriteImage(const std::filesystem::path& path, const ImagePlan& plan) {
  WriteFileBytes(path, BuildImage(plan));
  return path;
}

ImagePlan SimpleImagePlan() {
  ImagePlan plan;
  plan.model = Model("TEST MODEL");
  plan.segments = {{0x00010000, PseudoRandomBytes(1500, 1)},
                   {0x00020000, PseudoRandomBytes(10, 2)}};
  return plan;
}

}  // namespace tarvex::test
