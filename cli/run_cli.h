#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tarvex::cli {

// Parses `args` (without the program name), runs the chosen subcommand and returns its exit
// status. Usage errors give 2.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tarvex::cli
