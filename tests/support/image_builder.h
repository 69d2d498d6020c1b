// Writes firmware images for tests: valid ones, and deliberately broken ones through overrides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "image/image_format.h"

namespace tarvex::test {

using Bytes = std::vector<std::uint8_t>;

struct SegmentPlan {
  SegmentPlan() = default;
  SegmentPlan(std::uint32_t address, Bytes bytes)
      : targetAddress(address), data(std::move(bytes)) {}

  std::uint32_t targetAddress = 0;
  Bytes data;
  // Written into the row instead of the true values (the data stay where the builder put them).
  std::optional<std::uint32_t> fileOffset;
  std::optional<std::uint32_t> segmentLength;
};

struct ImagePlan {
  ImagePlan() = default;
  ImagePlan(const ModelName& name, std::vector<SegmentPlan> rows)
      : model(name), segments(std::move(rows)) {}

  ModelName model{};  // 16 raw bytes; see Model()
  std::vector<SegmentPlan> segments;
  Bytes trailing;  // after the payload, outside the check

  // Where the first segment's data go; by default right after the 256-byte header, or after the
  // table when it is longer. Segment data follow each other in table order.
  std::optional<std::uint32_t> dataStart;

  // Deliberate faults. Stored instead of the true values:
  std::optional<std::uint32_t> payloadLength;
  std::optional<std::uint32_t> imageCrc;
  std::optional<std::uint32_t> segmentCount;
  // Applied after the CRC is computed, in this order:
  std::optional<std::size_t> truncateTo;                    // keep only this many bytes
  std::vector<std::pair<std::size_t, std::uint8_t>> bytes;  // (offset, value) overwrites
};

// A model name field: `text` then NUL bytes (at most 16 bytes of `text` are used).
ModelName Model(std::string_view text);

// Deterministic bytes that differ with `seed`.
Bytes PseudoRandomBytes(std::size_t count, std::uint32_t seed);

// The image file's bytes. Unless overridden, payloadLength covers everything from offset 32 to
// the end of the segment data, and imageCrc is its correct CRC-32.
Bytes BuildImage(const ImagePlan& plan);

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);
// Builds the image and writes it to `path`; returns `path`.
std::filesystem::path WriteImage(const std::filesystem::path& path, const ImagePlan& plan);

// A small valid image: model "TEST MODEL", segments of 1500 and 10 bytes.
ImagePlan SimpleImagePlan();

}  // namespace tarvex::test
