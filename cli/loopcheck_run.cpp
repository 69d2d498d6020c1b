// loopcheck: one process at both ends of two wired ports. At each line setting the downloader's
// own link writes a run of every byte value through --port while a reader on --via records what
// comes, with the error marks and the time of each read.
#include <fmt/format.h>

#include <atomic>
#include <memory>
#include <ostream>
#include <thread>

#include "cli/loop_check.h"
#include "cli/pty_commands.h"
#include "link/serial_link.h"
#include "link/serial_reader.h"
#include "platform/manual_event.h"

namespace tarvex::cli {

namespace {

using std::chrono::milliseconds;

// Long enough that the pauses between an adapter's reads are small beside it.
constexpr milliseconds BURST{2000};
// After the write has ended, what has not come by then is taken as lost.
constexpr milliseconds TRAILING_QUIET{500};
constexpr milliseconds READ_SLICE{20};
// What an adapter may send when its port is opened reaches the far end within this time; it is
// no part of the run.
constexpr milliseconds OPEN_SETTLE{50};
// A write may take twice its wire time and this much more. Past that nothing drains the far end
// (a pseudo-terminal nobody reads, flow control held), and the write is cut short rather than
// left to the link's own time-out of 50 ms a byte, which for one run is a quarter of an hour.
constexpr milliseconds WRITE_SLACK{2000};

// The settings every download uses, in the order they come on the line.
constexpr LineSettings SETTINGS[] = {
    {100000, PARITY_CODE_EVEN, 1},
    {250000, PARITY_CODE_NONE, 2},
    {115200, PARITY_CODE_ODD, 1},
};

// Reads until every byte sent has come, or the line has been quiet for a while after the write.
void Collect(SerialReader& reader, const std::atomic<bool>& written, LoopSample& sample) {
  LoopClock::time_point quietSince = LoopClock::now();
  while (sample.received.bytes.size() < sample.sent.size()) {
    const std::size_t before = sample.received.bytes.size();
    if (!reader.Read(READ_SLICE, sample.received)) {
      sample.failure = "reading failed: " + reader.LastError().Message();
      return;
    }
    const LoopClock::time_point now = LoopClock::now();
    if (sample.received.bytes.size() != before) {
      sample.arrivals.push_back({now, sample.received.bytes.size()});
      quietSince = now;
    } else if (written && now - quietSince >= TRAILING_QUIET) {
      return;
    }
  }
}

std::chrono::nanoseconds WriteBudget(std::size_t bytes, const LineSettings& settings) {
  const std::chrono::duration<double> wire(static_cast<double>(bytes) * BitsPerCharacter(settings) /
                                           settings.baud);
  return 2 * std::chrono::duration_cast<std::chrono::nanoseconds>(wire) + WRITE_SLACK;
}

// Writes the run through `link`, cutting the write short once its budget has passed.
std::uint32_t WriteWithin(SerialLink& link, const LoopSample& sample, bool& cut) {
  ManualEvent writeEnded;
  std::thread watchdog([&] {
    if (!writeEnded.WaitFor(WriteBudget(sample.sent.size(), sample.settings))) {
      cut = true;
      link.InterruptIo();
    }
  });
  const auto sent =
      link.WriteComm(sample.sent.data(), static_cast<std::uint32_t>(sample.sent.size()));
  writeEnded.Set();
  watchdog.join();
  return sent;
}

// Sends the pattern at `settings` and records what comes; the reader is open.
LoopSample Exchange(const LoopcheckOptions& options, SerialReader& reader,
                    const LineSettings& settings) {
  LoopSample sample;
  sample.settings = settings;
  sample.sent =
      LoopPattern(settings, std::chrono::duration_cast<milliseconds>(BURST * options.timeScale));
  if (!reader.Apply(settings)) {
    sample.failure = "cannot set " + options.via + ": " + reader.LastError().Message();
    return sample;
  }
  SerialLink link(MakeNativePortBackend());
  if (!link.OpenCommPort(options.port, settings.parity, settings.baud)) {
    sample.failure = "cannot open " + options.port + ": " + link.LastError().Message();
    return sample;
  }
  std::this_thread::sleep_for(OPEN_SETTLE);
  reader.DiscardInput();
  const std::optional<LineErrorCounts> before = reader.ErrorCounts();
  std::atomic<bool> written{false};
  std::thread collector([&] { Collect(reader, written, sample); });
  bool cut = false;
  const std::uint32_t sent = WriteWithin(link, sample, cut);
  const OsError writeError = link.LastError();
  written = true;
  collector.join();
  link.CloseCommPort();
  if (cut && sample.failure.empty()) {
    sample.failure = fmt::format(
        "{} took only {} of {} bytes in the time they need on the line: nothing reads its far end",
        options.port, sent, sample.sent.size());
  } else if (sent != sample.sent.size() && sample.failure.empty()) {
    sample.failure = "writing to " + options.port + " failed after " + std::to_string(sent) +
                     " bytes: " + writeError.Message();
  }
  sample.checksLine = reader.ChecksLine();
  const std::optional<LineErrorCounts> after = reader.ErrorCounts();
  if (before && after) {
    sample.counts = *after - *before;
  }
  return sample;
}

}  // namespace

int RunLoopcheck(const LoopcheckOptions& options, Io io) {
  const std::unique_ptr<SerialReader> reader = MakeNativeSerialReader();
  if (!reader->Open(options.via, SETTINGS[0])) {
    io.err << "tarvex-cli: cannot open " << options.via << ": " << reader->LastError().Message()
           << '\n';
    return EXIT_FAILED;
  }
  io.out << "Sending through " << options.port << ", receiving on " << options.via << '\n'
         << std::flush;
  bool allOk = true;
  for (const LineSettings& settings : SETTINGS) {
    const LoopVerdict verdict = JudgeLoop(Exchange(options, *reader, settings));
    io.out << verdict.line << '\n' << std::flush;
    allOk = allOk && verdict.ok;
  }
  return allOk ? EXIT_OK : EXIT_FAILED;
}

}  // namespace tarvex::cli
