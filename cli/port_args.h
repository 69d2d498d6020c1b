// The --port values of a run made into the ports it opens: "auto" becomes the one USB serial
// adapter present, and two names of one device are refused before anything opens.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::cli {

// The environment variable that gives the port when no --port is given.
inline constexpr const char* PORT_VARIABLE = "TARVEX_PORT";

// Nothing, with the reason on `err`, for a usage error (exit 2).
std::optional<std::vector<std::string>> ResolvePortArgs(const std::string& command,
                                                        const std::vector<std::string>& given,
                                                        std::ostream& err);

}  // namespace tarvex::cli
