#include "cli/json_output.h"

#include <ostream>

namespace tarvex::cli {

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      text += c;
    } else {  // U+0080 .. U+00FF take two bytes
      text += static_cast<char>(0xC0 | (b >> 6));
      text += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return text;
}

std::string JsonLine(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void WriteJsonLine(std::ostream& out, const Json& value) {
  out << JsonLine(value) << '\n';
}

}  // namespace tarvex::cli
