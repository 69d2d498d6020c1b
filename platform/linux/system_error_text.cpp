#include <system_error>

#include "platform/os_error.h"

namespace tarvex {

// errno: the C library's text, through std::error_code because strerror() is not thread-safe.
std::string SystemErrorText(int code) {
  return std::error_code(code, std::generic_category()).message();
}

}  // namespace tarvex
