// The steps' access to the image file: opened by its path, read and closed again every time,
// so a download never keeps the file open.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "image/image_format.h"
#include "image/image_loader.h"
#include "protocol/image_source.h"

namespace tarvex {

// The 16 model-name bytes (file offsets 16..31); empty when the file cannot be opened. Bytes
// the file does not have are zeros.
std::optional<ModelName> ReadModelName(const std::string& path);

// Fills `out` from file offset `position`. Bytes past the end of the file are zeros (a block
// whose segment reaches past the end goes out with its full length). False when the file cannot
// be opened.
bool ReadImageBytes(const std::string& path, std::uint32_t position, std::span<std::uint8_t> out);

// Checks the file again (CRC included) and compares it with `image`.
FileCheck CheckImageFile(const FirmwareImage& image);

// The source a download reads from: the file at image.path, through the three above.
const ImageSource& ImageFileSource();

}  // namespace tarvex
