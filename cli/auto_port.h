// `--port auto`: the one USB serial adapter present, and the adapter behind a port in use.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/port_list.h"

namespace tarvex::cli {

inline constexpr std::string_view AUTO_PORT = "auto";

// The port name of the only USB serial adapter in `adapters` (its stable by-id name where there
// is one, so that a report or a log names the same cable tomorrow). With none or several it says
// so on `err`, listing them, and returns nothing: the caller exits with EXIT_USAGE.
std::optional<std::string> AutoPort(const std::vector<SerialAdapter>& adapters, std::ostream& err);

// The adapter that `resolvedDevice` (what ResolvedDevice() gives for a port name) belongs to;
// nothing when it is none of `adapters`.
std::optional<SerialAdapter> AdapterForDevice(const std::string& resolvedDevice,
                                              const std::vector<SerialAdapter>& adapters);

}  // namespace tarvex::cli
