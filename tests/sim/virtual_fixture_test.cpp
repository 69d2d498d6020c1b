#include "sim/virtual_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "image/image_loader.h"
#include "tests/sim/download_script.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::ImagePlan;
using test::Script;

constexpr FixtureOptions STRICT_TIMING{.gapScale = 1.0, .gapTolerance = 0us};

std::set<FaultKind> KindsOf(const FixtureVerdict& verdict) {
  std::set<FaultKind> kinds;
  for (const FixtureFault& fault : verdict.faults) {
    kinds.insert(fault.kind);
  }
  return kinds;
}

std::string Texts(const FixtureVerdict& verdict) {
  std::string texts;
  for (const FixtureFault& fault : verdict.faults) {
    texts += fault.text + "\n";
  }
  return texts;
}

ImagePlan ThreeSegmentPlan(std::string_view model) {
  ImagePlan plan(test::Model(model), {{0x00001000, test::PseudoRandomBytes(1500, 1)},
                                      {0x00008000, test::PseudoRandomBytes(10, 2)},
                                      {0x00010000, test::PseudoRandomBytes(3000, 3)}});
  return plan;
}

TEST(VirtualFixtureTest, WholeDownloadArrivesIntactAndMatchesTheImage) {
  for (const bool wake : {false, true}) {
    SCOPED_TRACE(wake ? "with wake-up" : "without wake-up");
    const ImagePlan plan = ThreeSegmentPlan(wake ? "7K SPOT" : "TEST MODEL");
    test::TempDir dir;
    const ImageLoad load = LoadImage(test::WriteImage(dir.File("a.zfr"), plan).string());
    ASSERT_TRUE(load.ok()) << load.rejection.message;
    ASSERT_EQ(load.image->needsWake, wake);

    VirtualFixture fixture(STRICT_TIMING);
    test::FeedScript(fixture, test::DownloadScript(plan, wake));
    const FixtureVerdict verdict = fixture.Verdict();

    EXPECT_TRUE(verdict.Intact()) << Texts(verdict);
    EXPECT_TRUE(verdict.endSeen);
    EXPECT_EQ(verdict.wakeSeen, wake);
    EXPECT_EQ(verdict.modelText, wake ? "7K SPOT" : "TEST MODEL");
    EXPECT_EQ(verdict.announcedSize, PayloadLength(load.image->header));
    EXPECT_EQ(verdict.segments,
              (std::vector<MemorySegment>{{0x1000, 1500}, {0x8000, 10}, {0x10000, 3000}}));
    EXPECT_EQ(verdict.totalBytes, 4510u);
    EXPECT_EQ(verdict.blocks, 6u);  // 1024 + 476, 10, 1024 + 1024 + 952
    EXPECT_TRUE(CompareWithImage(verdict, fixture.Memory(), *load.image).empty());
  }
}

TEST(VirtualFixtureTest, EmptySegmentsAndFullBlocksRebuildTheSameMemory) {
  const ImagePlan plan(test::Model("TEST MODEL"), {{0x100, {}},
                                                   {0x2000, test::PseudoRandomBytes(2048, 4)},
                                                   {0x3000, {}},
                                                   {0x2800, test::PseudoRandomBytes(5, 5)}});
  const Script script = test::DownloadScript(plan, false);
  VirtualFixture fixture(STRICT_TIMING);
  test::FeedScript(fixture, script);
  const FixtureVerdict verdict = fixture.Verdict();
  EXPECT_TRUE(verdict.Intact()) << Texts(verdict);
  EXPECT_EQ(verdict.blocks, 4u);  // two full blocks, the empty third segment, five bytes
  // 0x2000 + 2048 = 0x2800: the last segment continues the second one.
  EXPECT_EQ(verdict.segments, (std::vector<MemorySegment>{{0x2000, 2053}}));
}

TEST(VirtualFixtureTest, CompressedTimeIsAcceptedOnlyWithTheSameScale) {
  const Script script = test::DownloadScript(test::SimpleImagePlan(), true);
  VirtualFixture scaled({.gapScale = 0.01, .gapTolerance = 0us});
  test::FeedScript(scaled, script, 0.01);
  EXPECT_TRUE(scaled.Verdict().Intact()) << Texts(scaled.Verdict());

  VirtualFixture realPace(STRICT_TIMING);
  test::FeedScript(realPace, script, 0.01);
  EXPECT_EQ(KindsOf(realPace.Verdict()), std::set{FaultKind::GapTooShort});
}

