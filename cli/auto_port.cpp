#include "cli/auto_port.h"

#include <algorithm>
#include <iterator>
#include <ostream>

#include "cli/port_listing.h"

namespace tarvex::cli {

std::optional<std::string> AutoPort(const std::vector<SerialAdapter>& adapters, std::ostream& err) {
  std::vector<SerialAdapter> usb;
  // On Windows the list holds every port present; only a USB one can be meant.
  std::copy_if(adapters.begin(), adapters.end(), std::back_inserter(usb),
               [](const SerialAdapter& adapter) { return adapter.usb.has_value(); });
  if (usb.size() == 1) {
    return usb.front().path;
  }
  if (usb.empty()) {
    err << "tarvex-cli: --port auto: no USB serial adapter found; connect one or give --port\n";
    return std::nullopt;
  }
  err << "tarvex-cli: --port auto: " << usb.size()
      << " USB serial adapters found, choose one with --port:\n";
  for (const SerialAdapter& adapter : usb) {
    const std::string facts = AdapterFacts(adapter);
    err << "  " << adapter.path << (facts.empty() ? "" : "  " + facts) << '\n';
  }
  return std::nullopt;
}

std::optional<SerialAdapter> AdapterForDevice(const std::string& resolvedDevice,
                                              const std::vector<SerialAdapter>& adapters) {
  const auto found =
      std::find_if(adapters.begin(), adapters.end(), [&](const SerialAdapter& adapter) {
        return ResolvedDevice(adapter.device) == resolvedDevice;
      });
  if (found == adapters.end()) {
    return std::nullopt;
  }
  return *found;
}

}  // namespace tarvex::cli
