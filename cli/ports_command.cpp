// tarvex-cli ports [--json]: the ports a download can use, found without opening any of them.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/port_listing.h"
#include "cli/port_texts.h"
#include "link/port_list.h"

namespace tarvex::cli {

void AddPortsCommand(CLI::App& app, Io io, int& exitCode) {
  CLI::App* ports = app.add_subcommand("ports", PORTS_SUMMARY);
  auto json = std::make_shared<bool>(false);
  ports->add_flag("--json", *json,
                  "Print one JSON object instead: the ports, and each adapter's USB vendor and "
                  "product ids, maker, product and serial number");
  ports->footer(std::string(OTHER_PORT_NAMES_HELP) +
                "\nExit status: 0, also when no port is found.");
  ports->callback([io, json, &exitCode] {
    const auto write = *json ? WritePortsJson : WritePortsText;
    write(io.out, ListComPorts(), ListUsbSerialAdapters());
    exitCode = EXIT_OK;
  });
}

}  // namespace tarvex::cli
