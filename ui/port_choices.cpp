#include "ui/port_choices.h"

#include <algorithm>

#include "link/port_list.h"

namespace tarvex {

std::vector<std::string> PortChoices(const std::vector<std::string>& adapters) {
  std::vector<std::string> choices;
  for (int n = 1; n <= COM_PORT_COUNT; ++n) {
    choices.push_back("COM" + std::to_string(n));
  }
  const auto fixed = static_cast<std::ptrdiff_t>(choices.size());
  for (const std::string& adapter : adapters) {
    // On Windows the ports present include COM1 to COM8 themselves.
    if (std::find(choices.begin(), choices.begin() + fixed, adapter) == choices.begin() + fixed) {
      choices.push_back(adapter);
    }
  }
  return choices;
}

std::vector<std::string> FoundSerialAdapters() {
  std::vector<std::string> names;
  for (const SerialAdapter& adapter : ListUsbSerialAdapters()) {
    names.push_back(adapter.path);
  }
  return names;
}

}  // namespace tarvex
