#include "cli/run_cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <ostream>
#include <string>

#include "cli/commands.h"
#include "cli/help_format.h"

namespace tarvex::cli {

namespace {

constexpr const char* VERSION_TEXT = "tarvex-cli " TARVEX_VERSION;

void SayUnknownCommand(const std::string& name, std::ostream& err) {
  err << "tarvex-cli: unknown command \"" << name << "\"\n"
      << "Run 'tarvex-cli help' for the list of commands.\n";
}

// The parser would call a mistyped command a missing one ("A subcommand is required").
bool IsUnknownCommand(const CLI::App& app, const std::vector<std::string>& args) {
  if (args.empty() || args.front().empty() || args.front().front() == '-') {
    return false;
  }
  const auto named = app.get_subcommands(
      [&](const CLI::App* candidate) { return candidate->check_name(args.front()); });
  return named.empty();
}

// `tarvex-cli help [COMMAND]`, as git and cargo users expect besides --help.
void AddHelpCommand(CLI::App& app, Io io, int& exitCode) {
  auto topic = std::make_shared<std::string>();
  CLI::App* help = app.add_subcommand("help", "Show the help of tarvex-cli or of one command");
  help->add_option("COMMAND", *topic, "The command to explain");
  help->callback([&app, io, topic, &exitCode] {
    const auto named = app.get_subcommands(
        [&](const CLI::App* candidate) { return candidate->get_name() == *topic; });
    CLI::App* command = topic->empty() || named.empty() ? nullptr : named.front();
    if (!topic->empty() && command == nullptr) {
      SayUnknownCommand(*topic, io.err);
      exitCode = EXIT_USAGE;
      return;
    }
    // Not app.help(): with a command chosen (this one) it would explain that command.
    io.out << (command != nullptr ? command->help("tarvex-cli")
                                  : app.get_formatter()->make_help(&app, "tarvex-cli",
                                                                   CLI::AppFormatMode::Normal));
    exitCode = EXIT_OK;
  });
}

void RegisterCommands(CLI::App& app, Io io, int& exitCode) {
  AddInfoCommand(app, io, exitCode);
  AddPortsCommand(app, io, exitCode);
  AddSimulateCommand(app, io, exitCode);
  AddDownloadCommand(app, io, exitCode);
  AddTestCommand(app, io, exitCode);
  AddDemoCommand(app, io, exitCode);
  AddPackCommand(app, io, exitCode);
  AddUnpackCommand(app, io, exitCode);
  AddDiffCommand(app, io, exitCode);
  AddLoopcheckCommand(app, io, exitCode);
  AddHelpCommand(app, io, exitCode);
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CLI::App app{"Downloads firmware images into lighting fixtures over a serial line.",
               "tarvex-cli"};
  app.set_version_flag("-V,--version", VERSION_TEXT);
  app.require_subcommand(1);
  // Options are --long and -s everywhere; on Windows the parser would also take "/x" for one,
  // and so misread a path that starts at the root of the drive.
  app.allow_windows_style_options(false);
  // Before the commands, which share their parent's formatter.
  app.formatter(std::make_shared<HelpFormatter>());
  int exitCode = EXIT_OK;
  RegisterCommands(app, Io{out, err}, exitCode);
  // "/?" is how Windows programs are asked for help; elsewhere it is no path anyone means.
  if (args.size() == 1 && args.front() == "/?") {
    out << app.help();
    return EXIT_OK;
  }
  if (IsUnknownCommand(app, args)) {
    SayUnknownCommand(args.front(), err);
    return EXIT_USAGE;
  }

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
    // Point to the help of the command that was being given, where there was one.
    const auto chosen = app.get_subcommands();
    const std::string command = chosen.empty() ? "" : " " + chosen.back()->get_name();
    err << "tarvex-cli: " << e.what() << "\n"
        << "Run 'tarvex-cli" << command << " --help' for usage.\n";
    return EXIT_USAGE;
  }
  return exitCode;
}

}  // namespace tarvex::cli
