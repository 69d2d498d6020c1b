// The entries of the port list.
#pragma once

#include <string>
#include <vector>

namespace tarvex {

// "COM1" to "COM8" in this order, then the `adapters` that are not among them in number order
// ("COM9" before "COM10", "/dev/ttyUSB2" before "/dev/ttyUSB10"), each once.
std::vector<std::string> PortChoices(std::vector<std::string> adapters);

// The serial adapters present now, by the name a user picks (device paths, or "COM12").
std::vector<std::string> FoundSerialAdapters();

}  // namespace tarvex
