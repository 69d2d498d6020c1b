// The image check: CRC-32 (IEEE 802.3) of the payload, streamed through one 1024-byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "image/image_bytes.h"

namespace tarvex {

// Continues a CRC-32/ISO-HDLC over `length` bytes; start with 0.
std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t length);

// CRC-32 of image bytes 32 .. 32 + payloadLength - 1. Empty when the bytes end (or cannot be
// read) before offset 32 + payloadLength.
std::optional<std::uint32_t> ImageCrc32(ImageBytes& bytes, std::uint32_t payloadLength);
// The same over an open file.
std::optional<std::uint32_t> ImageCrc32(std::FILE* file, std::uint32_t payloadLength);

}  // namespace tarvex
