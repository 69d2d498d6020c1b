#include "cli/run_cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>

#include "cli/commands.h"

namespace tarvex::cli {

namespace {

constexpr const char* VERSION_TEXT = "tarvex-cli " TARVEX_VERSION;

void RegisterCommands(CLI::App& app, Io io, int& exitCode) {
  AddInfoCommand(app, io, exitCode);
  AddPortsCommand(app, io, exitCode);
  AddSimulateCommand(app, io, exitCode);
  AddDownloadCommand(app, io, exitCode);
  AddTestCommand(app, io, exitCode);
  AddDemoCommand(app, io, exitCode);
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CLI::App app{"Downloads firmware images into lighting fixtures over a serial line.",
               "tarvex-cli"};
  app.set_version_flag("--version", VERSION_TEXT);
  app.require_subcommand(1);
  // Options are --long and -s everywhere; on Windows the parser would also take "/x" for one,
  // and so misread a path that starts at the root of the drive.
  app.allow_windows_style_options(false);
  int exitCode = EXIT_OK;
  RegisterCommands(app, Io{out, err}, exitCode);

  // CLI11 wants the arguments in reverse order when given as a vector.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return EXIT_OK;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
    return EXIT_OK;
  } catch (const CLI::CallForVersion&) {
    out << VERSION_TEXT << '\n';
    return EXIT_OK;
  } catch (const CLI::ParseError& e) {
    err << "tarvex-cli: " << e.what() << "\n"
        << "Run 'tarvex-cli --help' for usage.\n";
    return EXIT_USAGE;
  }
  return exitCode;
}

}  // namespace tarvex::cli
