// Which terminals belong to a USB device, and what that device says about itself, read from
// sysfs without opening any port. The root is a parameter so that tests can build a tree of
// their own (libudev cannot be pointed at one).
#pragma once

#include <map>
#include <string>

#include "link/port_list.h"

namespace tarvex::posix {

// The terminals under `sysfsRoot`/class/tty that hang below a USB device, by name ("ttyUSB0").
std::map<std::string, UsbFacts> UsbTerminals(const std::string& sysfsRoot);

}  // namespace tarvex::posix