TEST(VirtualFixtureTest, ToleranceAbsorbsReaderJitterOnly) {
  Script script = test::DownloadScript(test::SimpleImagePlan(), false);
  script[test::IndexOf(script, "SizeFrame")].gap = 17ms;  // 3 ms short
  VirtualFixture tolerant({.gapTolerance = 5ms});
  test::FeedScript(tolerant, script);
  EXPECT_TRUE(tolerant.Verdict().Intact()) << Texts(tolerant.Verdict());

  script[test::IndexOf(script, "SizeFrame")].gap = 10ms;
  VirtualFixture strict({.gapTolerance = 5ms});
  test::FeedScript(strict, script);
  EXPECT_EQ(KindsOf(strict.Verdict()), std::set{FaultKind::GapTooShort});
}

// A download spoilt in one way, and the faults the fixture must find in it.
struct SpoiltCase {
  std::string name;
  bool wake;
  std::function<void(Script&)> spoil;
  std::set<FaultKind> faults;
};

void PrintTo(const SpoiltCase& c, std::ostream* os) {
  *os << c.name;
}

Bytes BytesOf(const Frame& frame) {
  return {frame.bytes().begin(), frame.bytes().end()};
}

class SpoiltDownloadTest : public testing::TestWithParam<SpoiltCase> {};

TEST_P(SpoiltDownloadTest, FaultsAreFound) {
  Script script = test::DownloadScript(test::SimpleImagePlan(), GetParam().wake);
  GetParam().spoil(script);
  VirtualFixture fixture(STRICT_TIMING);
  test::FeedScript(fixture, script);
  const FixtureVerdict verdict = fixture.Verdict();
  EXPECT_FALSE(verdict.Intact());
  EXPECT_EQ(KindsOf(verdict), GetParam().faults) << Texts(verdict);
}

std::size_t At(const Script& script, std::string_view name, std::size_t nth = 0) {
  return test::IndexOf(script, name, nth);
}

// The break byte may have waited unread since the line was last found empty, 600 ms before it was
// read: the 500 ms after it, as read, are no proof that the wake-up came too soon.
TEST(VirtualFixtureTest, TheGapAfterBytesThatMayHaveWaitedIsJudgedFromTheirEarliest) {
  const Script script = test::DownloadScript(test::SimpleImagePlan(), true);
  for (const bool mayHaveWaited : {false, true}) {
    VirtualFixture fixture(STRICT_TIMING);
    const FixtureClock::time_point read = FixtureClock::time_point{} + 1h;
    const auto from = mayHaveWaited ? std::optional(read - 600ms) : std::nullopt;
    fixture.Feed(script[0].bytes, read, test::SETTINGS_8E1, {}, from);
    fixture.Feed(script[1].bytes, read + 500ms, test::SETTINGS_8N2);
    EXPECT_EQ(KindsOf(fixture.Verdict()).contains(FaultKind::GapTooShort), !mayHaveWaited)
        << Texts(fixture.Verdict());
  }
}

// Packing and checking accept any payload a 32-bit length can declare; so does the fixture.
TEST(VirtualFixtureTest, AnyPayloadAnImageCanHoldIsPlausible) {
  for (const std::uint64_t length : {std::uint64_t{64} * 1024 * 1024 + 1, PAYLOAD_LENGTH_MAX}) {
    Script script = test::DownloadScript(test::SimpleImagePlan(), false);
    ImageHeader header{};
    WriteLe32(header.data(), static_cast<std::uint32_t>(length));
    script[At(script, "SizeFrame")].bytes = BytesOf(SizeFrame(header));
    VirtualFixture fixture(STRICT_TIMING);
    test::FeedScript(fixture, script);
    EXPECT_TRUE(fixture.Verdict().Intact()) << length << ": " << Texts(fixture.Verdict());
    EXPECT_EQ(fixture.Verdict().announcedSize, length);
  }
}

