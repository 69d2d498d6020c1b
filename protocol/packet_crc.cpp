#include "protocol/packet_crc.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace tarvex {

namespace {

constexpr std::uint16_t MODBUS_POLY_REFLECTED = 0xA001;
constexpr std::uint16_t MODBUS_INIT = 0xFFFF;
// Sixteen bytes per step: their table look-ups are independent of each other, where the byte at
// a time form waits for each look-up before the next.
constexpr std::size_t SLICES = 16;
// Runs of zero chunks are skipped in powers of two up to this many chunks (a full frame is 65).
constexpr std::size_t ZERO_LEVELS = 8;
constexpr std::size_t SCAN = 4;  // chunks tested for zeros at once

using ByteTable = std::array<std::uint16_t, 256>;
using SliceTables = std::array<ByteTable, SLICES>;

// Table 0: the register after shifting a byte value through it bit by bit; table k advances a
// byte's contribution by k more bytes.
constexpr SliceTables MakeSliceTables() {
  SliceTables t{};
  for (unsigned n = 0; n < 256; ++n) {
    auto value = static_cast<std::uint16_t>(n);
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1u) ? static_cast<std::uint16_t>((value >> 1) ^ MODBUS_POLY_REFLECTED)
                           : static_cast<std::uint16_t>(value >> 1);
    }
    t[0][n] = value;
  }
  for (std::size_t k = 1; k < SLICES; ++k) {
    for (std::size_t n = 0; n < 256; ++n) {
      t[k][n] = static_cast<std::uint16_t>((t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFFu]);
    }
  }
  return t;
}

constexpr SliceTables TABLES = MakeSliceTables();

constexpr std::uint16_t ByteStep(std::uint16_t crc, std::uint8_t byte) {
  return static_cast<std::uint16_t>((crc >> 8) ^ TABLES[0][(crc ^ byte) & 0xFFu]);
}

// Zero bytes change the register by a fixed linear map, held as one table per register byte.
struct ZeroRun {
  ByteTable low;
  ByteTable high;
  constexpr std::uint16_t Apply(std::uint16_t crc) const {
    return static_cast<std::uint16_t>(low[crc & 0xFFu] ^ high[crc >> 8]);
  }
};

// Level k passes over 2^k chunks of SLICES zero bytes.
constexpr std::array<ZeroRun, ZERO_LEVELS> MakeZeroRuns() {
  std::array<ZeroRun, ZERO_LEVELS> runs{};
  auto oneChunk = [](std::uint16_t crc) {
    for (std::size_t i = 0; i < SLICES; ++i) {
      crc = ByteStep(crc, 0);
    }
    return crc;
  };
  for (unsigned n = 0; n < 256; ++n) {
    runs[0].low[n] = oneChunk(static_cast<std::uint16_t>(n));
    runs[0].high[n] = oneChunk(static_cast<std::uint16_t>(n << 8));
  }
  for (std::size_t k = 1; k < ZERO_LEVELS; ++k) {
    for (unsigned n = 0; n < 256; ++n) {
      runs[k].low[n] = runs[k - 1].Apply(runs[k - 1].Apply(static_cast<std::uint16_t>(n)));
      runs[k].high[n] = runs[k - 1].Apply(runs[k - 1].Apply(static_cast<std::uint16_t>(n << 8)));
    }
  }
  return runs;
}

constexpr std::array<ZeroRun, ZERO_LEVELS> ZERO_RUNS = MakeZeroRuns();

std::uint16_t SkipZeroChunks(std::uint16_t crc, std::uint32_t chunks) {
  constexpr std::uint32_t TOP = 1u << (ZERO_LEVELS - 1);
  for (; chunks >= TOP; chunks -= TOP) {
    crc = ZERO_RUNS[ZERO_LEVELS - 1].Apply(crc);
  }
  for (std::size_t k = 0; chunks != 0; ++k, chunks >>= 1) {
    if ((chunks & 1u) != 0) {
      crc = ZERO_RUNS[k].Apply(crc);
    }
  }
  return crc;
}

// Whether `chunks` chunks from `bytes` are all zero bytes.
bool AreZeroChunks(const std::uint8_t* bytes, std::size_t chunks) {
  std::uint64_t any = 0;
  for (std::size_t i = 0; i < chunks * SLICES / sizeof any; ++i) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i * sizeof word, sizeof word);
    any |= word;
  }
  return any == 0;
}

std::uint16_t SliceStep(std::uint16_t crc, const std::uint8_t* bytes) {
  auto value = static_cast<std::uint16_t>(TABLES[SLICES - 1][(bytes[0] ^ crc) & 0xFFu] ^
                                          TABLES[SLICES - 2][(bytes[1] ^ (crc >> 8)) & 0xFFu]);
  for (std::size_t k = 2; k < SLICES; ++k) {
    value = static_cast<std::uint16_t>(value ^ TABLES[SLICES - 1 - k][bytes[k]]);
  }
  return value;
}

}  // namespace

// Zero chunks cost a test each and their runs a few look-ups: frames of zeros (padding, and the
// schedule estimate's stand-in data) then cost next to nothing.
std::uint16_t PacketCrc16(const std::uint8_t* bytes, std::uint32_t length) {
  std::uint16_t crc = MODBUS_INIT;
  std::uint32_t zeroChunks = 0;
  for (; length >= SLICES; bytes += SLICES, length -= SLICES) {
    // Four chunks at a time while they are zero, then one.
    for (; length >= SCAN * SLICES && AreZeroChunks(bytes, SCAN); length -= SCAN * SLICES) {
      bytes += SCAN * SLICES;
      zeroChunks += SCAN;
    }
    if (length < SLICES) {
      break;
    }
    if (AreZeroChunks(bytes, 1)) {
      ++zeroChunks;
      continue;
    }
    crc = SliceStep(SkipZeroChunks(crc, zeroChunks), bytes);
    zeroChunks = 0;
  }
  crc = SkipZeroChunks(crc, zeroChunks);
  for (; length > 0; ++bytes, --length) {
    crc = ByteStep(crc, *bytes);
  }
  return crc;
}

}  // namespace tarvex
