// What `tarvex-cli ports` prints: COM1 to COM8 and the adapters found, as text or as JSON.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "link/port_list.h"

namespace tarvex::cli {

void WritePortsText(std::ostream& out, const std::vector<ComPortEntry>& comPorts,
                    const std::vector<SerialAdapter>& adapters);

// One object: "com_ports", "adapters" (USB) and "other_ports" (present, not USB); what is not
// known is null. "by_id" only where the system makes such names (not on Windows).
void WritePortsJson(std::ostream& out, const std::vector<ComPortEntry>& comPorts,
                    const std::vector<SerialAdapter>& adapters);

// "USB 0403:6001, maker FTDI, product FT232R USB UART, serial A12345": the parts that are
// known, with control characters from the device shown as '?'. Empty when nothing is known.
std::string AdapterFacts(const SerialAdapter& adapter);

}  // namespace tarvex::cli