const std::vector<SpoiltCase> SPOILT_CASES = {
    {"BlockDataChanged",
     false,
     [](Script& s) { s[At(s, "BlockFrame")].bytes[100] ^= 0x01; },
     {FaultKind::BadCrc}},
    {"ModelCrcChanged",
     false,
     [](Script& s) { s[At(s, "ModelFrame")].bytes[18] ^= 0x80; },
     {FaultKind::BadCrc}},
    {"SizeBeforeModel",
     false,
     [](Script& s) { std::swap(s[At(s, "ModelFrame")].bytes, s[At(s, "SizeFrame")].bytes); },
     {FaultKind::WrongOrder, FaultKind::GapTooShort}},
    {"StartMissing",
     false,
     [](Script& s) { s.erase(s.begin() + At(s, "StartFrame")); },
     {FaultKind::WrongOrder}},
    {"BlankMissing",
     false,
     [](Script& s) { s.erase(s.begin() + At(s, "BlankFrame")); },
     {FaultKind::WrongOrder}},
    {"WakeWithoutBreak", true, [](Script& s) { s.erase(s.begin()); }, {FaultKind::WrongOrder}},
    {"FrameAfterEnd",
     false,
     [](Script& s) { s.push_back(test::Make(EndFrame(), 100ms)); },
     {FaultKind::WrongOrder}},
    {"BlankTooSoon",
     false,
     [](Script& s) { s[At(s, "BlankFrame")].gap = 9999ms; },
     {FaultKind::GapTooShort}},
    {"WakeTooSoonAfterBreak",
     true,
     [](Script& s) { s[At(s, "WakeFrame")].gap = 500ms; },
     {FaultKind::GapTooShort}},
    {"AnnounceTooSoonAfterWake",
     true,
     [](Script& s) { s[At(s, "AnnounceFrame")].gap = 50ms; },
     {FaultKind::GapTooShort}},
    {"FirstBlockTooSoon",
     false,
     [](Script& s) { s[At(s, "BlockFrame")].gap = 19s; },
     {FaultKind::GapTooShort}},
    {"BlocksTooClose",
     false,
     [](Script& s) { s[At(s, "BlockFrame", 1)].gap = 60ms; },
     {FaultKind::GapTooShort}},
    {"BlockWithoutParity",
     false,
     [](Script& s) {
       s[At(s, "BlockFrame")].settings = {115200, PARITY_CODE_NONE, 2};
     },
     {FaultKind::WrongLineSettings}},
    {"AnnounceAtWakeSpeed",
     false,
     [](Script& s) { s[At(s, "AnnounceFrame")].settings = test::SETTINGS_8N2; },
     {FaultKind::WrongLineSettings}},
    {"BreakAtOddParity",
     true,
     [](Script& s) {
       s[At(s, "BreakByte")].settings = {100000, PARITY_CODE_ODD, 1};
     },
     {FaultKind::WrongLineSettings}},
    {"WakeWithOneStopBit",
     true,
     [](Script& s) {
       s[At(s, "WakeFrame")].settings = {250000, PARITY_CODE_NONE, 1};
     },
     {FaultKind::WrongLineSettings}},
    {"OtherModelInModelFrame",
     false,
     [](Script& s) { s[At(s, "ModelFrame")].bytes = BytesOf(ModelFrame(test::Model("OTHER"))); },
     {FaultKind::ModelMismatch}},
    {"SizeOfZero",
     false,
     [](Script& s) { s[At(s, "SizeFrame")].bytes = BytesOf(SizeFrame(ImageHeader{})); },
     {FaultKind::ImplausibleSize}},
    {"SizeSmallerThanData",
     false,
     [](Script& s) {
       ImageHeader header{};
       header[0] = 100;  // payload of 100 bytes, but 1510 data bytes follow
       s[At(s, "SizeFrame")].bytes = BytesOf(SizeFrame(header));
     },
     {FaultKind::ImplausibleSize}},
    {"BlankNotZero",
     false,
     [](Script& s) { s[At(s, "BlankFrame")].bytes[60] = 1; },
     {FaultKind::BadContent}},
    {"WakeNotFilled",
     true,
     [](Script& s) { s[At(s, "WakeFrame")].bytes[3] = 0xFA; },
     {FaultKind::BadContent}},
    {"StartMisspelt",
     false,
     [](Script& s) { s[At(s, "StartFrame")].bytes[4] = 'X'; },
     {FaultKind::BadContent}},
    {"BlockLongerThan1024",
     false,
     [](Script& s) {
       test::Sent& block = s[At(s, "BlockFrame")];
       block.bytes.resize(7);  // header only, claiming 2000 data bytes
       block.bytes[5] = 0xD0;
       block.bytes[6] = 0x07;
     },
     {FaultKind::BadContent}},
    {"GarbageBeforeStart",
     false,
     [](Script& s) {
       s.insert(s.begin() + At(s, "StartFrame"), {"garbage", {0x55, 0x55, 0xAA}, 5ms});
     },
     {FaultKind::UnknownBytes}},
    {"EndMissing", false, [](Script& s) { s.pop_back(); }, {FaultKind::Incomplete}},
    {"LastBlockCutShort",
     false,
     [](Script& s) {
       s.pop_back();
       s.back().bytes.resize(5);
     },
     {FaultKind::Incomplete}},
    {"NothingSent", false, [](Script& s) { s.clear(); }, {FaultKind::Incomplete}},
};

