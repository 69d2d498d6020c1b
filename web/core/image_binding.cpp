// checkImage(bytes): the image check the CLI's `info` makes, over the bytes of a chosen file.
#include <emscripten/bind.h>

#include "cli/json_output.h"
#include "image/image_format.h"
#include "image/unchecked_rows.h"
#include "protocol/schedule.h"
#include "web/core/held_image.h"
#include "web/core/js_values.h"

namespace tarvex::web {

namespace {

using emscripten::val;

val Segments(const ImageHeader& header) {
  val rows = val::array();
  for (std::uint32_t i = 0; i < SegmentCount(header); ++i) {
    const SegmentEntry row = SegmentAt(header, i);
    val entry = val::object();
    entry.set("fileOffset", row.fileOffset);
    entry.set("targetAddress", row.targetAddress);
    entry.set("length", row.segmentLength);
    rows.call<void>("push", entry);
  }
  return rows;
}

// {ok: true, model, needsWake, payloadLength, crc, segments, dataSteps, durationMs, warning}, or
// {ok: false, reason: "crc_mismatch", message: "CRC mismatch: ..."} with the CLI's words.
val CheckImage(const val& bytes) {
  const HeldImage held(BytesFrom(bytes));
  val result = val::object();
  result.set("ok", held.Image().has_value());
  if (!held.Image()) {
    result.set("reason", std::string(ImageErrorCode(held.Rejection().reason)));
    result.set("message", held.Rejection().message);
    return result;
  }
  const FirmwareImage& image = *held.Image();
  result.set("model", cli::Latin1ToUtf8(image.modelText));
  result.set("needsWake", image.needsWake);
  result.set("fileSize", static_cast<double>(image.fileSize));
  result.set("payloadLength", PayloadLength(image.header));
  result.set("crc", ImageCrcField(image.header));
  result.set("segments", Segments(image.header));
  result.set("warning", UncheckedRowsWarning(image.header));
  // The estimate runs the real plan on a virtual clock: the duration a download takes.
  if (const auto schedule = EstimateSchedule(image)) {
    result.set("dataSteps", schedule->dataSteps);
    result.set("durationMs", static_cast<double>(schedule->duration.count()));
  }
  return result;
}

}  // namespace

EMSCRIPTEN_BINDINGS(tarvex_image_check) {
  emscripten::function("checkImage", &CheckImage);
}

}  // namespace tarvex::web
