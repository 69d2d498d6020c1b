// ELF build outputs as `pack` input: the bytes of each loadable segment at its physical address.
#pragma once

#include <string>

#include "tools/pack_input.h"

namespace tarvex {

// The file bytes of every PT_LOAD segment, placed at its physical address (p_paddr: where a
// loader puts it in flash, which is what a fixture is sent). Zero-filled memory (p_memsz past
// p_filesz) is left out: the fixture's start-up code clears it.
PackInput ReadElfInput(const std::string& name);

}  // namespace tarvex
