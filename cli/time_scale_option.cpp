#include "cli/time_scale_option.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

namespace tarvex::cli {

void AddTimeScaleOption(CLI::App& command, double& scale, const std::string& description) {
  command.add_option("--time-scale", scale, description)->group("");
  // Checked once parsed, not by a check of the option: the parser names no hidden option in the
  // errors of its checks.
  command.parse_complete_callback([&scale] {
    if (!(scale >= 0.0 && scale <= 1.0)) {
      throw CLI::ValidationError("--time-scale", fmt::format("must be from 0 to 1, not {}", scale));
    }
  });
}

}  // namespace tarvex::cli
