// Writes the fuzzers' seed corpus into DIR/<target>: the images the loader's tests build (for
// the loader and for diff), whole and cut-short exchanges on a line as the fixture's tests feed
// them, HEX and ELF files, and pack's inputs. Usage: tarvex-write-corpus DIR
#include <fmt/format.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iterator>
#include <span>
#include <stdexcept>
#include <string>

#include "fuzz/line_script.h"
#include "tests/sim/download_script.h"
#include "tests/support/broken_images.h"
#include "tests/support/elf_builder.h"
#include "tests/support/image_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tarvex::LineSettings;
using tarvex::fuzz::LineScriptWriter;
using tarvex::test::ImagePlan;
using tarvex::test::Script;

constexpr std::uint8_t OPTIONS_DEFAULT = 0;
constexpr std::uint8_t OPTIONS_PTY_HUNDREDTH = 0x03;  // odd-only parity, gaps scaled by 0.01

void WriteImages(const fs::path& dir) {
  fs::create_directories(dir);
  tarvex::test::WriteImage(dir / "simple.zfr", tarvex::test::SimpleImagePlan());
  ImagePlan tiny{tarvex::test::Model("7K TINY"), {{0x100, tarvex::test::PseudoRandomBytes(20, 7)}}};
  tiny.dataStart = 48;  // a 68-byte file: shorter than a header
  tarvex::test::WriteImage(dir / "tiny.zfr", tiny);
  // The image diff's fuzz target compares against, and the same with byte 15 asking for the
  // wake-up.
  ImagePlan reference{tarvex::test::Model("FUZZ"),
                      {{0x1000, std::vector<std::uint8_t>(40, 0x5A)}, {0x8000, {1, 2, 3, 4}}}};
  tarvex::test::WriteImage(dir / "reference.zfr", reference);
  reference.model[15] = 'S';
  tarvex::test::WriteImage(dir / "reference-wake.zfr", reference);
  for (const tarvex::test::BrokenImage& broken : tarvex::test::BrokenImages()) {
    tarvex::test::WriteImage(dir / (broken.label + ".zfr"), broken.plan);
  }
}

const char* const HEX_SEEDS[][2] = {
    {"linear.hex", ":020000040800F2\n:0400100001020304E2\n:0400000508000000EF\n:00000001FF\n"},
    {"segment-wrap.hex", ":020000021000EC\r\n:04FFFE0001020304F5\r\n:00000001FF\r\n"},
    {"joined.hex", ":0100000042BD\n:00000001FF\n:0100100011DE\n:00000001FF\n"},
};

void WriteText(const fs::path& path, std::string_view text) {
  tarvex::test::WriteFileBytes(path, {text.begin(), text.end()});
}

std::vector<std::vector<std::uint8_t>> ElfSeeds() {
  using tarvex::test::PT_LOAD_TYPE;
  const auto text = tarvex::test::PseudoRandomBytes(100, 1);
  return {tarvex::test::Elf({{PT_LOAD_TYPE, 0x08000000, 0x08000000, text, 100},
                             {PT_LOAD_TYPE, 0x20000000, 0x08000064, {1, 2, 3, 4}, 16}}),
          tarvex::test::Elf({{PT_LOAD_TYPE, 0, 0x10000, text, 100}}, true)};
}

// pack's seed: flags (bit 0: the second input is a .hex), the raw input's address and length (both
// little-endian), its bytes, then the second input.
std::vector<std::uint8_t> PackSeed(std::uint8_t flags, std::uint32_t address,
                                   std::span<const std::uint8_t> second) {
  const std::uint8_t raw[] = {0xAA, 0xBB, 0xCC};
  std::vector<std::uint8_t> seed;
  seed.reserve(7 + sizeof raw + second.size());
  seed.push_back(flags);
  for (int shift = 0; shift < 32; shift += 8) {
    seed.push_back(static_cast<std::uint8_t>(address >> shift));
  }
  seed.push_back(sizeof raw);
  seed.push_back(0);
  seed.insert(seed.end(), std::begin(raw), std::end(raw));
  seed.insert(seed.end(), second.begin(), second.end());
  return seed;
}

void WriteInputSeeds(const fs::path& dir) {
  for (const char* target : {"intel_hex", "elf_input", "pack"}) {
    fs::create_directories(dir / target);
  }
  for (const auto& [name, text] : HEX_SEEDS) {
    WriteText(dir / "intel_hex" / name, text);
    const std::string_view view(text);
    tarvex::test::WriteFileBytes(
        dir / "pack" / name,
        PackSeed(1, 0x4000, {reinterpret_cast<const std::uint8_t*>(view.data()), view.size()}));
  }
  const auto elves = ElfSeeds();
  for (std::size_t i = 0; i < elves.size(); ++i) {
    tarvex::test::WriteFileBytes(dir / "elf_input" / fmt::format("app{}.elf", i), elves[i]);
    tarvex::test::WriteFileBytes(dir / "pack" / fmt::format("app{}.elf", i),
                                 PackSeed(0, 0x30000000, elves[i]));
  }
}

