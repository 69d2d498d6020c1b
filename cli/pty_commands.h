// simulate, demo and loopcheck: the commands whose simulated fixture listens on a pseudo-terminal
// or reads a port. Their options are the same everywhere; without a port, simulate and demo need
// Linux.
#pragma once

#include <string>

#include "cli/commands.h"
#include "cli/run_options.h"

namespace tarvex::cli {

struct SimulateOptions {
  std::string port;        // a serial port wired to the sender's; empty: a new pseudo-terminal
  std::string out;         // Intel HEX file for the memory received; empty: none
  double timeoutS = 0.0;   // seconds; 0 waits until a download is over
  double timeScale = 1.0;  // of the download's pauses; the fixture expects gaps scaled alike
};

struct DemoOptions {
  std::string imagePath;  // empty: the sample image installed with the program
  RunArgs run;
};

struct LoopcheckOptions {
  std::string port;        // sends, through the downloader's own write path
  std::string via;         // reads, wired to `port`
  double timeScale = 1.0;  // of the run sent at each setting
};

// Each returns the exit status.
int RunSimulate(const SimulateOptions& options, Io io);
int RunDemo(const DemoOptions& options, Io io);
int RunLoopcheck(const LoopcheckOptions& options, Io io);

}  // namespace tarvex::cli
