// A virtual fixture: decodes what arrives on the line as a fixture's loader would, checks it, and
// rebuilds the memory image the download carried. Pure: it is fed bytes with their arrival time
// and the line settings in force, and does no I/O of its own.
//
// Typical use, over a pseudo-terminal (see sim/fixture_runner.h):
//   PtyLine line;                                  // line.SlavePath() is the port to download to
//   FixtureRunner runner(line, {.fixture = {.gapScale = 0.01}});
//   runner.Start();
//   ... run a download into line.SlavePath() with the same time scale ...
//   runner.Wait();
//   FixtureVerdict verdict = runner.Verdict();     // verdict.Intact()
//   auto mismatches = CompareWithImage(verdict, runner.Memory(), image);
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_format.h"
#include "image/image_loader.h"
#include "protocol/line_settings.h"
#include "sim/fixture_memory.h"

namespace tarvex {

using FixtureClock = std::chrono::steady_clock;

enum class FixtureFrame : std::uint8_t {
  BreakByte,
  WakeFrame,
  AnnounceFrame,
  BlankFrame,
  ModelFrame,
  SizeFrame,
  StartFrame,
  BlockFrame,
  EndFrame,
  TestCode,  // the Test button's code, before a download
};
std::string_view FrameName(FixtureFrame frame);

// How much of the parity the receiving end can see. A pseudo-terminal clears PARENB but keeps
// PARODD, so there only "odd" versus "not odd" can be told apart.
enum class ParityView : std::uint8_t { Exact, OddOnly };

struct FixtureOptions {
  // Multiplies every minimum gap between frames; tests that compress the sender's time pass the
  // sender's scale.
  double gapScale = 1.0;
  // Allowed shortfall of a gap, unscaled: arrival times are taken by a reader thread, and a frame
  // read late makes the gap after it look short by that lateness, which on a busy machine can
  // reach several milliseconds. A missing wait (20 ms and more) is still caught.
  std::chrono::microseconds gapTolerance{15000};
  ParityView parityView = ParityView::Exact;
};

enum class FaultKind : std::uint8_t {
  BadCrc,             // a command frame's CRC-16 does not match its bytes
  WrongOrder,         // a frame where another was due, or anything after the end frame
  GapTooShort,        // a frame came sooner after the one before than the fixture needs
  WrongLineSettings,  // a frame arrived at a speed, parity or stop bits it must not use
  BadContent,         // fixed bytes of a frame are wrong, or a block is longer than 1024
  UnknownBytes,       // bytes that start no frame
  ModelMismatch,      // the model frame names another model than the announce frame
  ImplausibleSize,    // the size frame's payload length cannot be right
  Incomplete,         // the line went quiet inside a frame, or no end frame came
  LineErrors,         // bytes of a frame came with framing or parity errors (a real port only)
};

struct FixtureFault {
  FaultKind kind = FaultKind::Incomplete;
  std::chrono::microseconds at{0};  // since the first byte on the line
  std::string text;                 // one sentence, e.g. "BlockFrame at 0x00001000: bad CRC ..."
};

enum class ExchangeKind : std::uint8_t {
  Nothing,   // no whole frame yet
  TestCode,  // test codes and nothing else
  Download,  // a download began, after any test codes
};

// One exchange on the line: the test codes that came first and the download that followed them.
struct ExchangeVerdict {
  ExchangeKind kind = ExchangeKind::Nothing;
  bool anythingReceived = false;
  std::optional<ModelName> model;  // from the announce frame (or the model frame without one)
  std::string modelText;           // the model up to its first NUL
  bool wakeSeen = false;           // the break byte and the wake frame came first
  bool endSeen = false;            // the end frame arrived
  std::optional<std::uint32_t> announcedSize;  // payload length from the size frame
  std::vector<MemorySegment> segments;         // contiguous address ranges received
  std::uint64_t totalBytes = 0;                // distinct addresses written
  std::uint32_t blocks = 0;                    // block frames received, good or bad
  std::uint32_t testCodes = 0;                 // test codes received before the download
  std::uint32_t frames = 0;                    // whole frames of any kind
  std::uint64_t lineBytes = 0;                 // every byte, a frame's or not
  std::optional<FixtureFrame> lastFrame;       // how far it got
  std::vector<FixtureFault> faults;            // empty: the exchange arrived intact
  // A whole download without a fault.
  bool Intact() const { return kind == ExchangeKind::Download && faults.empty(); }
  // A test code that no download followed, without a fault.
  bool TestCodeAlone() const { return kind == ExchangeKind::TestCode && faults.empty(); }
};

// The last exchange, and the downloads that a new exchange cut short before it, as a fixture that
// is reset starts listening afresh.
struct FixtureVerdict : ExchangeVerdict {
  std::vector<ExchangeVerdict> interrupted;  // oldest first; each ends with an Incomplete fault
};

class VirtualFixture {
 public:
  explicit VirtualFixture(FixtureOptions options = {});

