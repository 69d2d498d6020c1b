#include "tools/elf_input.h"

#include <fmt/format.h>

namespace tarvex {

// No ELF library is built for Windows; converting the file first does the same job.
PackInput ReadElfInput(const std::string& name) {
  PackInput input;
  input.error = fmt::format(
      "{}: ELF input is not supported in this build: convert it first (objcopy -O ihex {} "
      "out.hex) and pack the HEX file",
      name, name);
  input.badArgument = true;
  return input;
}

}  // namespace tarvex
