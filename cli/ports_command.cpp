// tarvex-cli ports: the ports a download can use, found without opening any of them.
#include <CLI/CLI.hpp>
#include <iomanip>
#include <ostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/port_texts.h"
#include "link/port_list.h"

namespace tarvex::cli {

namespace {

void PrintComPorts(std::ostream& out, const std::vector<ComPortEntry>& ports) {
  out << "Serial ports:\n";
  for (const ComPortEntry& port : ports) {
    out << "  " << std::left << std::setw(6) << port.name << port.device
        << (port.exists ? "  present" : "  not present") << '\n';
  }
}

void PrintAdapters(std::ostream& out, const std::vector<SerialAdapter>& adapters) {
  out << FOUND_PORTS_HEADING << '\n';
  if (adapters.empty()) {
    out << "  none found\n";
  }
  for (const SerialAdapter& adapter : adapters) {
    out << "  " << adapter.path;
    if (!adapter.target.empty()) {
      out << " -> " << adapter.target;
    }
    if (!adapter.description.empty()) {
      out << "  " << adapter.description;
    }
    out << '\n';
  }
}

}  // namespace

void AddPortsCommand(CLI::App& app, Io io, int& exitCode) {
  CLI::App* ports = app.add_subcommand(
      "ports", "List COM1 to COM8 with their devices, and the USB serial adapters found");
  ports->footer(std::string(OTHER_PORT_NAMES_HELP) +
                "\nExit status: 0, also when no port is found.");
  ports->callback([io, &exitCode] {
    PrintComPorts(io.out, ListComPorts());
    PrintAdapters(io.out, ListUsbSerialAdapters());
    exitCode = EXIT_OK;
  });
}

}  // namespace tarvex::cli
