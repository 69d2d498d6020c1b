#include "cli/port_texts.h"

namespace tarvex::cli {

const char PORT_NAMES_HELP[] =
    "COM1..COM8, any other COM name such as COM12, or auto for the one USB serial adapter "
    "present";
const char OTHER_PORT_NAMES_HELP[] = "A name such as COM12 can be used too.";
// Windows port names say nothing about the kind of port: every port present is listed.
const char FOUND_PORTS_HEADING[] = "Ports present:";

const bool PORT_NAMES_ARE_DEVICES = true;
const char PORTS_SUMMARY[] =
    "List the serial ports present, with what USB adapters say of themselves";
const char INTERRUPTED_EXITS_HELP[] =
    "130 when interrupted (Ctrl-C, Ctrl-Break or the console window closed)";
const char SAMPLE_IMAGE_HELP[] = "the sample.zfr beside tarvex-cli.exe";
// Windows has no pseudo-terminals: simulate needs --port, demo cannot run at all.
const char SIMULATE_SUMMARY[] =
    "Act as a fixture on a serial port (--port, required on Windows) and check the download it "
    "receives";
const char DEMO_SUMMARY[] =
    "(Linux only: needs a pseudo-terminal) Download an image into a simulated fixture and show "
    "what it received";
const char UNCHECKED_PORT_NOTE[] =
    "Under Wine a port reports no line errors (it may be a pseudo-terminal): speed, parity "
    "and stop bits are not checked.";
const char UNCHECKED_LINE_ERRORS[] = "none can show under Wine";

}  // namespace tarvex::cli
