// tarvex-cli pack --model NAME -o OUT.zfr INPUT...: builds an image from build outputs.
#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/option_checks.h"
#include "platform/utf8_path.h"
#include "tools/image_writer.h"
#include "tools/pack_input.h"

namespace tarvex::cli {

namespace {

struct PackArgs {
  std::string model;
  std::string output;
  std::vector<std::string> inputs;
};

int Refuse(Io io, const std::string& reason, int status) {
  io.err << "tarvex-cli: pack: " << reason << '\n';
  if (status == EXIT_USAGE) {
    io.err << "Run 'tarvex-cli pack --help' for usage.\n";
  }
  return status;
}

int RunPack(const PackArgs& args, Io io) {
  if (const std::string problem = ModelTextProblem(args.model); !problem.empty()) {
    return Refuse(io, problem + ": give a shorter --model", EXIT_USAGE);
  }
  std::vector<AddressedBytes> pieces;
  for (const std::string& argument : args.inputs) {
    PackInput input = ReadPackInput(argument);
    if (!input.ok()) {
      return Refuse(io, input.error, input.badArgument ? EXIT_USAGE : EXIT_FAILED);
    }
    std::move(input.pieces.begin(), input.pieces.end(), std::back_inserter(pieces));
  }
  const MergedRuns merged = MergeRuns(std::move(pieces));
  if (!merged.ok()) {
    return Refuse(io, merged.error, EXIT_FAILED);
  }
  const ImageLayout layout = LayOutImage(ModelNameFromText(args.model), merged.runs);
  if (!layout.ok()) {
    return Refuse(io, layout.error, EXIT_FAILED);
  }
  if (const std::string error = WriteImageFile(PathFromUtf8(args.output), layout, merged.runs);
      !error.empty()) {
    return Refuse(io, fmt::format("cannot write {}: {}", args.output, error), EXIT_FAILED);
  }
  io.out << fmt::format("{}: {} segment(s), payload {} bytes, CRC 0x{:08X}\n", args.output,
                        SegmentCount(layout.header), PayloadLength(layout.header),
                        ImageCrcField(layout.header));
  return EXIT_OK;
}

}  // namespace

void AddPackCommand(CLI::App& app, Io io, int& exitCode) {
  auto args = std::make_shared<PackArgs>();
  auto* cmd =
      app.add_subcommand("pack", "Build an image from raw binaries, Intel HEX and ELF files");
  cmd->add_option("--model,-m", args->model, "Fixture model name (at most 16 ASCII characters)")
      ->required();
  cmd->add_option("--output,-o", args->output, "The image to write (.zfr)")
      ->type_name("FILE")
      ->required()
      ->check(OutputFileCheck());
  cmd->add_option("INPUT", args->inputs,
                  "FILE@ADDRESS (raw bytes; address 0x... or decimal), FILE.hex / FILE.ihex, or an "
                  "ELF file (its loadable segments at their physical addresses)")
      ->required();
  cmd->footer(
      "Touching inputs become one segment; an image holds at most 14. Exit status: 0 when the "
      "image was written, 1 when the inputs cannot make an image (overlap, too many segments, "
      "empty, unreadable) or the output cannot be written, 2 for a usage error.");
  cmd->callback([args, io, &exitCode] { exitCode = RunPack(*args, io); });
}

}  // namespace tarvex::cli
