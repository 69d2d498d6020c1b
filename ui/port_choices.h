// The entries of the port list.
#pragma once

#include <string>
#include <vector>

namespace tarvex {

// "COM1" to "COM8" in this order, then the `adapters` that are not among them, as given.
std::vector<std::string> PortChoices(const std::vector<std::string>& adapters);

// The serial adapters present now, by the name a user picks (device paths, or "COM12").
std::vector<std::string> FoundSerialAdapters();

}  // namespace tarvex
