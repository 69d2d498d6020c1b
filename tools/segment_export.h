// Writes a loaded image's segments out: one binary per row, and the whole image as one Intel HEX
// file with each segment at its target address. Data stream from the image file in chunks.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "image/image_loader.h"

namespace tarvex {

inline constexpr const char* SEGMENTS_HEX_FILE = "image.hex";

struct SegmentFiles {
  std::vector<std::string> segmentFiles;  // per row: "seg1-0x00010000.bin", ...
  std::string hexFile;
  std::string error;  // what could not be read or written
  bool ok() const { return error.empty(); }
};

// "seg<row, from 1>-0x<address, 8 hex digits>.bin"
std::string SegmentFileName(std::size_t row, std::uint32_t address);

// Whether `name` is one ExportSegments() writes: a segment's binary or the Intel HEX file.
bool IsExportFileName(const std::string& name);

// Creates `dir` when missing. Each file appears whole or not at all.
SegmentFiles ExportSegments(const FirmwareImage& image, const std::filesystem::path& dir);

}  // namespace tarvex
