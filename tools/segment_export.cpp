#include "tools/segment_export.h"

#include <fmt/format.h>

#include <array>
#include <cstdio>
#include <regex>
#include <system_error>

#include "platform/file_ptr.h"
#include "platform/utf8_path.h"
#include "tools/atomic_file.h"
#include "tools/intel_hex.h"

namespace tarvex {

namespace {

constexpr std::size_t EXPORT_CHUNK = 4096;  // bytes read from the image per step

// Copies one row's data into `bin` and `hex`; the problem, if any.
std::string ExportRow(std::FILE* image, const SegmentEntry& row, AtomicFile& bin,
                      IntelHexWriter& hex) {
  std::array<std::uint8_t, EXPORT_CHUNK> buffer;
  if (std::fseek(image, static_cast<long>(row.fileOffset), SEEK_SET) != 0) {
    return "cannot read the image again";
  }
  for (std::uint64_t done = 0; done < row.segmentLength;) {
    const auto chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(EXPORT_CHUNK, row.segmentLength - done));
    if (std::fread(buffer.data(), 1, chunk, image) != chunk) {
      return "the image changed while it was read: run unpack again";
    }
    const std::span<const std::uint8_t> bytes(buffer.data(), chunk);
    bin.Write(bytes);
    if (!hex.Write(std::uint64_t{row.targetAddress} + done, bytes)) {
      return "its data pass address 0xFFFFFFFF, which Intel HEX cannot hold";
    }
    done += chunk;
  }
  return {};
}

}  // namespace

std::string SegmentFileName(std::size_t row, std::uint32_t address) {
  return fmt::format("seg{}-0x{:08X}.bin", row, address);
}

bool IsExportFileName(const std::string& name) {
  static const std::regex segment("seg[0-9]+-0x[0-9A-F]{8}\\.bin");
  return name == SEGMENTS_HEX_FILE || std::regex_match(name, segment);
}

SegmentFiles ExportSegments(const FirmwareImage& image, const std::filesystem::path& dir) {
  SegmentFiles files;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    files.error = fmt::format("cannot create the folder: {}", error.message());
    return files;
  }
  const FilePtr source{OpenForReading(PathFromUtf8(image.path))};
  if (!source) {
    files.error = "cannot open the image again";
    return files;
  }
  AtomicFile hexFile(dir / SEGMENTS_HEX_FILE);
  IntelHexWriter hex(hexFile.Stream());
  for (std::uint32_t i = 0; i < SegmentCount(image.header); ++i) {
    const SegmentEntry row = SegmentAt(image.header, i);
    const std::string name = SegmentFileName(i + 1, row.targetAddress);
    AtomicFile bin(dir / name);
    if (const std::string problem = ExportRow(source.get(), row, bin, hex); !problem.empty()) {
      files.error = fmt::format("segment {}: {}", i + 1, problem);
      return files;
    }
    if (!bin.Commit()) {
      files.error = fmt::format("cannot write {}: {}", name, bin.error());
      return files;
    }
    files.segmentFiles.push_back(name);
  }
  hex.Finish();
  if (!hexFile.Commit()) {
    files.error = fmt::format("cannot write {}: {}", SEGMENTS_HEX_FILE, hexFile.error());
    return files;
  }
  files.hexFile = SEGMENTS_HEX_FILE;
  return files;
}

}  // namespace tarvex
