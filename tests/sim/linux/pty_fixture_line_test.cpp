// What settings the fixture's line gives bytes written around re-opens, over a real
// pseudo-terminal, with the reads placed exactly between the sender's steps.
#include "sim/fixture_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/kernel_termios.h"
#include "link/serial_link.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;

constexpr LineSettings BREAK{100000, PARITY_CODE_EVEN, 1};
constexpr LineSettings WAKE{250000, PARITY_CODE_NONE, 2};
constexpr LineSettings DOWNLOAD{115200, PARITY_CODE_ODD, 1};
// As a pseudo-terminal shows them: even parity looks like none.
constexpr LineSettings BREAK_SEEN{100000, PARITY_CODE_NONE, 1};
constexpr LineSettings UNKNOWN{};

// One step: the sender sets the line, or writes `bytes`; or the fixture reads and expects `bytes`
// at `seen` (nothing, when `bytes` is empty).
struct Step {
  enum { Set, Write, Read } what;
  std::string bytes;
  LineSettings settings;
};

Step Set(const LineSettings& settings) {
  return {Step::Set, {}, settings};
}
Step Write(std::string bytes) {
  return {Step::Write, std::move(bytes), {}};
}
Step Read(std::string bytes, const LineSettings& seen = {}) {
  return {Step::Read, std::move(bytes), seen};
}

void Play(const std::vector<Step>& steps) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  PtyFixtureLine fixtureLine(line);
  const int sender = open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(sender, 0);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    SCOPED_TRACE("step " + std::to_string(i));
    if (step.what == Step::Set) {
      ASSERT_EQ(posix::ApplyLineSettings(sender, step.settings), 0);
    } else if (step.what == Step::Write) {
      ASSERT_EQ(write(sender, step.bytes.data(), step.bytes.size()),
                static_cast<ssize_t>(step.bytes.size()));
    } else {
      // Bytes of two writes may come in one read or two; each read's settings must be right.
      std::string got;
      do {
        const LineRead read = fixtureLine.Read(0ms);
        ASSERT_EQ(read.error, 0);
        if (read.received.bytes.empty()) {
          break;
        }
        got.append(read.received.bytes.begin(), read.received.bytes.end());
        EXPECT_EQ(read.settings, step.settings) << got;
      } while (got.size() < step.bytes.size());
      EXPECT_EQ(got, step.bytes);
    }
  }
  close(sender);
}

TEST(PtyFixtureLineTest, BytesAreNeverGivenTheSettingsOfALaterReopen) {
  Play({
      Set(BREAK),
      Read(""),  // the change is seen before anything is written
      Write(std::string(1, '\0')),
      Read(std::string(1, '\0'), BREAK_SEEN),
      // Written at the break's settings, read only after the next re-open: not at 250000.
      Write("a"),
      Set(WAKE),
      Read("a", UNKNOWN),
      Read(""),
      Write("wake"),
      Read("wake", WAKE),
      // A change between two writes that are read together.
      Write("b"),
      Set(DOWNLOAD),
      Write("c"),
      Read("bc", UNKNOWN),
      Read(""),
      Write("block"),
      Write("end"),
      Read("blockend", DOWNLOAD),
  });
}

// A re-open must not drop what the fixture has not read yet, as a flush of the output did.
TEST(PtyFixtureLineTest, AReopenKeepsWhatTheFixtureHasNotReadYet) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  const int sender = open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(sender, 0);
  // More than the master's read queue holds: the rest waits in the kernel's buffer before it.
  const std::string sent(6000, 'x');
  ASSERT_EQ(write(sender, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
  SerialLink link(MakeNativePortBackend());
  ASSERT_TRUE(link.OpenCommPort(line.SlavePath(), PARITY_CODE_ODD, 115200));
  link.CloseCommPort();
  close(sender);
  EXPECT_EQ(line.ReadFor(sent.size(), 2s).size(), sent.size());
}

}  // namespace
}  // namespace tarvex
