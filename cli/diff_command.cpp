// tarvex-cli diff A.zfr B.zfr: what differs between two images.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/image_fields.h"
#include "tools/image_diff.h"

namespace tarvex::cli {

namespace {

struct DiffArgs {
  std::string first;
  std::string second;
};

std::string RangeText(const SegmentEntry& row) {
  if (row.segmentLength == 0) {
    return fmt::format("0x{:08X} (empty)", row.targetAddress);
  }
  return fmt::format("0x{:08X}..0x{:08X} ({} bytes)", row.targetAddress,
                     std::uint64_t{row.targetAddress} + row.segmentLength - 1, row.segmentLength);
}

std::string SegmentLine(const SegmentChange& change) {
  switch (change.kind) {
    case SegmentChangeKind::Added:
      return fmt::format("segment added    {}", RangeText(*change.b));
    case SegmentChangeKind::Removed:
      return fmt::format("segment removed  {}", RangeText(*change.a));
    case SegmentChangeKind::Changed:
      break;
  }
  const std::string range = change.a->segmentLength == change.b->segmentLength
                                ? RangeText(*change.a)
                                : RangeText(*change.a) + " -> " + RangeText(*change.b);
  return fmt::format("segment changed  {}: {} byte(s) differ", range, change.differingBytes);
}

void PrintDiff(std::ostream& out, const ImageDiff& diff) {
  for (const HeaderChange& change : diff.header) {
    out << fmt::format("{:<16} {} -> {}\n", change.field, DisplayText(change.a),
                       DisplayText(change.b));
  }
  for (const SegmentChange& change : diff.segments) {
    out << SegmentLine(change) << '\n';
  }
}

// Loads one image; prints the rejection and returns nothing when it fails, lowering `status` to
// its exit status (a usage error comes before a bad image).
std::optional<FirmwareImage> Load(const std::string& path, Io io, int& status) {
  ImageLoad load = LoadImage(path);
  if (!load.ok()) {
    status = std::min(status, SayRejected(io.err, path, load.rejection));
  }
  return std::move(load.image);
}

int RunDiff(const DiffArgs& args, Io io) {
  int status = EXIT_BAD_IMAGE;
  const auto a = Load(args.first, io, status);
  const auto b = Load(args.second, io, status);
  if (!a || !b) {
    return status;
  }
  const ImageDiff diff = DiffImages(*a, *b);
  if (!diff.error.empty()) {
    io.err << "tarvex-cli: diff: " << diff.error << '\n';
    return EXIT_BAD_IMAGE;
  }
  if (diff.Identical()) {
    io.out << "The images are identical.\n";
    return EXIT_OK;
  }
  PrintDiff(io.out, diff);
  return EXIT_FAILED;
}

}  // namespace

void AddDiffCommand(CLI::App& app, Io io, int& exitCode) {
  auto args = std::make_shared<DiffArgs>();
  auto* cmd = app.add_subcommand("diff", "Compare two images: header fields and segments");
  cmd->add_option("A", args->first, "First image (.zfr)")->required();
  cmd->add_option("B", args->second, "Second image (.zfr)")->required();
  cmd->footer(
      "Segments are matched by target address. Exit status: 0 when the images are identical, 1 "
      "when they differ, 2 for a usage error or an image that cannot be opened, 3 when either "
      "image is rejected.");
  cmd->callback([args, io, &exitCode] { exitCode = RunDiff(*args, io); });
}

}  // namespace tarvex::cli
