// The USB vendor and product ids and the serial number that a device instance id carries
// ("USB\VID_0403&PID_6001\A12345", "FTDIBUS\VID_0403+PID_6001+A12345A\0000").
#pragma once

#include <optional>
#include <string_view>

#include "link/port_list.h"

namespace tarvex {

// Empty when the id names no USB vendor and product; the maker and product are left empty.
std::optional<UsbFacts> ParseUsbInstanceId(std::string_view instanceId);

}  // namespace tarvex
