// tarvex-cli unpack IMAGE -o DIR: each segment as a binary, the whole image as Intel HEX, and a
// manifest of the header as found.
#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/image_fields.h"
#include "cli/json_output.h"
#include "cli/option_checks.h"
#include "platform/utf8_path.h"
#include "tools/atomic_file.h"
#include "tools/segment_export.h"
#include "tools/staged_folder.h"

namespace tarvex::cli {

namespace {

constexpr const char* MANIFEST_FILE = "manifest.json";

struct UnpackArgs {
  std::string imagePath;
  std::string outputDir;
  bool force = false;
};

namespace fs = std::filesystem;

bool IsUnpackFile(const fs::directory_entry& entry) {
  // As UTF-8, which every name converts to on every platform.
  const std::u8string text = entry.path().filename().u8string();
  const std::string name(text.begin(), text.end());
  std::error_code error;
  return (name == MANIFEST_FILE || IsExportFileName(name)) && !entry.is_directory(error);
}

// What is in `dir` already: every entry, and those that bear unpack's own names.
struct Earlier {
  bool any = false;
  std::vector<fs::path> own;
};

Earlier EarlierFiles(const fs::path& dir) {
  Earlier earlier;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    earlier.any = true;
    if (IsUnpackFile(entry)) {
      earlier.own.push_back(entry.path());
    }
  }
  return earlier;
}

// Unpack's earlier files go before the new ones come, so that the two never mix; anything else in
// the folder is not unpack's and stays.
std::string RemoveFiles(const std::vector<fs::path>& files) {
  for (const fs::path& file : files) {
    std::error_code error;
    if (!fs::remove(file, error) && error) {
      return "cannot remove an earlier file there: " + error.message();
    }
  }
  return {};
}

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

// Every file into a staging folder, then all into place; the problem, if any.
std::string WriteParts(const FirmwareImage& image, const UnpackArgs& args,
                       const std::vector<fs::path>& earlier, SegmentFiles& files) {
  StagedFolder staged(PathFromUtf8(args.outputDir));
  if (!staged.error().empty()) {
    return staged.error();
  }
  files = ExportSegments(image, staged.Staging());
  if (!files.ok()) {
    return files.error;
  }
  if (const std::string error = WriteTextFile(
          staged.Staging() / MANIFEST_FILE,
          Manifest(image, files).dump(2, ' ', false, Json::error_handler_t::replace) + '\n');
      !error.empty()) {
    return fmt::format("cannot write {}: {}", MANIFEST_FILE, error);
  }
  if (const std::string error = RemoveFiles(earlier); !error.empty()) {
    return error;
  }
  return staged.Commit(MANIFEST_FILE) ? std::string() : staged.error();
}

int RunUnpack(const UnpackArgs& args, Io io) {
  const Earlier earlier = EarlierFiles(PathFromUtf8(args.outputDir));
  if (earlier.any && !args.force) {
    io.err << "tarvex-cli: unpack: " << args.outputDir
           << " is not empty: give --force to replace an earlier unpack there, or another "
              "folder\n";
    return EXIT_USAGE;
  }
  const ImageLoad load = LoadImage(args.imagePath);
  if (!load.ok()) {
    return SayRejected(io.err, args.imagePath, load.rejection);
  }
  SegmentFiles files;
  if (const std::string error = WriteParts(*load.image, args, earlier.own, files); !error.empty()) {
    io.err << "tarvex-cli: unpack: " << args.outputDir << ": " << error << '\n';
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
  cmd->add_option("--output,-o", args->outputDir,
                  "Folder to write into (created if missing; it must be empty)")
      ->type_name("DIR")
      ->required()
      ->check(OutputFolderCheck());
  cmd->add_flag("--force,-f", args->force,
                "Write into a folder that is not empty: the files of an earlier unpack there are "
                "replaced, anything else stays");
  cmd->footer(
      "Writes segN-0xADDRESS.bin per segment, image.hex and manifest.json, all at once: a failure "
      "leaves the folder as it was. Exit status: 0 when written, 1 when a file cannot be written, "
      "2 for a usage error or an image that cannot be opened (missing, a folder), 3 when the image "
      "is rejected.");
  cmd->callback([args, io, &exitCode] { exitCode = RunUnpack(*args, io); });
}

}  // namespace tarvex::cli
