#include "tools/image_diff.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>

#include "platform/file_ptr.h"
#include "platform/utf8_path.h"

namespace tarvex {

namespace {

constexpr std::size_t COMPARE_CHUNK = 4096;  // bytes read from each file per step

// The fixture is sent all 16 bytes of the name and byte 15 can decide the wake-up, so bytes
// after a NUL count; only the trailing NULs are left out of the text.
std::string ModelBytes(const ModelName& name) {
  std::string bytes(name.begin(), name.end());
  bytes.erase(bytes.find_last_not_of('\0') + 1);
  return bytes;
}

std::vector<HeaderChange> HeaderChanges(const FirmwareImage& a, const FirmwareImage& b) {
  const auto hex = [](std::uint32_t v) { return fmt::format("0x{:08X}", v); };
  const auto dec = [](std::uint32_t v) { return fmt::format("{}", v); };
  const std::vector<HeaderChange> all = {
      {"model", ModelBytes(a.modelName), ModelBytes(b.modelName)},
      {"needs_wake", dec(a.needsWake ? 1 : 0), dec(b.needsWake ? 1 : 0)},
      {"payload_length", dec(PayloadLength(a.header)), dec(PayloadLength(b.header))},
      {"image_crc", hex(ImageCrcField(a.header)), hex(ImageCrcField(b.header))},
      {"segment_count", dec(SegmentCount(a.header)), dec(SegmentCount(b.header))},
      {"reserved", hex(ReservedWord(a.header)), hex(ReservedWord(b.header))}};
  std::vector<HeaderChange> changes;
  std::copy_if(all.begin(), all.end(), std::back_inserter(changes),
               [](const HeaderChange& c) { return c.a != c.b; });
  return changes;
}

std::vector<SegmentEntry> Rows(const ImageHeader& header) {
  std::vector<SegmentEntry> rows;
  for (std::uint32_t i = 0; i < SegmentCount(header); ++i) {
    rows.push_back(SegmentAt(header, i));
  }
  return rows;
}

// Bytes that differ between the two segments' data; empty when a read falls short.
std::optional<std::uint64_t> CountDifferences(std::FILE* fa, const SegmentEntry& a, std::FILE* fb,
                                              const SegmentEntry& b) {
  const std::uint32_t common = std::min(a.segmentLength, b.segmentLength);
  std::uint64_t differing = std::max(a.segmentLength, b.segmentLength) - common;
  std::array<std::uint8_t, COMPARE_CHUNK> bufferA;
  std::array<std::uint8_t, COMPARE_CHUNK> bufferB;
  for (std::uint64_t done = 0; done < common;) {
    const auto chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(COMPARE_CHUNK, common - done));
    if (std::fseek(fa, static_cast<long>(a.fileOffset + done), SEEK_SET) != 0 ||
        std::fread(bufferA.data(), 1, chunk, fa) != chunk ||
        std::fseek(fb, static_cast<long>(b.fileOffset + done), SEEK_SET) != 0 ||
        std::fread(bufferB.data(), 1, chunk, fb) != chunk) {
      return std::nullopt;
    }
    for (std::size_t i = 0; i < chunk; ++i) {
      differing += bufferA[i] != bufferB[i] ? 1 : 0;
    }
    done += chunk;
  }
  return differing;
}

}  // namespace

ImageDiff DiffImages(const FirmwareImage& a, const FirmwareImage& b) {
  ImageDiff diff;
  diff.header = HeaderChanges(a, b);
  const FilePtr fa{OpenForReading(PathFromUtf8(a.path))};
  const FilePtr fb{OpenForReading(PathFromUtf8(b.path))};
  if (!fa || !fb) {
    diff.error = fmt::format("cannot open {} again", !fa ? a.path : b.path);
    return diff;
  }
  std::vector<SegmentEntry> rowsB = Rows(b.header);
  std::vector<bool> matched(rowsB.size(), false);
  for (const SegmentEntry& rowA : Rows(a.header)) {
    std::size_t j = 0;
    while (j < rowsB.size() && (matched[j] || rowsB[j].targetAddress != rowA.targetAddress)) {
      ++j;
    }
    if (j == rowsB.size()) {
      diff.segments.push_back({SegmentChangeKind::Removed, rowA, std::nullopt, 0});
      continue;
    }
    matched[j] = true;
    const auto differing = CountDifferences(fa.get(), rowA, fb.get(), rowsB[j]);
    if (!differing) {
      diff.error = "an image changed while it was compared: run diff again";
      return diff;
    }
    if (*differing > 0) {
      diff.segments.push_back({SegmentChangeKind::Changed, rowA, rowsB[j], *differing});
    }
  }
  for (std::size_t j = 0; j < rowsB.size(); ++j) {
    if (!matched[j]) {
      diff.segments.push_back({SegmentChangeKind::Added, std::nullopt, rowsB[j], 0});
    }
  }
  std::stable_sort(diff.segments.begin(), diff.segments.end(),
                   [](const auto& x, const auto& y) { return x.Address() < y.Address(); });
  return diff;
}

}  // namespace tarvex
