// RunLog: a run told as the CLI tells it, from the CLI's own code: the trace's JSON lines (start,
// one per frame, end) for "Save trace", and the end summary line.
#include <emscripten/bind.h>

#include <optional>
#include <string>

#include "cli/run_record.h"
#include "cli/trace_writer.h"
#include "web/core/js_values.h"
#include "web/core/plan.h"

namespace tarvex::web {

namespace {

using emscripten::val;

class RunLog {
 public:
  // The run of `plan` on `port` (the page names it by its USB ids); a download's image came from
  // the file `imageName`.
  RunLog(const std::string& port, const Plan& plan, const std::string& imageName) {
    result_.port = port;
    if (plan.Image() != nullptr) {
      image_ = *plan.Image();
    }
    kind_ = Image() != nullptr ? cli::JobKind::Download : cli::JobKind::Test;
    cli::Json start = cli::StartRecord(kind_, {port}, Image());
    start["tool"] = "tarvex-web " TARVEX_VERSION;
    if (Image() != nullptr) {
      start["image"] = imageName;
    }
    Add(start);
  }

  // One frame written at `tMs` from the start; `written` bytes of `length` were taken.
  void Frame(double tMs, std::uint32_t state, const std::string& name, std::uint32_t length,
             std::uint32_t baud, std::uint8_t parityCode, std::uint32_t written) {
    TraceEvent event;
    event.sinceStart = std::chrono::milliseconds(static_cast<std::int64_t>(tMs));
    event.state = static_cast<DownloadState>(state);
    event.frame = name;
    event.length = length;
    event.settings = MakeLineSettings(baud, parityCode);
    event.written = written;
    Add(cli::FrameRecord(result_.port, event));
    if (written > 0) {
      ++result_.sent.frames;
      result_.sent.bytes += written;
    }
  }

  // The run ended after `durationMs` with the plan's outcome; `message` is the text the user was
  // told (none for a cancel), `detail` what the browser said about it.
  val End(const std::string& outcome, const std::string& message, const std::string& detail,
          double durationMs) {
    result_.outcome = OutcomeFromName(outcome);
    if (!message.empty()) {
      result_.messages = {message};
    }
    result_.detail = detail;
    result_.ended =
        result_.started + std::chrono::milliseconds(static_cast<std::int64_t>(durationMs));
    Add(cli::EndRecord(result_, kind_));
    val end = val::object();
    end.set("word", cli::OutcomeWord(result_, kind_));
    end.set("ok", result_.outcome == cli::Goal(kind_));
    end.set("reason", cli::Reason(result_));
    end.set("summary", cli::SummaryLine(result_, kind_, Image()));
    end.set("frames", static_cast<double>(result_.sent.frames));
    end.set("bytes", static_cast<double>(result_.sent.bytes));
    return end;
  }

  // Every line so far, each closed by "\n".
  std::string Trace() const { return trace_; }

 private:
  const FirmwareImage* Image() const { return image_ ? &*image_ : nullptr; }
  void Add(const cli::Json& record) { trace_ += cli::JsonLine(record) + '\n'; }

  cli::JobKind kind_ = cli::JobKind::Test;
  std::optional<FirmwareImage> image_;  // a copy: the log may outlive the plan
  cli::PortResult result_;
  std::string trace_;
};

}  // namespace

EMSCRIPTEN_BINDINGS(tarvex_records) {
  emscripten::class_<RunLog>("RunLog")
      .constructor<const std::string&, const Plan&, const std::string&>()
      .function("frame", &RunLog::Frame)
      .function("end", &RunLog::End)
      .function("trace", &RunLog::Trace);
}

}  // namespace tarvex::web
