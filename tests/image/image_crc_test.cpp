#include "image/image_crc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <span>
#include <string_view>

#include "image/image_crc_fold.h"
#include "image/image_format.h"
#include "platform/utf8_path.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using test::Bytes;
using test::PseudoRandomBytes;

// The register shifted bit by bit, the way CRC-32/ISO-HDLC is defined; `reg` is the register
// (the running value inverted) before the bytes, the result the register after them.
std::uint32_t BitwiseRegister(std::uint32_t reg, std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) {
    reg ^= b;
    for (int bit = 0; bit < 8; ++bit) {
      reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320 : reg >> 1;
    }
  }
  return reg;
}

std::uint32_t BitwiseCrc32(std::span<const std::uint8_t> bytes) {
  return ~BitwiseRegister(0xFFFFFFFF, bytes);
}

struct CheckValue {
  std::string_view text;
  std::uint32_t crc;
};

class Crc32Known : public testing::TestWithParam<CheckValue> {};

TEST_P(Crc32Known, MatchesPublishedValue) {
  const auto& c = GetParam();
  EXPECT_EQ(Crc32Update(0, reinterpret_cast<const std::uint8_t*>(c.text.data()), c.text.size()),
            c.crc);
}

INSTANTIATE_TEST_SUITE_P(CheckValues, Crc32Known,
                         testing::Values(CheckValue{"", 0x00000000}, CheckValue{"a", 0xE8B7BE43},
                                         CheckValue{"123456789", 0xCBF43926},
                                         CheckValue{"The quick brown fox jumps over the lazy dog",
                                                    0x414FA339}));

TEST(Crc32Update, EqualsTheBitwiseDefinitionAcrossSliceBoundaries) {
  for (std::size_t length : {1, 15, 16, 17, 31, 32, 33, 255, 1023, 1024, 1025, 4099}) {
    const Bytes bytes = PseudoRandomBytes(length, static_cast<std::uint32_t>(length));
    EXPECT_EQ(Crc32Update(0, bytes.data(), length), BitwiseCrc32(bytes)) << "length " << length;
  }
}

// Every length up to well past the folded path's minimum, from every alignment and from a running
// value that is not 0: the folded bulk and the looked-up tail must join without a seam.
TEST(Crc32Update, EqualsTheBitwiseDefinitionAtEveryLengthAndAlignment) {
  const Bytes bytes = PseudoRandomBytes(16 + 300, 21);
  for (std::size_t offset = 0; offset < 16; ++offset) {
    for (std::size_t length = 0; length <= 300; ++length) {
      const std::span<const std::uint8_t> run(bytes.data() + offset, length);
      const std::uint32_t before = 0x6D3A91F0 + static_cast<std::uint32_t>(length);
      ASSERT_EQ(Crc32Update(before, run.data(), run.size()), ~BitwiseRegister(~before, run))
          << "offset " << offset << ", length " << length;
    }
  }
}

// The folded path alone, wherever the machine has it, over whole chunks from varied registers.
TEST(FoldCrc32, AdvancesTheRegisterLikeTheBitwiseDefinition) {
  if (!CanFoldCrc32()) {
    GTEST_SKIP() << "no carry-less multiply on this machine";
  }
  const Bytes bytes = PseudoRandomBytes(CRC_CHUNK + 1, 33);
  for (std::size_t length = CRC32_FOLD_MIN; length <= CRC_CHUNK; length += CRC32_FOLD_STEP) {
    for (const std::uint32_t reg : {0x00000000u, 0xFFFFFFFFu, 0x80000001u, 0x1234ABCDu}) {
      const std::span<const std::uint8_t> run(bytes.data() + 1, length);  // unaligned on purpose
      ASSERT_EQ(FoldCrc32(reg, run.data(), run.size()), BitwiseRegister(reg, run))
          << "length " << length << ", register " << reg;
    }
  }
}

TEST(Crc32Update, ContinuingEqualsOnePass) {
  const Bytes bytes = PseudoRandomBytes(3000, 9);
  for (std::size_t split : {0, 1, 16, 1024, 2999}) {
    const std::uint32_t first = Crc32Update(0, bytes.data(), split);
    EXPECT_EQ(Crc32Update(first, bytes.data() + split, bytes.size() - split), BitwiseCrc32(bytes))
        << "split " << split;
  }
}

class ImageCrcFile : public testing::Test {
 protected:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

  // A file of `preamble` bytes of 0xEE followed by `payload`.
  FilePtr Open(const Bytes& payload, std::size_t preamble = 32) {
    Bytes bytes(preamble, 0xEE);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    const auto path = dir_.File("image-" + std::to_string(++files_) + ".zfr");
    test::WriteFileBytes(path, bytes);
    return FilePtr{OpenForReading(path)};
  }

  test::TempDir dir_;
  int files_ = 0;
};

// 1024 is one chunk, 1025 is 1024 + 1, 2048 is two chunks: always the one-pass value.
TEST_F(ImageCrcFile, ChunkBoundariesGiveTheOnePassValue) {
  for (std::uint32_t length : {1u, 1023u, 1024u, 1025u, 2047u, 2048u, 2049u, 5000u}) {
    const Bytes payload = PseudoRandomBytes(length, length);
    auto file = Open(payload);
    EXPECT_EQ(ImageCrc32(file.get(), length), BitwiseCrc32(payload)) << "length " << length;
  }
}

TEST_F(ImageCrcFile, EmptyPayloadOfA32ByteFileIsZero) {
  auto file = Open({});
  EXPECT_EQ(ImageCrc32(file.get(), 0), 0u);
}

TEST_F(ImageCrcFile, BytesAfterThePayloadTakeNoPart) {
  const Bytes payload = PseudoRandomBytes(1500, 3);
  Bytes longer = payload;
  longer.insert(longer.end(), {1, 2, 3, 4, 5});
  auto file = Open(longer);
  EXPECT_EQ(ImageCrc32(file.get(), 1500), BitwiseCrc32(payload));
}

struct ShortCase {
  std::size_t preamble;
  std::size_t payloadBytes;
  std::uint32_t declared;
};

class ImageCrcShortFile : public ImageCrcFile, public testing::WithParamInterface<ShortCase> {};

TEST_P(ImageCrcShortFile, FailsQuickly) {
  const auto& c = GetParam();
  auto file = Open(PseudoRandomBytes(c.payloadBytes, 5), c.preamble);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ImageCrc32(file.get(), c.declared), std::nullopt);
  // Wide margin: a short file is never walked for its declared length.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

INSTANTIATE_TEST_SUITE_P(
    Truncated, ImageCrcShortFile,
    testing::Values(ShortCase{32, 1024, 1025},         // one byte short, at a chunk boundary
                    ShortCase{32, 2047, 2048},         // one byte short inside the second chunk
                    ShortCase{31, 0, 0},               // no payload, but the preamble is cut
                    ShortCase{0, 0, 0},                // empty file
                    ShortCase{32, 100, 0xFFFFFFFF}));  // claims 4 GiB

}  // namespace
}  // namespace tarvex
