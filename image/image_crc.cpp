#include "image/image_crc.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "image/image_crc_fold.h"
#include "image/image_format.h"

namespace tarvex {

namespace {

constexpr std::uint32_t CRC32_POLY_REFLECTED = 0xEDB88320;
// Sixteen bytes per step: each byte still costs one table look-up, but the sixteen look-ups of a
// step are independent of each other, which keeps the check near memory speed.
constexpr std::size_t SLICES = 16;

using Crc32Tables = std::array<std::array<std::uint32_t, 256>, SLICES>;

// Table 0 is the standard byte table; table k advances a byte's contribution by k more bytes.
constexpr Crc32Tables MakeTables() {
  Crc32Tables t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t value = n;
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1u) ? (value >> 1) ^ CRC32_POLY_REFLECTED : value >> 1;
    }
    t[0][n] = value;
  }
  for (std::size_t k = 1; k < SLICES; ++k) {
    for (std::size_t n = 0; n < 256; ++n) {
      t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFFu];
    }
  }
  return t;
}

constexpr Crc32Tables TABLES = MakeTables();

// A plain load where the machine is little-endian: ReadLe32 is not inlined here, and a call per
// four bytes would slow the check by a fifth.
inline std::uint32_t Le32(const std::uint8_t* bytes) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
  }
  return ReadLe32(bytes);
}

// Folds four bytes whose contributions lie `first` .. `first` - 3 bytes ahead.
inline std::uint32_t Fold4(std::uint32_t word, std::size_t first) {
  return TABLES[first][word & 0xFFu] ^ TABLES[first - 1][(word >> 8) & 0xFFu] ^
         TABLES[first - 2][(word >> 16) & 0xFFu] ^ TABLES[first - 3][word >> 24];
}

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t length) {
  crc = ~crc;
  if (length >= CRC32_FOLD_MIN && CanFoldCrc32()) {
    const std::size_t folded = length - length % CRC32_FOLD_STEP;
    crc = FoldCrc32(crc, bytes, folded);
    bytes += folded;
    length -= folded;
  }
  for (; length >= SLICES; bytes += SLICES, length -= SLICES) {
    crc = Fold4(Le32(bytes) ^ crc, 15) ^ Fold4(Le32(bytes + 4), 11) ^ Fold4(Le32(bytes + 8), 7) ^
          Fold4(Le32(bytes + 12), 3);
  }
  for (; length > 0; ++bytes, --length) {
    crc = (crc >> 8) ^ TABLES[0][(crc ^ *bytes) & 0xFFu];
  }
  return ~crc;
}

std::optional<std::uint32_t> ImageCrc32(ImageBytes& bytes, std::uint32_t payloadLength) {
  std::array<std::uint8_t, CRC_CHUNK> buffer;
  // The preamble must be whole even when the payload is empty: read its last byte.
  if (bytes.ReadAt(PREAMBLE_SIZE - 1, {buffer.data(), 1}) != 1) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  std::uint32_t done = 0;
  while (done < payloadLength) {
    const std::size_t chunk = std::min<std::size_t>(CRC_CHUNK, payloadLength - done);
    // A short read means the bytes end early (or failed): stop at once, whatever is declared.
    if (bytes.ReadAt(std::uint64_t{PREAMBLE_SIZE} + done, {buffer.data(), chunk}) != chunk) {
      return std::nullopt;
    }
    value = Crc32Update(value, buffer.data(), chunk);
    done += static_cast<std::uint32_t>(chunk);
  }
  return value;
}

std::optional<std::uint32_t> ImageCrc32(std::FILE* file, std::uint32_t payloadLength) {
  FileImageBytes bytes(file);
  return ImageCrc32(bytes, payloadLength);
}

}  // namespace tarvex
