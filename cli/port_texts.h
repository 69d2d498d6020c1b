// Help texts that name the platform's ports.
#pragma once

namespace tarvex::cli {

// What --port takes, e.g. "COM1..COM8, a device path such as /dev/ttyUSB0, or auto ...".
extern const char PORT_NAMES_HELP[];
// The ports command's footer: the names it does not list that can be used too.
extern const char OTHER_PORT_NAMES_HELP[];
// The heading of the ports found besides COM1..COM8.
extern const char FOUND_PORTS_HEADING[];

}  // namespace tarvex::cli
