#include "ui/window_arguments.h"

namespace tarvex {

WindowArguments ParseWindowArguments(const std::vector<std::string>& arguments) {
  WindowArguments parsed;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--screenshot" && i + 1 < arguments.size()) {
      parsed.screenshot = arguments[++i];
    } else if (argument == "--" && i + 1 < arguments.size()) {
      if (parsed.image.empty()) {
        parsed.image = arguments[i + 1];
      }
      break;
    } else if (!argument.starts_with("-") && parsed.image.empty()) {
      parsed.image = argument;
    }
  }
  return parsed;
}

}  // namespace tarvex
