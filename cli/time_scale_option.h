// --time-scale, the hidden option of the commands that wait (tests run them faster).
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace tarvex::cli {

// Adds the hidden --time-scale, a factor from 0 to 1 written into `scale`; a value out of that
// range is a usage error that names the option.
void AddTimeScaleOption(CLI::App& command, double& scale, const std::string& description);

}  // namespace tarvex::cli