INSTANTIATE_TEST_SUITE_P(Spoilt, SpoiltDownloadTest, testing::ValuesIn(SPOILT_CASES),
                         [](const auto& param) { return param.param.name; });

TEST(VirtualFixtureTest, BadBlockIsDroppedFromTheMemory) {
  Script script = test::DownloadScript(test::SimpleImagePlan(), false);
  script[At(script, "BlockFrame", 1)].bytes[20] ^= 0xFF;  // second block of the first segment
  VirtualFixture fixture(STRICT_TIMING);
  test::FeedScript(fixture, script);
  const FixtureVerdict verdict = fixture.Verdict();
  EXPECT_EQ(verdict.blocks, 3u);
  EXPECT_EQ(verdict.segments, (std::vector<MemorySegment>{{0x10000, 1024}, {0x20000, 10}}));
  ASSERT_EQ(verdict.faults.size(), 1u);
  EXPECT_NE(verdict.faults[0].text.find("BlockFrame at 0x00010400"), std::string::npos)
      << verdict.faults[0].text;
  EXPECT_EQ(verdict.faults[0].at, 1s * (10 + 1) + 20ms + 20ms + 20s + 100ms);
}

TEST(VirtualFixtureTest, PseudoTerminalParityShowsOnlyOdd) {
  // A pseudo-terminal reports even parity as none; odd stays visible.
  Script script = test::DownloadScript(test::SimpleImagePlan(), true);
  script[At(script, "BreakByte")].settings = {100000, PARITY_CODE_NONE, 1};
  FixtureOptions options = STRICT_TIMING;
  options.parityView = ParityView::OddOnly;
  VirtualFixture accepting(options);
  test::FeedScript(accepting, script);
  EXPECT_TRUE(accepting.Verdict().Intact()) << Texts(accepting.Verdict());

  script[At(script, "ModelFrame")].settings = {115200, PARITY_CODE_NONE, 1};
  VirtualFixture refusing(options);
  test::FeedScript(refusing, script);
  EXPECT_EQ(KindsOf(refusing.Verdict()), std::set{FaultKind::WrongLineSettings});
}

// Chunks may split a frame anywhere: every split of every frame of a small download decodes the
// same, and so does a line that delivers one byte at a time.
TEST(VirtualFixtureTest, FramesSplitAnywhereDecodeTheSame) {
  const ImagePlan plan(test::Model("7K SPLIT"), {{0x40, test::PseudoRandomBytes(12, 6)}});
  Script script = test::DownloadScript(plan, true);
  script.insert(script.begin(), test::Make(TestCode(), 0ms));
  script[1].gap = 1s;
  VirtualFixture whole(STRICT_TIMING);
  test::FeedScript(whole, script);
  ASSERT_TRUE(whole.Verdict().Intact()) << Texts(whole.Verdict());

  for (std::size_t split = 0; split < script.size(); ++split) {
    for (std::size_t at = 1; at < script[split].bytes.size(); ++at) {
      SCOPED_TRACE(script[split].name + " split at " + std::to_string(at));
      VirtualFixture fixture(STRICT_TIMING);
      auto now = FixtureClock::time_point{} + 1h;
      for (std::size_t i = 0; i < script.size(); ++i) {
        const test::Sent& sent = script[i];
        now += sent.gap;
        const std::size_t first = i == split ? at : sent.bytes.size();
        fixture.Feed({sent.bytes.data(), first}, now, sent.settings);
        now += 10us;  // the rest of the frame comes a little later
        fixture.Feed({sent.bytes.data() + first, sent.bytes.size() - first}, now, sent.settings);
      }
      const FixtureVerdict verdict = fixture.Verdict();
      ASSERT_TRUE(verdict.Intact()) << Texts(verdict);
      ASSERT_EQ(fixture.Memory(), whole.Memory());
    }
  }

  VirtualFixture byteWise(STRICT_TIMING);
  auto now = FixtureClock::time_point{} + 1h;
  for (const test::Sent& sent : script) {
    now += sent.gap;
    for (const std::uint8_t byte : sent.bytes) {
      byteWise.Feed({&byte, 1}, now, sent.settings);
    }
  }
  EXPECT_TRUE(byteWise.Verdict().Intact()) << Texts(byteWise.Verdict());
  EXPECT_EQ(byteWise.Memory(), whole.Memory());
}

