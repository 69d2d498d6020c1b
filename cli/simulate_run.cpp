#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "cli/fixture_pty.h"
#include "cli/interrupt_signals.h"
#include "cli/port_texts.h"
#include "cli/pty_commands.h"
#include "cli/terminal.h"
#include "link/serial_reader.h"
#include "platform/utf8_path.h"
#include "sim/fixture_line.h"
#include "sim/fixture_report.h"
#include "sim/fixture_runner.h"
#include "tools/atomic_file.h"

namespace tarvex::cli {

namespace {

// How often the main thread looks for Ctrl-C / SIGTERM, and redraws the progress line, while
// the fixture listens.
constexpr std::chrono::milliseconds SIGNAL_PERIOD{100};

// What the fixture has received so far, on one line redrawn in place; only on a terminal, so
// that piped output stays the plain report.
class LiveLine {
 public:
  explicit LiveLine(std::ostream& out) : out_(out), live_(IsLiveTerminal(out)) {}

  bool Live() const { return live_; }

  // `text` is ASCII, so cutting it anywhere keeps it whole. The last column stays empty: some
  // terminals wrap there.
  void Draw(const std::string& text) {
    const std::size_t columns = TerminalColumns();
    std::string line = columns == 0 || text.size() < columns ? text : text.substr(0, columns - 1);
    if (line != drawn_) {
      out_ << "\r\x1b[2K" << line << std::flush;
      drawn_ = std::move(line);
    }
  }

  void Clear() {
    if (!drawn_.empty()) {
      out_ << "\r\x1b[2K" << std::flush;
      drawn_.clear();
    }
  }

 private:
  std::ostream& out_;
  bool live_;
  std::string drawn_;
};

bool WriteMemory(const std::string& path, AtomicFile& file, const FixtureMemory& memory, Io io) {
  if (WriteIntelHex(memory, file.Stream()) && file.Commit()) {
    io.out << "Memory received written to " << path << " (Intel HEX, 32-bit addresses)\n";
    return true;
  }
  io.err << "tarvex-cli: cannot write " << path << ": "
         << (file.error().empty() ? std::string("write failed") : file.error()) << '\n';
  return false;
}

// Where the fixture listens: a new pseudo-terminal, or the port given.
class Listener {
 public:
  // False, with the reason told, when the line cannot be had.
  bool Open(const std::string& port, Io io) {
    if (port.empty()) {
      pty_ = MakeFixturePty(io);
      if (!pty_) {
        return false;
      }
      name_ = pty_->Path();
      return true;
    }
    reader_ = MakeNativeSerialReader();
    if (!reader_->Open(port, VirtualFixture().NextSettings())) {
      io.err << "tarvex-cli: cannot open " << port << ": " << reader_->LastError().Message()
             << '\n';
      return false;
    }
    portLine_.emplace(*reader_);
    name_ = port;
    return true;
  }

  const std::string& Name() const { return name_; }
  // Why reading the line failed, `lineError` being the runner's code.
  std::string FailureText(int lineError) const {
    return reader_ ? reader_->LastError().Message() : std::strerror(lineError);
  }
  // A port wired to the sender's is where the settings show; elsewhere they are only looked up.
  bool ChecksLine() const { return reader_ && reader_->ChecksLine(); }

  std::unique_ptr<FixtureRunner> Runner(const RunnerOptions& options) {
    if (pty_) {
      return pty_->Runner(options);
    }
    RunnerOptions exact = options;
    exact.fixture.parityView = ParityView::Exact;
    return std::make_unique<FixtureRunner>(*portLine_, exact);
  }

  // What the port's own counters say, after the run; nothing for a pseudo-terminal.
  std::string LineErrorsText() const {
    if (!reader_) {
      return {};
    }
    if (!reader_->ChecksLine()) {
      return std::string("Line errors:    ") + UNCHECKED_LINE_ERRORS + "\n";
    }
    const std::optional<LineErrorCounts> counts = reader_->ErrorCounts();
    if (!counts) {
      return "Line errors:    the driver keeps no counts (marked bytes are listed per frame)\n";
    }
    return "Line errors:    " + Describe(*counts) + "\n";
  }

