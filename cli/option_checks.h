// Checks of option values that say what a value must be, in the user's terms.
#pragma once

#include <CLI/CLI.hpp>

namespace tarvex::cli {

// An empty name is a usage error, not a device path ("/dev/" + nothing).
CLI::Validator PortNameCheck();

// A finite number of seconds above 0 ("abc", "0", "-3" and "inf" are usage errors).
CLI::Validator PositiveSecondsCheck();

// A file to write: missing or a regular file (a symbolic link to one is written through). An empty
// name, or a device node, FIFO, socket, folder or dangling link there, is a usage error: nothing
// that is not ours is opened or replaced.
CLI::Validator OutputFileCheck();

// A folder to write into: missing or a folder; the same refusals as OutputFileCheck().
CLI::Validator OutputFolderCheck();

}  // namespace tarvex::cli
