// Building an image from runs of bytes: the header and table that the loader accepts, the data
// right after the 256-byte header in address order.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_format.h"
#include "tools/address_runs.h"

namespace tarvex {

struct ImageLayout {
  ImageHeader header{};  // with payloadLength, imageCrc and the table filled in
  std::string error;     // why these runs cannot be one image, and what to do
  bool ok() const { return error.empty(); }
};

// The reason a model name cannot be stored (longer than 16 bytes, or not printable ASCII, which
// is all a fixture's name holds); empty when it can.
std::string ModelTextProblem(std::string_view text);
// `text` NUL-padded to 16 bytes; call only when ModelTextProblem is empty.
ModelName ModelNameFromText(std::string_view text);

// Why runs of this count and total size cannot make one image: no bytes at all, more runs than
// the table holds, or a file past what 32-bit offsets reach. Empty when they can.
std::string LayoutProblem(std::size_t runCount, std::uint64_t totalBytes);

// One row per run, in the order given (address order from MergeRuns); refused as LayoutProblem
// says.
ImageLayout LayOutImage(const ModelName& model, const std::vector<AddressedBytes>& runs);

// Writes the header and then each run's bytes, through a temporary file; empty on success,
// otherwise the reason.
std::string WriteImageFile(const std::filesystem::path& path, const ImageLayout& layout,
                           const std::vector<AddressedBytes>& runs);

}  // namespace tarvex
