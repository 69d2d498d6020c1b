#include "link/port_list.h"

#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace tarvex {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view COM_PREFIX = "COM";
constexpr std::string_view DEVICE_DIR = "/dev/";
constexpr std::string_view SERIAL_DEVICE_PREFIX = "/dev/ttyS";
constexpr unsigned MAX_COM_NUMBER = 256;
const char* const USB_DEVICE_PREFIXES[] = {"ttyUSB", "ttyACM"};

// The number of "COMn" in any letter case (1 to 256), or 0 when the name has another form.
unsigned ComNumber(const std::string& portName) {
  if (portName.size() <= COM_PREFIX.size() ||
      strncasecmp(portName.c_str(), COM_PREFIX.data(), COM_PREFIX.size()) != 0) {
    return 0;
  }
  unsigned number = 0;
  for (std::size_t i = COM_PREFIX.size(); i < portName.size(); ++i) {
    const char c = portName[i];
    if (c < '0' || c > '9' || number > MAX_COM_NUMBER) {
      return 0;
    }
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number <= MAX_COM_NUMBER ? number : 0;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

std::string DeviceForPortName(const std::string& portName) {
  if (!portName.empty() && portName.front() == '/') {
    return portName;
  }
  if (const unsigned number = ComNumber(portName); number > 0) {
    return std::string(SERIAL_DEVICE_PREFIX) + std::to_string(number - 1);
  }
  // A bare device name such as "ttyUSB0".
  return std::string(DEVICE_DIR) + portName;
}

std::string ResolvedDevice(const std::string& portName) {
  const std::string device = DeviceForPortName(portName);
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(device, error);
  return error ? device : resolved.string();
}

std::vector<ComPortEntry> ListComPorts() {
  std::vector<ComPortEntry> ports;
  for (int n = 1; n <= COM_PORT_COUNT; ++n) {
    ComPortEntry entry;
    entry.name = std::string(COM_PREFIX) + std::to_string(n);
    entry.device = DeviceForPortName(entry.name);
    entry.exists = Exists(entry.device);
    ports.push_back(entry);
  }
  return ports;
}

std::vector<SerialAdapter> ListUsbSerialAdapters(const std::string& deviceRoot) {
  std::vector<SerialAdapter> byId;
  std::vector<SerialAdapter> devices;
  std::error_code error;
  for (const auto& entry :
       fs::directory_iterator(fs::path(deviceRoot) / "serial" / "by-id", error)) {
    std::error_code resolveError;
    const fs::path target = fs::canonical(entry.path(), resolveError);
    byId.push_back({entry.path().string(), resolveError ? std::string() : target.string(), {}});
  }
  for (const auto& entry : fs::directory_iterator(deviceRoot, error)) {
    const std::string name = entry.path().filename().string();
    for (const char* prefix : USB_DEVICE_PREFIXES) {
      if (StartsWith(name, prefix)) {
        devices.push_back({entry.path().string(), std::string(), {}});
      }
    }
  }
  const auto byPath = [](const SerialAdapter& a, const SerialAdapter& b) {
    return a.path < b.path;
  };
  std::sort(byId.begin(), byId.end(), byPath);
  std::sort(devices.begin(), devices.end(), byPath);
  byId.insert(byId.end(), devices.begin(), devices.end());
  return byId;
}

}  // namespace tarvex
