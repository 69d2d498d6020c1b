// The fixture runner over a real pseudo-terminal, fed by the real serial link, in compressed time.
#include "sim/fixture_runner.h"

#include <gtest/gtest.h>

#include <memory>

#include "image/image_loader.h"
#include "tests/sim/download_script.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using test::Script;

constexpr auto RUN_LIMIT = 20s;  // far beyond any run here; only a hang reaches it

std::string Texts(const FixtureVerdict& verdict) {
  std::string texts;
  for (const FixtureFault& fault : verdict.faults) {
    texts += fault.text + "\n";
  }
  return texts;
}

RunnerOptions Compressed(double scale) {
  RunnerOptions options;
  options.fixture.gapScale = scale;
  options.settle = 100ms;
  options.timeout = RUN_LIMIT;
  return options;
}

TEST(FixtureRunnerTest, DownloadWithWakeUpArrivesIntactOverThePseudoTerminal) {
  constexpr double SCALE = 0.05;
  const test::ImagePlan plan(test::Model("7K RUNNER"),
                             {{0x00400000, test::PseudoRandomBytes(2100, 7)},
                              {0x00000010, test::PseudoRandomBytes(33, 8)}});
  test::TempDir dir;
  const ImageLoad load = LoadImage(test::WriteImage(dir.File("a.zfr"), plan).string());
  ASSERT_TRUE(load.ok()) << load.rejection.message;

  PtyLine line;
  ASSERT_TRUE(line.Ok());
  FixtureRunner runner(line, Compressed(SCALE));
  ASSERT_TRUE(runner.Start());
  test::PlayScript(line.SlavePath(), test::DownloadScript(plan, true), SCALE);

  ASSERT_TRUE(runner.WaitFor(RUN_LIMIT));
  EXPECT_EQ(runner.End(), RunEnd::EndReceived);
  const FixtureVerdict verdict = runner.Verdict();
  EXPECT_TRUE(verdict.Intact()) << Texts(verdict);
  EXPECT_TRUE(verdict.wakeSeen);
  EXPECT_EQ(verdict.blocks, 4u);
  EXPECT_TRUE(CompareWithImage(verdict, runner.Memory(), *load.image).empty());
}

// The runner reads the whole download only once the sender is done: each re-open is reported
// ahead of the frames written before it, and none may be judged at a later re-open's settings.
TEST(FixtureRunnerTest, AReaderLateForEveryReopenFindsNoWrongSettings) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  test::PlayScript(line.SlavePath(), test::DownloadScript(test::SimpleImagePlan(), true), 0.001);
  FixtureRunner runner(line, Compressed(0));  // it all arrives at once: no gap can be judged
  ASSERT_TRUE(runner.Start());

  ASSERT_TRUE(runner.WaitFor(RUN_LIMIT));
  const FixtureVerdict verdict = runner.Verdict();
  EXPECT_TRUE(verdict.Intact()) << Texts(verdict);
  EXPECT_TRUE(verdict.wakeSeen);
  EXPECT_EQ(verdict.totalBytes, 1510u);
}

TEST(FixtureRunnerTest, FramesAtTheWrongParityAreSeenOverThePseudoTerminal) {
  constexpr double SCALE = 0.01;
  Script script = test::DownloadScript(test::SimpleImagePlan(), false);
  // The sender forgets odd parity for the model frame (and re-opens for the size frame).
  script[test::IndexOf(script, "ModelFrame")].settings = {115200, PARITY_CODE_NONE, 2};
  // Re-opens come well away from the frame, so the runner can tell its settings.
  script[test::IndexOf(script, "ModelFrame")].gap = 10s;
  script[test::IndexOf(script, "SizeFrame")].gap = 10s;

  PtyLine line;
  ASSERT_TRUE(line.Ok());
  FixtureRunner runner(line, Compressed(SCALE));
  ASSERT_TRUE(runner.Start());
  test::PlayScript(line.SlavePath(), script, SCALE);

  ASSERT_TRUE(runner.WaitFor(RUN_LIMIT));
  const FixtureVerdict verdict = runner.Verdict();
  ASSERT_EQ(verdict.faults.size(), 1u) << Texts(verdict);
  EXPECT_EQ(verdict.faults[0].kind, FaultKind::WrongLineSettings);
  EXPECT_EQ(verdict.faults[0].text,
            "ModelFrame arrived at 115200 8(N or E)2; it must come at 115200 8O1");
  EXPECT_EQ(verdict.totalBytes, 1510u);
}

TEST(FixtureRunnerTest, StopEndsAnIdleRunPromptly) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  FixtureRunner runner(line);
  ASSERT_TRUE(runner.Start());
  EXPECT_FALSE(runner.Start());
  EXPECT_FALSE(runner.WaitFor(20ms));
  const auto asked = std::chrono::steady_clock::now();
  runner.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
  EXPECT_EQ(runner.End(), RunEnd::Stopped);
  EXPECT_FALSE(runner.Verdict().Intact());
  EXPECT_FALSE(runner.Start());  // a runner serves one download

  auto running = std::make_unique<FixtureRunner>(line);
  ASSERT_TRUE(running->Start());
  running.reset();  // joins its thread; a thread left running would abort here
}

TEST(FixtureRunnerTest, TimeOutEndsARunThatReceivedNothing) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  RunnerOptions options;
  options.timeout = 100ms;
  FixtureRunner runner(line, options);
  ASSERT_TRUE(runner.Start());
  ASSERT_TRUE(runner.WaitFor(RUN_LIMIT));
  EXPECT_EQ(runner.End(), RunEnd::TimedOut);
  const FixtureVerdict verdict = runner.Verdict();
  ASSERT_EQ(verdict.faults.size(), 1u);
  EXPECT_EQ(verdict.faults[0].text, "nothing arrived");
}

}  // namespace
}  // namespace tarvex
