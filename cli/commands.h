// The subcommands of tarvex-cli. Each Add*Command registers one subcommand on `app`; when it
// runs, its callback writes the exit status into `exitCode`.
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace tarvex::cli {

// Exit statuses shared by every subcommand.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;         // a port could not be opened, a write failed, ...
inline constexpr int EXIT_USAGE = 2;          // bad arguments
inline constexpr int EXIT_BAD_IMAGE = 3;      // the image was rejected
inline constexpr int EXIT_HANGUP = 129;       // the terminal closed (SIGHUP)
inline constexpr int EXIT_INTERRUPTED = 130;  // Ctrl-C or SIGTERM

struct Io {
  std::ostream& out;
  std::ostream& err;
};

void AddInfoCommand(CLI::App& app, Io io, int& exitCode);
void AddPortsCommand(CLI::App& app, Io io, int& exitCode);
void AddSimulateCommand(CLI::App& app, Io io, int& exitCode);
void AddDownloadCommand(CLI::App& app, Io io, int& exitCode);
void AddTestCommand(CLI::App& app, Io io, int& exitCode);
void AddDemoCommand(CLI::App& app, Io io, int& exitCode);
void AddPackCommand(CLI::App& app, Io io, int& exitCode);
void AddUnpackCommand(CLI::App& app, Io io, int& exitCode);
void AddDiffCommand(CLI::App& app, Io io, int& exitCode);
void AddLoopcheckCommand(CLI::App& app, Io io, int& exitCode);

}  // namespace tarvex::cli
