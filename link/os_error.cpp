#include "link/os_error.h"

#include <utility>

namespace tarvex {

std::string OsError::Message() const {
  const std::string text =
      code.category() == std::system_category() ? SystemErrorText(code.value()) : code.message();
  if (hint.empty()) {
    return text;
  }
  return text.empty() ? hint : hint + " (" + text + ")";
}

OsError GenericError(std::errc condition, std::string hint) {
  return OsError{std::make_error_code(condition), std::move(hint)};
}

}  // namespace tarvex
