#include "cli/port_texts.h"

namespace tarvex::cli {

const char PORT_NAMES_HELP[] =
    "COM1..COM8, a device path such as /dev/ttyUSB0, or auto for the one USB serial adapter "
    "present";
const char OTHER_PORT_NAMES_HELP[] =
    "A device path such as /dev/ttyUSB0 can be used as a port name too.";

const char FOUND_PORTS_HEADING[] = "USB serial adapters:";

}  // namespace tarvex::cli
