#include "cli/option_checks.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "cli/port_texts.h"

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

}  // namespace tarvex::cli
