#include "cli/port_args.h"

#include <ostream>

#include "cli/auto_port.h"
#include "link/port_list.h"

namespace tarvex::cli {

namespace {

// Two --port names of one device (the same name twice, a link, another letter case) would
// make the second job fail as "in use" by the first.
bool SaysNoDuplicate(const std::string& command, const std::vector<std::string>& ports,
                     std::ostream& err) {
  std::vector<std::string> devices;
  for (const std::string& port : ports) {
    devices.push_back(ResolvedDevice(port));
  }
  for (std::size_t i = 0; i < ports.size(); ++i) {
    for (std::size_t j = i + 1; j < ports.size(); ++j) {
      if (devices[i] == devices[j]) {
        err << "tarvex-cli: " << command << ": --port " << ports[i] << " and --port " << ports[j]
            << " are the same device (" << devices[i] << "); give each port only once\n";
        return false;
      }
    }
  }
  return true;
}

}  // namespace

std::optional<std::vector<std::string>> ResolvePortArgs(const std::string& command,
                                                        const std::vector<std::string>& given,
                                                        std::ostream& err) {
  std::vector<std::string> ports;
  for (const std::string& port : given) {
    if (port != AUTO_PORT) {
      ports.push_back(port);
      continue;
    }
    auto found = AutoPort(ListUsbSerialAdapters(), err);
    if (!found) {
      return std::nullopt;
    }
    ports.push_back(*found);
  }
  if (!SaysNoDuplicate(command, ports, err)) {
    return std::nullopt;
  }
  return ports;
}

}  // namespace tarvex::cli
