#include "tools/image_writer.h"

#include <fmt/format.h>

#include <algorithm>

#include "image/image_crc.h"
#include "tools/atomic_file.h"

namespace tarvex {

namespace {

// Every row's file offset and the payload length are 32-bit fields, so the whole file must stay
// within what a 32-bit offset reaches.
constexpr std::uint64_t FILE_SIZE_MAX = PAYLOAD_LENGTH_MAX;  // bytes

std::uint64_t TotalBytes(const std::vector<AddressedBytes>& runs) {
  std::uint64_t total = 0;
  for (const AddressedBytes& run : runs) {
    total += run.bytes.size();
  }
  return total;
}

std::uint32_t PayloadCrc(const ImageHeader& header, const std::vector<AddressedBytes>& runs) {
  std::uint32_t crc =
      Crc32Update(0, header.data() + PREAMBLE_SIZE, IMAGE_HEADER_SIZE - PREAMBLE_SIZE);
  for (const AddressedBytes& run : runs) {
    crc = Crc32Update(crc, run.bytes.data(), run.bytes.size());
  }
  return crc;
}

}  // namespace

std::string LayoutProblem(std::size_t runCount, std::uint64_t total) {
  if (total == 0) {
    return "the image would be empty: give at least one input with data";
  }
  if (runCount > SEGMENT_ROWS_MAX) {
    return fmt::format(
        "the inputs make {} separate address ranges, but an image holds at most {} segments: "
        "fill the gaps between ranges or leave some out",
        runCount, SEGMENT_ROWS_MAX);
  }
  if (IMAGE_HEADER_SIZE + total > FILE_SIZE_MAX) {
    return fmt::format(
        "the inputs hold {} bytes, more than a 4 GiB image can carry (at most {} after the "
        "header)",
        total, FILE_SIZE_MAX - IMAGE_HEADER_SIZE);
  }
  return {};
}

std::string ModelTextProblem(std::string_view text) {
  if (text.size() > MODEL_NAME_SIZE) {
    return fmt::format(
        "the model name \"{}\" has {} bytes; it may have at most {} ASCII characters", text,
        text.size(), MODEL_NAME_SIZE);
  }
  if (std::any_of(text.begin(), text.end(), [](char c) { return c < 0x20 || c > 0x7E; })) {
    return fmt::format("the model name may have at most {} ASCII characters, all printable",
                       MODEL_NAME_SIZE);
  }
  return {};
}

ModelName ModelNameFromText(std::string_view text) {
  ModelName name{};
  std::copy_n(text.begin(), std::min(text.size(), name.size()), name.begin());
  return name;
}

ImageLayout LayOutImage(const ModelName& model, const std::vector<AddressedBytes>& runs) {
  ImageLayout layout;
  layout.error = LayoutProblem(runs.size(), TotalBytes(runs));
  if (!layout.ok()) {
    return layout;
  }
  ImageHeader& header = layout.header;
  SetModelName(header, model);
  SetSegmentCount(header, static_cast<std::uint32_t>(runs.size()));
  std::uint64_t offset = IMAGE_HEADER_SIZE;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const auto length = static_cast<std::uint32_t>(runs[i].bytes.size());
    SetSegmentAt(header, i, {static_cast<std::uint32_t>(offset), runs[i].address, length});
    offset += length;
  }
  SetPayloadLength(header, static_cast<std::uint32_t>(offset - PREAMBLE_SIZE));
  SetImageCrc(header, PayloadCrc(header, runs));
  return layout;
}

std::string WriteImageFile(const std::filesystem::path& path, const ImageLayout& layout,
                           const std::vector<AddressedBytes>& runs) {
  AtomicFile file(path);
  file.Write(layout.header);
  for (const AddressedBytes& run : runs) {
    file.Write(run.bytes);
  }
  return file.Commit() ? std::string() : file.error();
}

}  // namespace tarvex
