#include "cli/option_checks.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "cli/port_texts.h"
#include "platform/file_kind.h"
#include "platform/utf8_path.h"

namespace tarvex::cli {

CLI::Validator PortNameCheck() {
  return CLI::Validator(
      [](std::string& name) {
        return name.empty() ? std::string("must name a port: ") + PORT_NAMES_HELP : std::string();
      },
      "PORT");
}

CLI::Validator PositiveSecondsCheck() {
  return CLI::Validator(
      [](std::string& text) {
        const char* end = text.data() + text.size();
        double seconds = 0.0;
        const auto [stop, error] = std::from_chars(text.data(), end, seconds);
        const bool ok =
            error == std::errc() && stop == end && std::isfinite(seconds) && seconds > 0;
        return ok ? std::string() : "must be a positive number of seconds, not \"" + text + "\"";
      },
      "S");
}

namespace {

using KindCheck = std::string (*)(const std::filesystem::path&);

// No description: the option's own type name says what it takes.
CLI::Validator WritablePathCheck(const char* what, KindCheck problemOf) {
  return CLI::Validator(
      [what, problemOf](std::string& name) {
        if (name.empty()) {
          return std::string("must name a ") + what;
        }
        const std::string problem = problemOf(PathFromUtf8(name));
        return problem.empty() ? problem : name + ": " + problem;
      },
      "");
}

}  // namespace

CLI::Validator OutputFileCheck() {
  return WritablePathCheck("file", NotAFileProblem);
}

CLI::Validator OutputFolderCheck() {
  return WritablePathCheck("folder", NotAFolderProblem);
}

}  // namespace tarvex::cli