TEST(VirtualFixtureTest, TestCodesBeforeADownloadAreCountedNotFaulted) {
  Script script = test::DownloadScript(test::SimpleImagePlan(), false);
  script.insert(script.begin(), test::Make(TestCode(), 0ms));
  script.insert(script.begin(), test::Make(TestCode(), 0ms));
  script[2].gap = 3s;  // the announce frame
  VirtualFixture fixture(STRICT_TIMING);
  test::FeedScript(fixture, script);
  const FixtureVerdict verdict = fixture.Verdict();
  EXPECT_TRUE(verdict.Intact()) << Texts(verdict);
  EXPECT_EQ(verdict.testCodes, 2u);
  EXPECT_EQ(verdict.modelText, "TEST MODEL");

  VirtualFixture atWrongSpeed(STRICT_TIMING);
  atWrongSpeed.Feed(BytesOf(TestCode()), FixtureClock::now(), test::SETTINGS_8E1);
  const FixtureVerdict wrong = atWrongSpeed.Verdict();
  EXPECT_EQ(wrong.testCodes, 1u);
  EXPECT_EQ(KindsOf(wrong), std::set{FaultKind::WrongLineSettings});
}

TEST(VirtualFixtureTest, TestCodeAloneIsAWholeExchange) {
  VirtualFixture fixture(STRICT_TIMING);
  test::FeedScript(fixture, {test::Make(TestCode(), 0ms)});
  const FixtureVerdict verdict = fixture.Verdict();
  EXPECT_EQ(verdict.kind, ExchangeKind::TestCode);
  EXPECT_TRUE(verdict.TestCodeAlone()) << Texts(verdict);
  EXPECT_FALSE(verdict.Intact());
}

// A download cut short somewhere, then another one from its start: the first is reported as
// interrupted, the verdict and the memory are the second's alone.
struct RestartCase {
  std::string name;
  bool wakeBefore;
  std::string cutAfter;   // the last frame of the interrupted download that goes out
  std::size_t nth;        // of frames of that name
  std::size_t keptBytes;  // 0: the whole frame; else only its first bytes
  bool wakeAfter;
  FixtureFrame reached;  // the interrupted download's last whole frame
  // The new download comes at settings the line cannot tell (a pseudo-terminal linked to the
  // sender, or bytes that may straddle a re-open).
  bool unknownSettings = false;
};

void PrintTo(const RestartCase& c, std::ostream* os) {
  *os << c.name;
}

class RestartTest : public testing::TestWithParam<RestartCase> {};

TEST_P(RestartTest, TheNewDownloadIsJudgedAndTheOldOneReportedPartial) {
  const RestartCase& c = GetParam();
  Script script = test::DownloadScript(test::SimpleImagePlan(), c.wakeBefore);
  script.resize(At(script, c.cutAfter, c.nth) + 1);
  if (c.keptBytes != 0) {
    script.back().bytes.resize(c.keptBytes);
  }
  std::uint64_t cutBytes = 0;
  for (const test::Sent& sent : script) {
    cutBytes += sent.bytes.size();
  }
  Script again = test::DownloadScript(ThreeSegmentPlan("NEW MODEL"), c.wakeAfter);
  again.front().gap = 2s;
  for (test::Sent& sent : again) {
    sent.settings = c.unknownSettings ? LineSettings{} : sent.settings;
  }
  VirtualFixture fresh(STRICT_TIMING);
  test::FeedScript(fresh, again);
  script.insert(script.end(), again.begin(), again.end());

  VirtualFixture fixture(STRICT_TIMING);
  test::FeedScript(fixture, script);
  const FixtureVerdict verdict = fixture.Verdict();
  EXPECT_TRUE(verdict.Intact()) << Texts(verdict);
  EXPECT_EQ(verdict.modelText, "NEW MODEL");
  EXPECT_EQ(verdict.wakeSeen, c.wakeAfter);
  EXPECT_EQ(fixture.Memory(), fresh.Memory());
  ASSERT_EQ(verdict.interrupted.size(), 1u);
  const ExchangeVerdict& partial = verdict.interrupted[0];
  EXPECT_EQ(partial.kind, ExchangeKind::Download);
  EXPECT_EQ(partial.lastFrame, c.reached);
  EXPECT_EQ(partial.lineBytes, cutBytes);  // nothing of the new download
  ASSERT_FALSE(partial.faults.empty());
  EXPECT_EQ(partial.faults.back().kind, FaultKind::Incomplete);
  EXPECT_EQ(
      partial.faults.back().text.rfind(
          "interrupted after its " + std::string(FrameName(c.reached)) + ": a new download began",
          0),
      0u)
      << partial.faults.back().text;
}

