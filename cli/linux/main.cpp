#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/run_cli.h"

int main(int argc, char** argv) {
  // `tarvex-cli download ... | head -1`: a reader that went away must not end a download half
  // way; the write fails instead, and the run goes on without its standard output.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return tarvex::cli::RunCli(args, std::cout, std::cerr);
}
