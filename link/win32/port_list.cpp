// Windows ports: names as the system lists them, found without opening any of them. SetupAPI
// knows the ports present with their friendly names and USB ids; the registry's SERIALCOMM map
// is the fallback where it lists none.
#include "link/port_list.h"

#include <windows.h>
// After windows.h: these need its types.
#include <initguid.h>
//
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>
#include <optional>

#include "link/usb_ids.h"
#include "link/win32/wide_text.h"

namespace tarvex {

namespace {

constexpr const char* DEVICE_NAMESPACE = "\\\\.\\";
constexpr unsigned MAX_COM_NUMBER = 256;

struct PresentPort {
  std::string name;  // "COM12"
  std::string description;
};

// The number of "COMn" in any letter case (1 to 256), or 0 for another name.
unsigned ComNumber(const std::string& name) {
  if (name.size() <= 3 || name.size() > 6 || _strnicmp(name.c_str(), "COM", 3) != 0) {
    return 0;
  }
  unsigned number = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') {
      return 0;
    }
    number = number * 10 + static_cast<unsigned>(name[i] - '0');
  }
  return number <= MAX_COM_NUMBER ? number : 0;
}

std::wstring RegistryText(HKEY key, const wchar_t* value) {
  wchar_t buffer[256] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  return buffer;
}

std::wstring FriendlyName(HDEVINFO set, SP_DEVINFO_DATA& info) {
  wchar_t buffer[256] = {};
  if (!SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, nullptr,
                                         reinterpret_cast<BYTE*>(buffer),
                                         sizeof buffer - sizeof(wchar_t), nullptr)) {
    return {};
  }
  return buffer;
}

std::optional<UsbIds> DeviceUsbIds(HDEVINFO set, SP_DEVINFO_DATA& info) {
  wchar_t buffer[512] = {};
  if (!SetupDiGetDeviceInstanceIdW(set, &info, buffer, 511, nullptr)) {
    return std::nullopt;
  }
  return ParseUsbInstanceId(win32::ToUtf8(buffer));
}

std::vector<PresentPort> FromSetupApi() {
  std::vector<PresentPort> ports;
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) {
    return ports;
  }
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
      continue;
    }
    const std::string name = win32::ToUtf8(RegistryText(key, L"PortName"));
    RegCloseKey(key);
    if (ComNumber(name) == 0) {
      continue;  // a printer port, or a port without a COM name
    }
    ports.push_back(
        {name, DescribePort(win32::ToUtf8(FriendlyName(set, info)), DeviceUsbIds(set, info))});
  }
  SetupDiDestroyDeviceInfoList(set);
  return ports;
}

std::vector<PresentPort> FromSerialCommMap() {
  std::vector<PresentPort> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t device[256] = {};
    wchar_t name[64] = {};
    DWORD deviceLength = 255;
    DWORD nameSize = sizeof name - sizeof(wchar_t);
    DWORD type = 0;
    if (RegEnumValueW(key, i, device, &deviceLength, nullptr, &type, reinterpret_cast<BYTE*>(name),
                      &nameSize) != ERROR_SUCCESS) {
      break;
    }
    if (type == REG_SZ && ComNumber(win32::ToUtf8(name)) != 0) {
      ports.push_back({win32::ToUtf8(name), win32::ToUtf8(device)});
    }
  }
  RegCloseKey(key);
  return ports;
}

std::vector<PresentPort> PresentPorts() {
  std::vector<PresentPort> ports = FromSetupApi();
  if (ports.empty()) {
    ports = FromSerialCommMap();
  }
  std::sort(ports.begin(), ports.end(), [](const PresentPort& a, const PresentPort& b) {
    return ComNumber(a.name) < ComNumber(b.name);
  });
  return ports;
}

}  // namespace

// COM10 and above open only through the device namespace, so every COM name goes that way.
std::string DeviceForPortName(const std::string& portName) {
  if (const unsigned number = ComNumber(portName); number > 0) {
    return std::string(DEVICE_NAMESPACE) + "COM" + std::to_string(number);
  }
  if (portName.empty() || portName.find_first_of("\\/:") != std::string::npos) {
    return portName;  // a device path already, or not a port name at all
  }
  return std::string(DEVICE_NAMESPACE) + portName;  // another driver's name, e.g. "CNCA0"
}

// Windows device names have no links; the letter case of a COM name is already settled.
std::string ResolvedDevice(const std::string& portName) {
  return DeviceForPortName(portName);
}

std::vector<ComPortEntry> ListComPorts() {
  const std::vector<PresentPort> present = PresentPorts();
  std::vector<ComPortEntry> ports;
  for (int n = 1; n <= COM_PORT_COUNT; ++n) {
    ComPortEntry entry;
    entry.name = "COM" + std::to_string(n);
    entry.device = DeviceForPortName(entry.name);
    entry.exists = std::any_of(present.begin(), present.end(), [&](const PresentPort& port) {
      return ComNumber(port.name) == static_cast<unsigned>(n);
    });
    ports.push_back(entry);
  }
  return ports;
}

// Every port present, USB or not: on Windows the port names say nothing about the kind.
std::vector<SerialAdapter> ListUsbSerialAdapters(const std::string& /*deviceRoot*/) {
  std::vector<SerialAdapter> adapters;
  for (const PresentPort& port : PresentPorts()) {
    adapters.push_back({port.name, {}, port.description});
  }
  return adapters;
}

}  // namespace tarvex
