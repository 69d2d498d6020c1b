#include "cli/port_texts.h"

namespace tarvex::cli {

const char PORT_NAMES_HELP[] = "COM1..COM8 or any other COM name such as COM12";
const char OTHER_PORT_NAMES_HELP[] = "A name such as COM12 can be used too.";

}  // namespace tarvex::cli