const std::vector<RestartCase> RESTART_CASES = {
    // The blank frame is due, and also begins with "ZEFRA".
    {"AfterAnnounce", false, "AnnounceFrame", 0, 0, false, FixtureFrame::AnnounceFrame},
    {"AfterBreak", true, "BreakByte", 0, 0, true, FixtureFrame::BreakByte},
    {"InDataThenWakeUp", false, "BlockFrame", 1, 0, true, FixtureFrame::BlockFrame},
    {"InDataThenWakeUpAtUnknownSettings", false, "BlockFrame", 1, 0, true, FixtureFrame::BlockFrame,
     true},
    {"InsideABlock", true, "BlockFrame", 1, 100, false, FixtureFrame::BlockFrame},
    {"InsideTheModelFrame", false, "ModelFrame", 0, 5, false, FixtureFrame::BlankFrame},
};

INSTANTIATE_TEST_SUITE_P(Restart, RestartTest, testing::ValuesIn(RESTART_CASES),
                         [](const auto& param) { return param.param.name; });

TEST(VirtualFixtureTest, EachInterruptionIsReportedAndATestCodeEndsTheLast) {
  Script script = test::DownloadScript(test::SimpleImagePlan(), false);
  script.resize(At(script, "StartFrame") + 1);
  const Script first = script;
  script.insert(script.end(), first.begin(), first.end());
  script.push_back(test::Make(TestCode(), 3s));
  VirtualFixture fixture(STRICT_TIMING);
  test::FeedScript(fixture, script);
  const FixtureVerdict verdict = fixture.Verdict();
  EXPECT_TRUE(verdict.TestCodeAlone()) << Texts(verdict);
  EXPECT_TRUE(fixture.Memory().Empty());
  ASSERT_EQ(verdict.interrupted.size(), 2u);
  EXPECT_EQ(verdict.interrupted[0].faults.back().text,
            "interrupted after its StartFrame: a new download began");
  EXPECT_EQ(verdict.interrupted[1].faults.back().text,
            "interrupted after its StartFrame: a test code began");
}

TEST(VirtualFixtureTest, TwoFramesInOneChunkAreBothDecodedButTooClose) {
  Script script = test::DownloadScript(test::SimpleImagePlan(), false);
  const std::size_t size = At(script, "SizeFrame");
  script[size].bytes.insert(script[size].bytes.end(), script[size + 1].bytes.begin(),
                            script[size + 1].bytes.end());
  script.erase(script.begin() + size + 1);
  VirtualFixture fixture(STRICT_TIMING);
  test::FeedScript(fixture, script);
  const FixtureVerdict verdict = fixture.Verdict();
  EXPECT_EQ(KindsOf(verdict), std::set{FaultKind::GapTooShort}) << Texts(verdict);
  EXPECT_EQ(verdict.totalBytes, 1510u);
}

TEST(VirtualFixtureTest, ComparisonNamesWhatDiffersFromTheImage) {
  const ImagePlan plan = test::SimpleImagePlan();
  test::TempDir dir;
  const ImageLoad load = LoadImage(test::WriteImage(dir.File("a.zfr"), plan).string());
  ASSERT_TRUE(load.ok());

  // A sender that reads the wrong bytes still builds blocks with good CRCs: only the
  // comparison with the image can tell.
  ImagePlan wrong = plan;
  wrong.segments[1].data[3] ^= 0x10;
  wrong.model = test::Model("7K OTHER");
  VirtualFixture fixture(STRICT_TIMING);
  test::FeedScript(fixture, test::DownloadScript(wrong, true));
  const FixtureVerdict verdict = fixture.Verdict();
  ASSERT_TRUE(verdict.Intact()) << Texts(verdict);

  const std::vector<std::string> differences =
      CompareWithImage(verdict, fixture.Memory(), *load.image);
  ASSERT_EQ(differences.size(), 3u);
  EXPECT_EQ(differences[0], "model \"7K OTHER\" arrived, the image is for \"TEST MODEL\"");
  EXPECT_EQ(differences[1], "a wake-up came, but the image needs none");
  EXPECT_NE(differences[2].find("byte at 0x00020003"), std::string::npos) << differences[2];
}

}  // namespace
}  // namespace tarvex
