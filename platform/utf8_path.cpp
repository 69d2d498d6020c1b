#include "platform/utf8_path.h"

namespace tarvex {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  const std::u8string_view text(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size());
  try {
    return std::filesystem::path(text);
  } catch (const std::exception&) {
    // Only a conversion to UTF-16 can fail, on malformed text.
    return {};
  }
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {reinterpret_cast<const char*>(text.data()), text.size()};
}

}  // namespace tarvex
