// The USB vendor and product ids and the serial number that a device instance id carries
// ("USB\VID_0403&PID_6001\A12345", "FTDIBUS\VID_0403+PID_6001+A12345A\0000").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

struct UsbIds {
  std::string vid;     // four hex digits, upper case: "0403"
  std::string pid;     // "6001"
  std::string serial;  // empty when the device has none (the system made up an instance id)
};

// Empty when the id names no USB vendor and product.
std::optional<UsbIds> ParseUsbInstanceId(std::string_view instanceId);

// "USB Serial Port (COM12), USB 0403:6001, serial A12345"; the parts that are known.
std::string DescribePort(const std::string& friendlyName, const std::optional<UsbIds>& ids);

}  // namespace tarvex
