#include "cli/port_texts.h"

namespace tarvex::cli {

const char PORT_NAMES_HELP[] =
    "COM1..COM8, a device path such as /dev/ttyUSB0, or auto for the one USB serial adapter "
    "present";
const char OTHER_PORT_NAMES_HELP[] =
    "A device path such as /dev/ttyUSB0 can be used as a port name too.";

const char FOUND_PORTS_HEADING[] = "USB serial adapters:";

const bool PORT_NAMES_ARE_DEVICES = false;
const char PORTS_SUMMARY[] =
    "List COM1 to COM8 with their devices, and the USB serial adapters found";
const char INTERRUPTED_EXITS_HELP[] =
    "130 when interrupted (Ctrl-C or SIGTERM), 129 when the terminal hangs up (SIGHUP)";
const char SAMPLE_IMAGE_HELP[] =
    "the sample installed with tarvex-cli (share/tarvex/sample.zfr beside its bin folder)";
const char SIMULATE_SUMMARY[] =
    "Act as a fixture on a new pseudo-terminal and check the download it receives";
const char DEMO_SUMMARY[] =
    "Download an image (the sample by default) into a simulated fixture, at the real pace, and "
    "show what the fixture received";
const char UNCHECKED_PORT_NOTE[] =
    "This port is a pseudo-terminal: speed, parity and stop bits are not checked.";
const char UNCHECKED_LINE_ERRORS[] = "none can show on a pseudo-terminal";

}  // namespace tarvex::cli
