// What the fuzz targets share: scratch files for readers that take a path, and the finding.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarvex::fuzz {

// A path of this process named `name` (some readers go by the extension), memory-backed where the
// system has it.
std::string ScratchPath(std::string_view name);

// Writes `bytes` as the whole of the file at `path`.
void WriteScratch(const std::string& path, std::span<const std::uint8_t> bytes);

// The file's bytes; empty when it cannot be read.
std::string ReadScratch(const std::string& path);

// A broken promise: ends the run so that libFuzzer keeps the input.
void Require(bool condition);

}  // namespace tarvex::fuzz
