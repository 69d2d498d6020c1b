// What `tarvex-cli info` does with an image (load and check it, then estimate the download
// time), beside zlib's crc32 streaming the same bytes from the same file in the same run, read
// as the reference program of scripts/info_vs_zlib reads them. Each also reports how far its
// resident memory rose above what it started with, at two image sizes, to show that it does not
// grow with the image. The whole processes, start-up and exit included, are compared by
// scripts/info_vs_zlib.
//
//   info_bench --benchmark_filter=48
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "bench/zlib_reference.h"
#include "image/image_format.h"
#include "image/image_loader.h"
#include "protocol/schedule.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr std::size_t MIB = 1024 * 1024;

// A valid image whose payload is one segment of `mib` MiB of noise; kept for the whole run.
class ImageFile {
 public:
  explicit ImageFile(std::size_t mib) : path_(dir_.File("image.zfr").string()) {
    tarvex::test::ImagePlan plan;
    plan.model = tarvex::test::Model("TEST MODEL");
    plan.segments = {{0x10000, tarvex::test::PseudoRandomBytes(mib * MIB, 5)}};
    tarvex::test::WriteImage(path_, plan);
  }
  const std::string& path() const { return path_; }

 private:
  tarvex::test::TempDir dir_;
  std::string path_;
};

const ImageFile& ImageOf(std::int64_t mib) {
  static ImageFile small(12);
  static ImageFile large(48);
  return mib == 12 ? small : large;
}

// A field of /proc/self/status in KiB.
long StatusKib(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      return std::stol(line.substr(field.size() + 1));
    }
  }
  return 0;
}

// Peak resident memory measured from here on: the setup's image in memory does not count.
long ResetPeakRss() {
  std::ofstream("/proc/self/clear_refs") << "5";
  return StatusKib("VmRSS");
}

void ReportBytesAndMemory(benchmark::State& state, const std::string& path, long rssBefore) {
  state.counters["rss_growth_KiB"] = static_cast<double>(StatusKib("VmHWM") - rssBefore);
  const tarvex::ImageLoad load = tarvex::LoadImage(path);
  const std::uint32_t payload = load.ok() ? tarvex::PayloadLength(load.image->header) : 0;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * payload);
}

void BM_InfoLoadAndEstimate(benchmark::State& state) {
  const ImageFile& image = ImageOf(state.range(0));
  const long rssBefore = ResetPeakRss();
  for (auto _ : state) {
    const tarvex::ImageLoad load = tarvex::LoadImage(image.path());
    benchmark::DoNotOptimize(tarvex::EstimateSchedule(*load.image));
  }
  ReportBytesAndMemory(state, image.path(), rssBefore);
}
BENCHMARK(BM_InfoLoadAndEstimate)->Arg(12)->Arg(48)->Unit(benchmark::kMillisecond);

// The two halves of it apart.
void BM_InfoLoad(benchmark::State& state) {
  const ImageFile& image = ImageOf(state.range(0));
  const long rssBefore = ResetPeakRss();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvex::LoadImage(image.path()));
  }
  ReportBytesAndMemory(state, image.path(), rssBefore);
}
BENCHMARK(BM_InfoLoad)->Arg(12)->Arg(48)->Unit(benchmark::kMillisecond);

void BM_InfoEstimate(benchmark::State& state) {
  const ImageFile& image = ImageOf(state.range(0));
  const tarvex::ImageLoad load = tarvex::LoadImage(image.path());
  const long rssBefore = ResetPeakRss();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvex::EstimateSchedule(*load.image));
  }
  ReportBytesAndMemory(state, image.path(), rssBefore);
}
BENCHMARK(BM_InfoEstimate)->Arg(12)->Arg(48)->Unit(benchmark::kMillisecond);

// The reference: zlib's crc32 over the payload, 1 MiB per read like the reference program (read
// 1 KiB at a time through stdio it took half as long again).
void BM_ZlibCrc32SameBytes(benchmark::State& state) {
  const ImageFile& image = ImageOf(state.range(0));
  const long rssBefore = ResetPeakRss();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvex::bench::ZlibCrc32OfFile(image.path(), tarvex::PREAMBLE_SIZE,
                                                            tarvex::bench::ZLIB_PROGRAM_CHUNK));
  }
  ReportBytesAndMemory(state, image.path(), rssBefore);
}
BENCHMARK(BM_ZlibCrc32SameBytes)->Arg(12)->Arg(48)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
