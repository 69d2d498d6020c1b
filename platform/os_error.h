// An operating-system error kept for callers that want to say why something failed.
#pragma once

#include <string>
#include <system_error>

namespace tarvex {

struct OsError {
  // The platform's system category for what the OS reported (errno on Linux, GetLastError() on
  // Windows: never mixed in one integer), the generic category for conditions our own code
  // raises. Empty: no error.
  std::error_code code;
  // What the failure means for the user, then after ": " how to fix it where one helps ("port is
  // in use by another program: close it, or pick another port"); empty otherwise.
  std::string hint;

  explicit operator bool() const { return static_cast<bool>(code); }
  // What went wrong without the fix, for records: "port is in use by another program (system
  // text)", or the system text alone when there is no hint.
  std::string Reason() const;
  // The fix alone ("close it, or pick another port"); empty when the hint gives none.
  std::string Advice() const;
  // For a person: "Reason(); Advice()", or the reason alone.
  std::string Message() const;
};

// An error our own code raises, e.g. GenericError(std::errc::timed_out, "...").
OsError GenericError(std::errc condition, std::string hint = {});

// The system's own text for a code of the platform's system category.
std::string SystemErrorText(int code);

}  // namespace tarvex
