#include <windows.h>

#include <iostream>

#include "cli/run_cli.h"
#include "cli/win32/console.h"

int main() {
  const tarvex::cli::Utf8Console console;
  return tarvex::cli::RunCli(tarvex::cli::Utf8Arguments(GetCommandLineW()), std::cout, std::cerr);
}
