// tarvex-cli info [--json] IMAGE: checks an image and describes it.
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include <fmt/format.h>
#include "cli/commands.h"

#include "cli/image_fields.h"
#include "cli/json_output.h"
#include "image/image_format.h"
#include "image/image_loader.h"
#include "image/unchecked_rows.h"
#include "protocol/schedule.h"

namespace tarvex::cli {

namespace {

struct InfoOptions {
  bool json = false;
  std::string imagePath;
};

// The --json object; everything `info` reports about an image is added here.
Json ImageObject(const FirmwareImage& image, const std::optional<ScheduleEstimate>& schedule) {
  Json json = {{"ok", true},
               {"path", image.path},
               {"file_size", image.fileSize},
               {"crc_ok", true}};  // a loaded image passed its check
  AddImageFields(json, image);
  if (schedule) {
    json["data_steps"] = schedule->dataSteps;
    json["estimated_duration_ms"] = schedule->duration.count();
  }
  // Segments (numbered from 1) whose bytes the CRC does not cover.
  Json unchecked = Json::array();
  for (const std::uint32_t row : UncheckedRows(image.header)) {
    unchecked.push_back(row + 1);
  }
  json["unchecked_segments"] = std::move(unchecked);
  return json;
}

void PrintText(std::ostream& out, const FirmwareImage& image,
               const std::optional<ScheduleEstimate>& schedule) {
  const ImageHeader& header = image.header;
  const std::uint32_t count = SegmentCount(header);
  out << "image           " << image.path << '\n'
      << "model           " << DisplayText(image.modelText) << '\n'
      << "wake-up         " << (image.needsWake ? "yes" : "no") << '\n'
      << "payload length  " << PayloadLength(header) << " bytes\n"
      << "image CRC       " << fmt::format("0x{:08X}", ImageCrcField(header)) << " (good)\n"
      << "segments        " << count << '\n'
      << "   #  file offset  target address      length\n";
  for (std::uint32_t i = 0; i < count; ++i) {
    const SegmentEntry row = SegmentAt(header, i);
    out << fmt::format("  {:2}  0x{:08X}   0x{:08X}      {:10}\n", i + 1, row.fileOffset,
                       row.targetAddress, row.segmentLength);
  }
  if (schedule) {
    out << "data steps      " << schedule->dataSteps << " (blocks and the end frame)\n"
        << "download time   " << schedule->duration.count() << " ms ("
        << fmt::format("{:.1f}", static_cast<double>(schedule->duration.count()) / 1000.0)
        << " s from Download to \"Download Complete!\")\n";
  }
}

int RunInfo(const InfoOptions& options, Io io) {
  const ImageLoad load = LoadImage(options.imagePath);
  if (!load.ok()) {
    if (options.json) {
      // A script reads the verdict from standard output either way.
      WriteJsonLine(io.out, Json{{"ok", false},
                                 {"path", options.imagePath},
                                 {"reason", ImageErrorCode(load.rejection.reason)},
                                 {"message", load.rejection.message}});
    }
    return SayRejected(io.err, options.imagePath, load.rejection);
  }
  WarnUncheckedRows(io.err, *load.image);
  // The estimate runs the real sequencer against a null line, so it cannot drift from a download.
  const auto schedule = EstimateSchedule(*load.image);
  if (options.json) {
    WriteJsonLine(io.out, ImageObject(*load.image, schedule));
  } else {
    PrintText(io.out, *load.image, schedule);
  }
  return EXIT_OK;
}

}  // namespace

void AddInfoCommand(CLI::App& app, Io io, int& exitCode) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* info = app.add_subcommand("info", "Check an image and describe it");
  info->add_flag("--json", options->json, "Print one JSON object instead of text");
  info->add_option("IMAGE", options->imagePath, "Firmware image (.zfr)")->required();
  info->footer(
      "Exit status: 0 for a good image, 2 for a usage error or an image that cannot be opened "
      "(missing, a folder), 3 when the image is rejected.");
  info->callback([options, io, &exitCode] { exitCode = RunInfo(*options, io); });
}

}  // namespace tarvex::cli
