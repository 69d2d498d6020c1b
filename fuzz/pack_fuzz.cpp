// Fuzzes pack end to end: raw bytes at an address and a HEX or ELF file, read as pack reads its
// inputs, merged, laid out, written and loaded again. Whatever pack accepts must load, and every
// input byte must come back at its address.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "image/image_loader.h"
#include "tools/address_runs.h"
#include "tools/image_writer.h"
#include "tools/pack_input.h"

namespace {

using tarvex::AddressedBytes;
using tarvex::fuzz::Require;

constexpr std::size_t PREFIX = 7;  // flags, raw address (4), raw length (2)

// The input's bytes at `address`, from the image file as loaded: its row for that address.
void RequireAt(const tarvex::FirmwareImage& image, const std::string& file,
               const AddressedBytes& piece) {
  for (std::uint32_t i = 0; i < tarvex::SegmentCount(image.header); ++i) {
    const tarvex::SegmentEntry row = tarvex::SegmentAt(image.header, i);
    if (piece.address >= row.targetAddress &&
        piece.address - std::uint64_t{row.targetAddress} + piece.bytes.size() <=
            row.segmentLength) {
      const std::size_t at = row.fileOffset + (piece.address - row.targetAddress);
      Require(file.compare(at, piece.bytes.size(),
                           std::string(piece.bytes.begin(), piece.bytes.end())) == 0);
      return;
    }
  }
  Require(false);
}

// The inputs as pack reads them from the command line; empty when one is refused.
std::vector<AddressedBytes> ReadInputs(std::span<const std::uint8_t> bytes) {
  const std::uint8_t flags = bytes[0];
  const std::uint32_t address =
      bytes[1] | bytes[2] << 8 | bytes[3] << 16 | static_cast<std::uint32_t>(bytes[4]) << 24;
  const std::size_t rawLength =
      std::min<std::size_t>(bytes[5] | bytes[6] << 8, bytes.size() - PREFIX);
  const std::string raw = tarvex::fuzz::ScratchPath("raw.bin");
  const std::string other = tarvex::fuzz::ScratchPath((flags & 1) != 0 ? "in.hex" : "in.elf");
  tarvex::fuzz::WriteScratch(raw, bytes.subspan(PREFIX, rawLength));
  tarvex::fuzz::WriteScratch(other, bytes.subspan(PREFIX + rawLength));
  std::vector<AddressedBytes> pieces;
  for (const std::string& argument : {raw + "@" + std::to_string(address), other}) {
    tarvex::PackInput input = tarvex::ReadPackInput(argument);
    if (!input.ok()) {
      pieces.clear();
      break;
    }
    pieces.insert(pieces.end(), input.pieces.begin(), input.pieces.end());
  }
  std::remove(raw.c_str());
  std::remove(other.c_str());
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < PREFIX) {
    return 0;
  }
  const std::vector<AddressedBytes> pieces = ReadInputs({data, size});
  const tarvex::MergedRuns merged = tarvex::MergeRuns(pieces);
  if (pieces.empty() || !merged.ok()) {
    return 0;
  }
  const tarvex::ImageLayout layout =
      tarvex::LayOutImage(tarvex::ModelNameFromText("FUZZ"), merged.runs);
  if (!layout.ok()) {
    return 0;
  }
  const std::string image = tarvex::fuzz::ScratchPath("out.zfr");
  Require(tarvex::WriteImageFile(image, layout, merged.runs).empty());
  const tarvex::ImageLoad load = tarvex::LoadImage(image);
  const std::string file = tarvex::fuzz::ReadScratch(image);
  std::remove(image.c_str());
  Require(load.ok());
  for (const AddressedBytes& piece : pieces) {
    RequireAt(*load.image, file, piece);
  }
  return 0;
}