// What a pseudo-terminal shows of the settings: even parity reads as none.
LineSettings AsPtyShows(LineSettings settings) {
  if (settings.parity == tarvex::PARITY_CODE_EVEN) {
    settings.parity = tarvex::PARITY_CODE_NONE;
  }
  return settings;
}

// Each frame `gap * scale` after the one before, in chunks of at most `chunk` bytes.
void Append(LineScriptWriter& writer, const Script& script, double scale, std::size_t chunk,
            bool pty) {
  for (const tarvex::test::Sent& sent : script) {
    writer.Wait(std::chrono::duration_cast<std::chrono::microseconds>(sent.gap * scale));
    writer.Settings(pty ? AsPtyShows(sent.settings) : sent.settings);
    for (std::size_t at = 0; at < sent.bytes.size(); at += chunk) {
      writer.Feed({sent.bytes.data() + at, std::min(chunk, sent.bytes.size() - at)});
    }
  }
}

// Writes a seed after playing it back: a seed that does not decode as meant would steer the
// fuzzer away from the paths it is there to reach.
void WriteScript(const fs::path& path, const LineScriptWriter& writer,
                 bool (*meant)(const tarvex::FixtureVerdict&)) {
  tarvex::VirtualFixture fixture(tarvex::fuzz::LineScriptOptions(writer.Script()));
  tarvex::fuzz::PlayLineScript(writer.Script(), fixture);
  if (!meant(fixture.Verdict())) {
    throw std::runtime_error(path.filename().string() + " does not decode as meant");
  }
  tarvex::test::WriteFileBytes(path, writer.Script());
}

bool Intact(const tarvex::FixtureVerdict& verdict) {
  return verdict.Intact() && verdict.interrupted.empty();
}
bool TestCodeAlone(const tarvex::FixtureVerdict& verdict) {
  return verdict.TestCodeAlone();
}
bool IntactAfterAnInterruptedOne(const tarvex::FixtureVerdict& verdict) {
  return verdict.Intact() && verdict.interrupted.size() == 1;
}

// A full block, a short one, an empty segment: every kind of block in 1.1 KB of data.
ImagePlan SmallPlan(std::string_view model) {
  return {tarvex::test::Model(model),
          {{0x1000, tarvex::test::PseudoRandomBytes(1100, 1)},
           {0x8000, {}},
           {0x9000, tarvex::test::PseudoRandomBytes(10, 2)}}};
}

void WriteLineScripts(const fs::path& dir) {
  fs::create_directories(dir);
  const Script woken = tarvex::test::DownloadScript(SmallPlan("VUN D7 SEED"), true);
  const Script plain = tarvex::test::DownloadScript(SmallPlan("SEED"), false);
  const Script testCode{tarvex::test::Make(tarvex::TestCode(), 0ms)};

  LineScriptWriter wake(OPTIONS_DEFAULT);
  Append(wake, woken, 1.0, SIZE_MAX, false);
  WriteScript(dir / "download-wake", wake, Intact);

  LineScriptWriter pty(OPTIONS_PTY_HUNDREDTH);
  Append(pty, plain, 0.01, 61, true);
  WriteScript(dir / "download-pty-chunks", pty, Intact);

  LineScriptWriter test(OPTIONS_DEFAULT);
  Append(test, testCode, 1.0, SIZE_MAX, false);
  WriteScript(dir / "test-code", test, TestCodeAlone);

  // A test code, a download cut short after its first block, a quiet line, a new download.
  LineScriptWriter interrupted(OPTIONS_DEFAULT);
  Append(interrupted, testCode, 1.0, SIZE_MAX, false);
  Append(interrupted,
         Script(woken.begin(), woken.begin() + tarvex::test::IndexOf(woken, "BlockFrame") + 1), 1.0,
         SIZE_MAX, false);
  interrupted.Feed(std::vector<std::uint8_t>{0x12, 0x00, 0x10});
  interrupted.Wait(600ms);
  Append(interrupted, plain, 1.0, SIZE_MAX, false);
  WriteScript(dir / "interrupted", interrupted, IntactAfterAnInterruptedOne);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tarvex-write-corpus DIR\n");
    return 2;
  }
  try {
    WriteImages(fs::path(argv[1]) / "image_loader");
    WriteImages(fs::path(argv[1]) / "image_diff");
    WriteInputSeeds(fs::path(argv[1]));
    WriteLineScripts(fs::path(argv[1]) / "fixture_decoder");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarvex-write-corpus: %s\n", e.what());
    return 1;
  }
  return 0;
}
