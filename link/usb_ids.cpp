#include "link/usb_ids.h"

#include <cctype>

namespace tarvex {

namespace {

constexpr std::size_t ID_DIGITS = 4;

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return upper;
}

bool IsHexId(std::string_view text) {
  if (text.size() < ID_DIGITS) {
    return false;
  }
  for (std::size_t i = 0; i < ID_DIGITS; ++i) {
    if (std::isxdigit(static_cast<unsigned char>(text[i])) == 0) {
      return false;
    }
  }
  return true;
}

// The four hex digits after `key` ("VID_", "PID_") in lower case, as Linux and the USB id lists
// write them, or empty.
std::string IdAfter(std::string_view upper, std::string_view key) {
  const std::size_t at = upper.find(key);
  if (at == std::string_view::npos || !IsHexId(upper.substr(at + key.size()))) {
    return {};
  }
  std::string id(upper.substr(at + key.size(), ID_DIGITS));
  for (char& c : id) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return id;
}

// Bus drivers put the serial number either as the last part of the id (the USB bus) or after
// the product id within the second part (FTDI's bus: "VID_0403+PID_6001+A12345A").
std::string SerialOf(std::string_view id, std::string_view upper) {
  const std::size_t pid = upper.find("PID_");
  const std::size_t plus = id.find('+', pid);
  const std::size_t partEnd = id.find('\\', pid);
  if (plus != std::string_view::npos && (partEnd == std::string_view::npos || plus < partEnd)) {
    return std::string(id.substr(
        plus + 1, partEnd == std::string_view::npos ? std::string_view::npos : partEnd - plus - 1));
  }
  if (partEnd == std::string_view::npos || upper.find("&MI_") != std::string_view::npos) {
    return {};  // an interface of a composite device carries the parent's serial, not its own
  }
  const std::string_view last = id.substr(partEnd + 1);
  // An id with '&' was made up by the system for a device without a serial number.
  if (last.empty() || last.find('&') != std::string_view::npos) {
    return {};
  }
  return std::string(last);
}

}  // namespace

std::optional<UsbFacts> ParseUsbInstanceId(std::string_view instanceId) {
  const std::string upper = Upper(instanceId);
  UsbFacts facts;
  facts.vid = IdAfter(upper, "VID_");
  facts.pid = IdAfter(upper, "PID_");
  if (facts.vid.empty() || facts.pid.empty()) {
    return std::nullopt;
  }
  facts.serial = SerialOf(instanceId, upper);
  return facts;
}

}  // namespace tarvex