 private:
  std::unique_ptr<FixturePty> pty_;
  std::unique_ptr<SerialReader> reader_;
  std::optional<PortFixtureLine> portLine_;
  std::string name_;
};

void Introduce(const Listener& listener, bool onPort, Io io) {
  io.out << "Simulated fixture listening on " << listener.Name() << '\n';
  if (onPort && !listener.ChecksLine()) {
    io.out << UNCHECKED_PORT_NOTE << '\n';
  }
  if (onPort) {
    io.out << "Waiting for a download or a test code through the port wired to it; Ctrl-C to "
              "stop.\n";
  } else {
    io.out << "Waiting for a download or a test code (e.g. tarvex-cli download --port "
           << listener.Name() << " IMAGE); Ctrl-C to stop.\n";
  }
  io.out << std::flush;
}

}  // namespace

int RunSimulate(const SimulateOptions& options, Io io) {
  if (options.port.empty() && !PseudoTerminalsAvailable(io)) {
    return EXIT_USAGE;
  }
  // Opened before the line exists: a result that cannot be kept is known before a download. It
  // replaces what was there only when the memory is all written.
  std::optional<AtomicFile> out;
  if (!options.out.empty()) {
    out.emplace(PathFromUtf8(options.out));
    if (!out->IsOpen()) {
      io.err << "tarvex-cli: cannot write " << options.out << ": " << out->error() << '\n';
      return EXIT_USAGE;
    }
  }
  Listener listener;
  if (!listener.Open(options.port, io)) {
    return EXIT_FAILED;
  }
  RunnerOptions runnerOptions;
  runnerOptions.fixture.gapScale = options.timeScale;
  runnerOptions.timeout =
      std::chrono::milliseconds(static_cast<std::int64_t>(options.timeoutS * 1000));
  const std::unique_ptr<FixtureRunner> owned = listener.Runner(runnerOptions);
  FixtureRunner& runner = *owned;
  // Before the runner's thread starts, so that it inherits the blocked signals.
  InterruptSignals signals;

  if (!runner.Start()) {
    io.err << "tarvex-cli: cannot start the fixture's thread\n";
    return EXIT_FAILED;
  }
  Introduce(listener, !options.port.empty(), io);
  LiveLine progress(io.out);
  while (!runner.WaitFor(std::chrono::milliseconds{0})) {
    if (progress.Live()) {
      progress.Draw(DescribeProgress(runner.Verdict()));
    }
    if (signals.WaitFor(SIGNAL_PERIOD)) {
      runner.Stop();
    }
  }
  progress.Clear();

  const FixtureVerdict verdict = runner.Verdict();
  switch (runner.End()) {
    case RunEnd::Stopped:
      io.err << "tarvex-cli: interrupted\n";
      if (verdict.anythingReceived) {
        io.out << DescribeVerdict(verdict);
      }
      return signals.ExitStatus();
    case RunEnd::LineFailed:
      io.err << "tarvex-cli: reading " << listener.Name()
             << " failed: " << listener.FailureText(runner.LineErrno()) << '\n';
      break;
    case RunEnd::TimedOut:
      io.out << "No download was over within " << options.timeoutS << " s.\n";
      break;
    case RunEnd::EndReceived:
    case RunEnd::TestCodeReceived:
    case RunEnd::Running:
      break;
  }
  io.out << listener.LineErrorsText() << DescribeVerdict(verdict);
  const bool written = !out || WriteMemory(options.out, *out, runner.Memory(), io);
  return (verdict.Intact() || verdict.TestCodeAlone()) && written ? EXIT_OK : EXIT_FAILED;
}

}  // namespace tarvex::cli
