// tarvex-cli info [--json] IMAGE: checks an image and describes it.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "image/image_format.h"
#include "image/image_loader.h"
#include "protocol/schedule.h"

namespace tarvex::cli {

namespace {

struct InfoOptions {
  bool json = false;
  std::string imagePath;
};

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
  char text[128];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

// The model name for a terminal: 8-bit text as Latin-1, control bytes shown as \xNN so that a
// crafted name cannot drive the terminal.
std::string DisplayText(std::string_view bytes) {
  std::string text;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || (b >= 0x7F && b < 0xA0)) {
      text += Format("\\x%02X", b);
    } else {
      text += Latin1ToUtf8(std::string_view(&c, 1));
    }
  }
  return text;
}

// The members of the --json object; everything `info` reports about an image is added here.
void WriteImageObject(JsonWriter& json, const FirmwareImage& image,
                      const std::optional<ScheduleEstimate>& schedule) {
  const ImageHeader& header = image.header;
  const std::uint32_t count = SegmentCount(header);
  json.BeginObject();
  json.Key("ok").Bool(true);
  json.Key("path").String(image.path);
  json.Key("file_size").UInt(image.fileSize);
  json.Key("crc_ok").Bool(true);  // a loaded image passed its check
  json.Key("model").Latin1String(image.modelText);
  json.Key("needs_wake").Bool(image.needsWake);
  json.Key("payload_length").UInt(PayloadLength(header));
  json.Key("image_crc").UInt(ImageCrcField(header));
  json.Key("segment_count").UInt(count);
  json.Key("segments").BeginArray();
  for (std::uint32_t i = 0; i < count; ++i) {
    const SegmentEntry row = SegmentAt(header, i);
    json.BeginObject()
        .Key("file_offset")
        .UInt(row.fileOffset)
        .Key("target_address")
        .UInt(row.targetAddress)
        .Key("length")
        .UInt(row.segmentLength)
        .EndObject();
  }
  json.EndArray();
  if (schedule) {
    json.Key("data_steps").UInt(schedule->dataSteps);
    json.Key("estimated_duration_ms").Int(schedule->duration.count());
  }
  json.EndObject();
}

void PrintText(std::ostream& out, const FirmwareImage& image,
               const std::optional<ScheduleEstimate>& schedule) {
  const ImageHeader& header = image.header;
  const std::uint32_t count = SegmentCount(header);
  out << "image           " << image.path << '\n'
      << "model           " << DisplayText(image.modelText) << '\n'
      << "wake-up         " << (image.needsWake ? "yes" : "no") << '\n'
      << "payload length  " << PayloadLength(header) << " bytes\n"
      << "image CRC       " << Format("0x%08X", ImageCrcField(header)) << " (good)\n"
      << "segments        " << count << '\n'
      << "   #  file offset  target address      length\n";
  for (std::uint32_t i = 0; i < count; ++i) {
    const SegmentEntry row = SegmentAt(header, i);
    out << Format("  %2u  0x%08X   0x%08X      %10u\n", i + 1, row.fileOffset, row.targetAddress,
                  row.segmentLength);
  }
  if (schedule) {
    out << "data steps      " << schedule->dataSteps << " (blocks and the end frame)\n"
        << "download time   " << schedule->duration.count() << " ms ("
        << Format("%.1f", static_cast<double>(schedule->duration.count()) / 1000.0)
        << " s from Download to \"Download Complete!\")\n";
  }
}

int RunInfo(const InfoOptions& options, Io io) {
  const ImageLoad load = LoadImage(options.imagePath);
  if (!load.ok()) {
    io.err << "tarvex-cli: " << options.imagePath << ": " << load.rejection.message << '\n';
    if (options.json) {
      // A script reads the verdict from standard output either way.
      JsonWriter json(io.out);
      json.BeginObject()
          .Key("ok")
          .Bool(false)
          .Key("path")
          .String(options.imagePath)
          .Key("reason")
          .String(ImageErrorCode(load.rejection.reason))
          .Key("message")
          .String(load.rejection.message)
          .EndObject();
      io.out << '\n';
    }
    return EXIT_BAD_IMAGE;
  }
  // The estimate runs the real sequencer against a null line, so it cannot drift from a download.
  const auto schedule = EstimateSchedule(*load.image);
  if (options.json) {
    JsonWriter json(io.out);
    WriteImageObject(json, *load.image, schedule);
    io.out << '\n';
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
      "Exit status: 0 for a good image, 2 for a usage error, 3 when the image is rejected.");
  info->callback([options, io, &exitCode] { exitCode = RunInfo(*options, io); });
}

}  // namespace tarvex::cli
