// JSON as tarvex-cli writes it: one compact object per line (--json results, trace and report
// records), keys in the order they were set.
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace tarvex::cli {

using Json = nlohmann::ordered_json;

// Bytes read as ISO 8859-1 (what an 8-bit model name is taken to be), returned as UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// One line of compact JSON; text that is not valid UTF-8 (a file name from an old system) is
// written with U+FFFD in its place rather than lost with an exception.
std::string JsonLine(const Json& value);
void WriteJsonLine(std::ostream& out, const Json& value);

}  // namespace tarvex::cli
