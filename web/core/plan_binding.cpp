// The Plan's bindings: its actions as JavaScript objects, and the line's times.
#include <emscripten/bind.h>

#include "protocol/line_settings.h"
#include "protocol/texts.h"
#include "web/core/js_values.h"
#include "web/core/plan.h"

namespace tarvex::web {

namespace {

using emscripten::val;

const char* KindName(PlanAction::Kind kind) {
  switch (kind) {
    case PlanAction::Kind::Open:
      return "open";
    case PlanAction::Kind::Reopen:
      return "reopen";
    case PlanAction::Kind::Wait:
      return "wait";
    case PlanAction::Kind::Write:
      return "write";
    case PlanAction::Kind::Status:
      return "status";
    case PlanAction::Kind::Segment:
      return "segment";
    case PlanAction::Kind::ProgressRange:
      return "progressRange";
    case PlanAction::Kind::Progress:
      return "progress";
    case PlanAction::Kind::Finished:
      break;
  }
  return "finished";
}

// The options of SerialPort.open() for a line request, and its settings' name ("115200 8O1").
val LineOptions(const LineRequest& request) {
  const LineSettings settings = MakeLineSettings(request.baud, request.parity);
  val line = val::object();
  line.set("baudRate", settings.baud);
  line.set("dataBits", 8);
  line.set("parity", std::string(ParityName(settings.parity)));
  line.set("parityCode", settings.parity);
  line.set("stopBits", settings.stopBits);
  line.set("flowControl", std::string("none"));
  line.set("settings", Describe(settings));
  return line;
}

val ActionValue(const PlanAction& action) {
  val out = val::object();
  out.set("kind", std::string(KindName(action.kind)));
  out.set("state", action.state);
  switch (action.kind) {
    case PlanAction::Kind::Open:
    case PlanAction::Kind::Reopen:
      out.set("line", LineOptions(action.line));
      break;
    case PlanAction::Kind::Wait:
      out.set("untilMs", MsFromTime(action.until));
      break;
    case PlanAction::Kind::Write:
      out.set("name", std::string(action.name));
      out.set("length", action.length);
      break;
    case PlanAction::Kind::Segment:
      out.set("value", action.value);
      out.set("count", action.count);
      out.set("text", SegmentText(action.value, action.count));
      break;
    case PlanAction::Kind::ProgressRange:
    case PlanAction::Kind::Progress:
      out.set("value", action.value);
      break;
    case PlanAction::Kind::Status:
    case PlanAction::Kind::Finished:
      out.set("outcome", std::string(OutcomeName(action.outcome)));
      out.set("text", action.text != nullptr ? val(std::string(action.text)) : val::null());
      break;
  }
  return out;
}

// Milliseconds `count` bytes take on the wire at the settings of this baud rate and parity code.
double WireTimeMs(std::uint32_t baud, std::uint8_t parityCode, std::uint32_t count) {
  const LineSettings settings = MakeLineSettings(baud, parityCode);
  return std::chrono::duration<double, std::milli>(WireTime(settings, count)).count();
}

// How long a write of `length` bytes may take before it counts as failed.
double WriteTimeoutMs(std::uint32_t length) {
  return static_cast<double>(WriteTimeout(length).count());
}

}  // namespace

std::unique_ptr<Plan> Plan::Download(const val& bytes, double timeScale) {
  auto held = std::make_unique<HeldImage>(BytesFrom(bytes));
  if (!held->Image()) {
    return nullptr;
  }
  const HeldImage* source = held.get();
  DownloadPlan plan = DownloadPlan::Download(*source->Image(), source, timeScale);
  return std::unique_ptr<Plan>(new Plan(std::move(held), std::move(plan)));
}

std::unique_ptr<Plan> Plan::Test() {
  return std::unique_ptr<Plan>(new Plan(nullptr, DownloadPlan::Test()));
}

val Plan::Next(double nowMs) {
  return ActionValue(plan_.Next(TimeFromMs(nowMs)));
}

void Plan::Written(std::uint32_t count, double lineFreeMs) {
  plan_.Written(count, TimeFromMs(lineFreeMs));
}

val Plan::Frame() const {
  return BytesTo(plan_.FrameToWrite().bytes());
}

EMSCRIPTEN_BINDINGS(tarvex_plan) {
  emscripten::class_<Plan>("Plan")
      .class_function("download", &Plan::Download)
      .class_function("test", &Plan::Test)
      .function("next", &Plan::Next)
      .function("opened", &Plan::Opened)
      .function("written", &Plan::Written)
      .function("stop", &Plan::Stop)
      .function("frame", &Plan::Frame);
  emscripten::function("wireTimeMs", &WireTimeMs);
  emscripten::function("writeTimeoutMs", &WriteTimeoutMs);
}

}  // namespace tarvex::web
