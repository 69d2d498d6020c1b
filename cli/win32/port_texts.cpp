#include "cli/port_texts.h"

namespace tarvex::cli {

const char PORT_NAMES_HELP[] =
    "COM1..COM8, any other COM name such as COM12, or auto for the one USB serial adapter "
    "present";
const char OTHER_PORT_NAMES_HELP[] = "A name such as COM12 can be used too.";
// Windows port names say nothing about the kind of port: every port present is listed.
const char FOUND_PORTS_HEADING[] = "Ports present:";

}  // namespace tarvex::cli
