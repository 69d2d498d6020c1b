// Checks of option values that say what a value must be, in the user's terms.
#pragma once

#include <CLI/CLI.hpp>

namespace tarvex::cli {

// An empty name is a usage error, not a device path ("/dev/" + nothing).
CLI::Validator PortNameCheck();

// A finite number of seconds above 0 ("abc", "0", "-3" and "inf" are usage errors).
CLI::Validator PositiveSecondsCheck();

}  // namespace tarvex::cli
