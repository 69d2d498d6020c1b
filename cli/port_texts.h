// Help texts that differ by platform: the ports' names, the interrupts, where files lie and the
// commands a platform cannot run.
#pragma once

namespace tarvex::cli {

// What --port takes, e.g. "COM1..COM8, a device path such as /dev/ttyUSB0, or auto ...".
extern const char PORT_NAMES_HELP[];
// The ports command's footer: the names it does not list that can be used too.
extern const char OTHER_PORT_NAMES_HELP[];
// The heading of the ports found besides COM1..COM8.
extern const char FOUND_PORTS_HEADING[];
// Windows: a COM name is the port itself, so the fixed COM1..COM8 list and stable by-id names
// mean nothing there; `ports` lists the ports present.
extern const bool PORT_NAMES_ARE_DEVICES;
// The ports command's one-line summary.
extern const char PORTS_SUMMARY[];
// How a job is interrupted, as the end of an exit-status list: "130 when interrupted (...), ...".
extern const char INTERRUPTED_EXITS_HELP[];
// Where demo finds the sample image when none is given.
extern const char SAMPLE_IMAGE_HELP[];
// The one-line summaries of simulate and demo, which need pseudo-terminals without --port.
extern const char SIMULATE_SUMMARY[];
extern const char DEMO_SUMMARY[];
// What simulate says of a port that reports no line errors, when it starts and after the run.
extern const char UNCHECKED_PORT_NOTE[];
extern const char UNCHECKED_LINE_ERRORS[];

}  // namespace tarvex::cli