  // `bytes` arrived at `arrival` while the line was set to `settings` (baud 0: unknown, not
  // checked); `marked` holds the ascending indices of those that came with a framing or parity
  // error. A marked zero byte where a frame may begin is the break byte as a receiver faster than
  // the break sees it: the line held low through the stop bit. Chunks may split frames anywhere;
  // feed them in arrival order. `writtenFrom`, when given, is the earliest the bytes can have been
  // sent, for bytes that may have waited to be read: the gap after them is judged from then.
  void Feed(std::span<const std::uint8_t> bytes, FixtureClock::time_point arrival,
            const LineSettings& settings, std::span<const std::size_t> marked = {},
            std::optional<FixtureClock::time_point> writtenFrom = std::nullopt);

  // The settings the next frame is due at, for a receiver that must be set before it comes.
  LineSettings NextSettings() const;

  bool EndReceived() const { return now_.endSeen; }
  // Test codes have come, and no frame after them has begun.
  bool TestCodeWaiting() const;
  // The verdict so far; a download that is not over counts as incomplete.
  FixtureVerdict Verdict() const;
  // What the last download wrote.
  const FixtureMemory& Memory() const { return now_.memory; }

 private:
  enum class Phase : std::uint8_t {
    Idle,
    AfterBreak,
    AfterWake,
    AfterAnnounce,
    AfterBlank,
    AfterModel,
    AfterSize,
    AfterStart,
    InData,
    Finished,
  };

  // The frame being assembled.
  struct Pending {
    FixtureFrame frame = FixtureFrame::BreakByte;
    std::vector<std::uint8_t> bytes;
    std::size_t length = 0;  // 0 until known (a block's length follows its header)
    FixtureClock::time_point start;
    FixtureClock::time_point end;
    FixtureClock::time_point endFrom;           // the earliest its last bytes can have been sent
    std::optional<LineSettings> wrongSettings;  // first mismatch seen in one of its chunks
    std::size_t lineErrors = 0;                 // its bytes that came marked
  };

  // What the current exchange has brought so far.
  struct Exchange {
    Phase phase = Phase::Idle;
    bool downloadBegun = false;  // a frame of a download has come, whole or cut short
    std::optional<FixtureClock::time_point> lastFrameEnd;
    std::optional<FixtureFrame> lastFrame;
    bool breakSeen = false;
    bool endSeen = false;
    bool wakeSeen = false;
    std::optional<ModelName> announcedModel;
    std::optional<ModelName> modelFrameModel;
    std::optional<std::uint32_t> announcedSize;
    std::uint64_t dataBytes = 0;  // sum of the lengths of the good blocks
    std::uint32_t blocks = 0;
    std::uint32_t testCodes = 0;
    std::uint32_t dataFrames = 0;  // blocks and end frame, for the gap after the start frame
    std::uint32_t frames = 0;
    std::uint64_t lineBytes = 0;  // of whole frames and of unknown bytes already judged
    std::vector<FixtureFault> faults;
    FixtureMemory memory;
  };

  std::optional<FixtureFrame> Recognise(std::uint8_t first, const LineSettings& settings) const;
  void BeginFrame(FixtureFrame frame, FixtureClock::time_point arrival);
  std::size_t TakeBytes(std::span<const std::uint8_t> bytes, FixtureClock::time_point arrival,
                        FixtureClock::time_point writtenFrom, const LineSettings& settings);
  void CheckLineErrors();
  std::size_t Wanted() const;
  void Reclassify();
  void DropQuietFrame();
  FixtureFault QuietFrameFault() const;
  void NoteUnknownByte(FixtureClock::time_point arrival, std::uint8_t value);
  FixtureFault UnknownBytesFault() const;
  void FlushUnknownBytes();
  void CompleteFrame();
  bool DownloadUnderWay() const { return now_.downloadBegun && !now_.endSeen; }
  bool StartsNewExchange(FixtureFrame frame) const;
  void CloseExchange(FixtureFrame next);
  ExchangeVerdict Summary(const Exchange& exchange) const;
  static Phase PhaseAfter(FixtureFrame frame);
  void CheckOrder(FixtureFrame frame);
  void CheckGap(FixtureFrame frame);
  void CheckSettings();
  void CheckContent();
  void CheckBreak();
  void CheckWake();
  void CheckAnnounce();
  void CheckBlank();
  void CheckModelFrame();
  void CheckSizeFrame();
  void CheckStart();
  void CheckBlock();
  void CheckEnd();
  void CheckNothing();
  void ExpectText(std::string_view text, std::string_view what);
  void BadContent(std::string_view what);
  bool CheckCrc(std::string_view what);
  void AddFault(FaultKind kind, FixtureClock::time_point when, std::string text);
  std::chrono::microseconds Since(FixtureClock::time_point when) const;

  FixtureOptions options_;
  std::optional<Pending> pending_;
  std::optional<FixtureClock::time_point> firstByte_;
  std::uint64_t unknownRun_ = 0;  // consecutive bytes that started no frame
  FixtureClock::time_point unknownStart_;
  std::uint8_t unknownFirst_ = 0;
  Exchange now_;
  std::vector<ExchangeVerdict> interrupted_;
};

// Differences between what a fixture received and `image`: model, size, wake-up, memory. Empty
// when the fixture holds exactly the image.
std::vector<std::string> CompareWithImage(const FixtureVerdict& verdict,
                                          const FixtureMemory& received,
                                          const FirmwareImage& image);

}  // namespace tarvex
