#include "link/port_list.h"

#include <strings.h>

#include <filesystem>
#include <map>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>

#include "link/linux/sysfs_usb.h"

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

template <typename Value>
Value ValueOr(const std::map<std::string, Value>& map, const std::string& key, Value fallback) {
  const auto found = map.find(key);
  return found == map.end() ? std::move(fallback) : found->second;
}

// The devices in `deviceRoot` that USB serial drivers name, found even where sysfs is not
// mounted.
std::set<std::string> UsbDeviceNames(const std::string& deviceRoot) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(deviceRoot, error)) {
    const std::string name = entry.path().filename().string();
    for (const char* prefix : USB_DEVICE_PREFIXES) {
      if (StartsWith(name, prefix)) {
        names.insert(name);
      }
    }
  }
  return names;
}

// Device name ("ttyUSB0") -> its stable link in `deviceRoot`/serial/by-id; the first link in
// order where a device has several.
std::map<std::string, std::string> ByIdNames(const std::string& deviceRoot) {
  std::map<std::string, std::string> names;
  std::error_code error;
  const fs::path root = fs::canonical(deviceRoot, error);
  std::set<fs::path> links;
  for (const auto& entry :
       fs::directory_iterator(fs::path(deviceRoot) / "serial" / "by-id", error)) {
    links.insert(entry.path());
  }
  for (const fs::path& link : links) {
    std::error_code resolveError;
    const fs::path target = fs::canonical(link, resolveError);
    if (!resolveError && target.parent_path() == root) {
      names.emplace(target.filename().string(), link.string());
    }
  }
  return names;
}

}  // namespace

std::string DeviceForPortName(const std::string& portName) {
  // "./x", "pts/7", "/dev/ttyUSB0": a name with a slash is a path, relative to where we run.
  if (portName.find('/') != std::string::npos) {
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

std::vector<SerialAdapter> ListUsbSerialAdapters(const std::string& deviceRoot,
                                                 const std::string& sysfsRoot) {
  const std::map<std::string, UsbFacts> usbTerminals = posix::UsbTerminals(sysfsRoot);
  const std::map<std::string, std::string> byIdNames = ByIdNames(deviceRoot);
  std::set<std::string> names = UsbDeviceNames(deviceRoot);
  for (const auto& [name, facts] : usbTerminals) {
    if (Exists((fs::path(deviceRoot) / name).string())) {
      names.insert(name);
    }
  }
  for (const auto& [name, link] : byIdNames) {
    names.insert(name);
  }
  std::vector<SerialAdapter> adapters;
  for (const std::string& name : names) {
    SerialAdapter adapter;
    adapter.device = (fs::path(deviceRoot) / name).string();
    adapter.byId = ValueOr(byIdNames, name, std::string());
    adapter.path = adapter.byId.empty() ? adapter.device : adapter.byId;
    // Every device here is a USB one (named so, linked by id, or below a USB device in sysfs),
    // even where sysfs cannot be read for its facts.
    adapter.usb = ValueOr(usbTerminals, name, UsbFacts{});
    adapters.push_back(std::move(adapter));
  }
  return adapters;
}

}  // namespace tarvex
