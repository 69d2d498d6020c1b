// tarvex-cli unpack IMAGE -o DIR: each segment as a binary, the whole image as Intel HEX, and a
// manifest of the header as found.
#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>
#include <string>

#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/image_fields.h"
#include "cli/json_output.h"
#include "image/atomic_file.h"
#include "image/segment_export.h"
#include "image/utf8_path.h"

namespace tarvex::cli {

namespace {

constexpr const char* MANIFEST_FILE = "manifest.json";

struct UnpackArgs {
  std::string imagePath;
  std::string outputDir;
};

// The fields `info --json` has, then the reserved words and the file written for each row.
Json Manifest(const FirmwareImage& image, const SegmentFiles& files) {
  Json json = {{"path", image.path}};
  AddImageFields(json, image);
  json["reserved"] = ReservedWord(image.header);
  for (std::size_t i = 0; i < files.segmentFiles.size(); ++i) {
    Json& row = json["segments"][i];
    row["reserved"] = SegmentReservedAt(image.header, i);
    row["file"] = files.segmentFiles[i];
  }
  json["hex_file"] = files.hexFile;
  return json;
}

int RunUnpack(const UnpackArgs& args, Io io) {
  const ImageLoad load = LoadImage(args.imagePath);
  if (!load.ok()) {
    io.err << "tarvex-cli: " << args.imagePath << ": " << load.rejection.message << '\n';
    return EXIT_BAD_IMAGE;
  }
  const std::filesystem::path dir = PathFromUtf8(args.outputDir);
  const SegmentFiles files = ExportSegments(*load.image, dir);
  if (!files.ok()) {
    io.err << "tarvex-cli: unpack: " << args.outputDir << ": " << files.error << '\n';
    return EXIT_FAILED;
  }
  if (const std::string error = WriteTextFile(
          dir / MANIFEST_FILE,
          Manifest(*load.image, files).dump(2, ' ', false, Json::error_handler_t::replace) + '\n');
      !error.empty()) {
    io.err << "tarvex-cli: unpack: " << args.outputDir << ": cannot write " << MANIFEST_FILE << ": "
           << error << '\n';
    return EXIT_FAILED;
  }
  io.out << fmt::format("{}: {} segment(s), {} and {} in {}\n", args.imagePath,
                        files.segmentFiles.size(), files.hexFile, MANIFEST_FILE, args.outputDir);
  return EXIT_OK;
}

}  // namespace

void AddUnpackCommand(CLI::App& app, Io io, int& exitCode) {
  auto args = std::make_shared<UnpackArgs>();
  auto* cmd = app.add_subcommand("unpack", "Take an image apart: segments, Intel HEX, manifest");
  cmd->add_option("IMAGE", args->imagePath, "Firmware image (.zfr)")->required();
  cmd->add_option("--output,-o", args->outputDir, "Folder to write into (created if missing)")
      ->required();
  cmd->footer(
      "Writes segN-0xADDRESS.bin per segment, image.hex and manifest.json. Exit status: 0 when "
      "written, 1 when a file cannot be written, 2 for a usage error, 3 when the image is "
      "rejected.");
  cmd->callback([args, io, &exitCode] { exitCode = RunUnpack(*args, io); });
}

}  // namespace tarvex::cli
