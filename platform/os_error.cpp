#include "platform/os_error.h"

#include <string_view>
#include <utility>

namespace tarvex {

namespace {

constexpr std::string_view ADVICE_AFTER = ": ";

}  // namespace

std::string OsError::Reason() const {
  const std::string text =
      code.category() == std::system_category() ? SystemErrorText(code.value()) : code.message();
  const std::string meaning = hint.substr(0, hint.find(ADVICE_AFTER));
  if (meaning.empty()) {
    return text;
  }
  return text.empty() ? meaning : meaning + " (" + text + ")";
}

std::string OsError::Advice() const {
  const auto at = hint.find(ADVICE_AFTER);
  return at == std::string::npos ? std::string() : hint.substr(at + ADVICE_AFTER.size());
}

std::string OsError::Message() const {
  const std::string advice = Advice();
  return advice.empty() ? Reason() : Reason() + "; " + advice;
}

OsError GenericError(std::errc condition, std::string hint) {
  return OsError{std::make_error_code(condition), std::move(hint)};
}

}  // namespace tarvex
