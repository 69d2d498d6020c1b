// Throughput of the image check (CRC-32 streamed from a file through one 1024-byte buffer) and
// of the packet CRC-16 on a full block, with zlib's crc32 as the reference in the same run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <memory>

#include "bench/zlib_reference.h"
#include "image/image_crc.h"
#include "image/image_format.h"
#include "protocol/packet_crc.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace {

using tarvex::test::Bytes;

constexpr std::size_t MIB = 1024 * 1024;

using tarvex::bench::FilePtr;

// A file of `size` bytes of noise, written in 1 MiB pieces; kept for the whole run.
class PayloadFile {
 public:
  explicit PayloadFile(std::size_t size) : path_(dir_.File("payload.bin").string()), size_(size) {
    FilePtr file{std::fopen(path_.c_str(), "wb")};
    for (std::size_t done = 0; done < size; done += MIB) {
      const Bytes piece = tarvex::test::PseudoRandomBytes(std::min(MIB, size - done),
                                                          static_cast<std::uint32_t>(done));
      std::fwrite(piece.data(), 1, piece.size(), file.get());
    }
  }
  const std::string& path() const { return path_; }
  std::uint32_t payloadLength() const {
    return static_cast<std::uint32_t>(size_ - tarvex::PREAMBLE_SIZE);
  }

 private:
  tarvex::test::TempDir dir_;
  std::string path_;
  std::size_t size_;
};

const PayloadFile& FileOf(std::size_t mib) {
  static PayloadFile small(4 * MIB);
  static PayloadFile large(64 * MIB);
  return mib == 4 ? small : large;
}

long PeakRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_ImageCrc32File(benchmark::State& state) {
  const PayloadFile& payload = FileOf(static_cast<std::size_t>(state.range(0)));
  const long rssBefore = PeakRssKib();
  for (auto _ : state) {
    FilePtr file{std::fopen(payload.path().c_str(), "rb")};
    benchmark::DoNotOptimize(tarvex::ImageCrc32(file.get(), payload.payloadLength()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * payload.payloadLength());
  state.counters["peak_rss_growth_KiB"] = static_cast<double>(PeakRssKib() - rssBefore);
}
BENCHMARK(BM_ImageCrc32File)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);

// The same streaming loop with zlib's crc32 in place of ours.
void BM_ZlibCrc32File(benchmark::State& state) {
  const PayloadFile& payload = FileOf(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvex::bench::ZlibCrc32OfFile(payload.path(), tarvex::PREAMBLE_SIZE));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * payload.payloadLength());
}
BENCHMARK(BM_ZlibCrc32File)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);

// The CRC alone on 1024-byte chunks already in memory.
void BM_Crc32UpdateChunk(benchmark::State& state) {
  const Bytes chunk = tarvex::test::PseudoRandomBytes(tarvex::CRC_CHUNK, 7);
  std::uint32_t crc = 0;
  for (auto _ : state) {
    crc = tarvex::Crc32Update(crc, chunk.data(), chunk.size());
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk.size()));
}
BENCHMARK(BM_Crc32UpdateChunk);

void BM_ZlibCrc32Chunk(benchmark::State& state) {
  const Bytes chunk = tarvex::test::PseudoRandomBytes(tarvex::CRC_CHUNK, 7);
  uLong crc = 0;
  for (auto _ : state) {
    crc = crc32(crc, chunk.data(), static_cast<uInt>(chunk.size()));
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk.size()));
}
BENCHMARK(BM_ZlibCrc32Chunk);

// A full BlockFrame's checksum covers 1031 bytes.
void BM_PacketCrc16FullBlock(benchmark::State& state) {
  const Bytes block = tarvex::test::PseudoRandomBytes(1031, 11);
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvex::PacketCrc16(block.data(), 1031));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * block.size()));
}
BENCHMARK(BM_PacketCrc16FullBlock);

void BM_ZlibCrc32FullBlock(benchmark::State& state) {
  const Bytes block = tarvex::test::PseudoRandomBytes(1031, 11);
  for (auto _ : state) {
    benchmark::DoNotOptimize(crc32(0, block.data(), 1031));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * block.size()));
}
BENCHMARK(BM_ZlibCrc32FullBlock);

}  // namespace

BENCHMARK_MAIN();
