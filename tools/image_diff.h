// How two loaded images differ: header fields, and segments matched by target address. The
// segment data are compared straight from the files, a chunk at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/image_format.h"
#include "image/image_loader.h"

namespace tarvex {

struct HeaderChange {
  std::string field;  // the name `info --json` uses: "model", "needs_wake", "image_crc", ...
  // The value as text: a model name's 16 raw bytes without the trailing NULs, numbers in decimal
  // or hex.
  std::string a;
  std::string b;
};

enum class SegmentChangeKind { Added, Removed, Changed };

struct SegmentChange {
  SegmentChangeKind kind = SegmentChangeKind::Changed;
  std::optional<SegmentEntry> a;  // the row in the first image, unless added
  std::optional<SegmentEntry> b;  // the row in the second image, unless removed
  // Changed: bytes that differ where both have data, plus those only the longer one has.
  std::uint64_t differingBytes = 0;
  std::uint32_t Address() const { return a ? a->targetAddress : b->targetAddress; }
};

struct ImageDiff {
  std::vector<HeaderChange> header;
  std::vector<SegmentChange> segments;  // in address order
  std::string error;                    // a file could not be read again
  bool Identical() const { return header.empty() && segments.empty(); }
};

ImageDiff DiffImages(const FirmwareImage& a, const FirmwareImage& b);

}  // namespace tarvex
