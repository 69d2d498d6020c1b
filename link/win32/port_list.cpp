// Windows ports: names as the system lists them, found without opening any of them. SetupAPI
// knows the ports present with their friendly names, makers and USB ids; the registry's
// SERIALCOMM map is the fallback where it lists none.
#include "link/port_list.h"

#include <windows.h>
// After windows.h: these need its types.
#include <initguid.h>
//
#include <cfgmgr32.h>
#include <devguid.h>
#include <devpkey.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>
#include <optional>
#include <utility>

#include "link/usb_ids.h"
#include "platform/wide_text.h"

namespace tarvex {

namespace {

constexpr const char* DEVICE_NAMESPACE = "\\\\.\\";
constexpr unsigned MAX_COM_NUMBER = 256;

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

// A text property of the device ("FTDI" for SPDRP_MFG), or empty.
std::string RegistryProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
  wchar_t buffer[256] = {};
  if (!SetupDiGetDeviceRegistryPropertyW(set, &info, property, nullptr,
                                         reinterpret_cast<BYTE*>(buffer),
                                         sizeof buffer - sizeof(wchar_t), nullptr)) {
    return {};
  }
  return win32::ToUtf8(buffer);
}

// The product string the device itself reported, where the system kept it (not every driver
// stack does, Wine neither).
std::string BusReportedName(HDEVINFO set, SP_DEVINFO_DATA& info) {
  wchar_t buffer[256] = {};
  DEVPROPTYPE type = 0;
  if (!SetupDiGetDevicePropertyW(set, &info, &DEVPKEY_Device_BusReportedDeviceDesc, &type,
                                 reinterpret_cast<BYTE*>(buffer), sizeof buffer - sizeof(wchar_t),
                                 nullptr, 0) ||
      type != DEVPROP_TYPE_STRING) {
    return {};
  }
  return win32::ToUtf8(buffer);
}

std::optional<UsbFacts> InstanceUsbFacts(DEVINST instance) {
  wchar_t buffer[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Get_Device_IDW(instance, buffer, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) {
    return std::nullopt;
  }
  return ParseUsbInstanceId(win32::ToUtf8(buffer));
}

// The port of a composite device (a board with its own USB port) is one of its interfaces; the
// serial number is in the instance id of the device above it.
std::optional<UsbFacts> DeviceUsbFacts(HDEVINFO set, SP_DEVINFO_DATA& info) {
  std::optional<UsbFacts> facts = InstanceUsbFacts(info.DevInst);
  if (!facts) {
    return std::nullopt;
  }
  DEVINST parent = 0;
  if (facts->serial.empty() && CM_Get_Parent(&parent, info.DevInst, 0) == CR_SUCCESS) {
    if (const auto parentFacts = InstanceUsbFacts(parent);
        parentFacts && parentFacts->vid == facts->vid && parentFacts->pid == facts->pid) {
      facts->serial = parentFacts->serial;
    }
  }
  facts->maker = RegistryProperty(set, info, SPDRP_MFG);
  facts->product = BusReportedName(set, info);
  if (facts->product.empty()) {
    facts->product = RegistryProperty(set, info, SPDRP_DEVICEDESC);
  }
  return facts;
}

SerialAdapter PresentPort(std::string name, std::string description,
                          std::optional<UsbFacts> usb = std::nullopt) {
  return {name, name, {}, std::move(description), std::move(usb)};
}

std::vector<SerialAdapter> FromSetupApi() {
  std::vector<SerialAdapter> ports;
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
    ports.push_back(PresentPort(name, RegistryProperty(set, info, SPDRP_FRIENDLYNAME),
                                DeviceUsbFacts(set, info)));
  }
  SetupDiDestroyDeviceInfoList(set);
  return ports;
}

std::vector<SerialAdapter> FromSerialCommMap() {
  std::vector<SerialAdapter> ports;
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
      ports.push_back(PresentPort(win32::ToUtf8(name), win32::ToUtf8(device)));
    }
  }
  RegCloseKey(key);
  return ports;
}

std::vector<SerialAdapter> PresentPorts() {
  std::vector<SerialAdapter> ports = FromSetupApi();
  if (ports.empty()) {
    ports = FromSerialCommMap();
  }
  std::sort(ports.begin(), ports.end(), [](const SerialAdapter& a, const SerialAdapter& b) {
    return ComNumber(a.device) < ComNumber(b.device);
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
  const std::vector<SerialAdapter> present = PresentPorts();
  std::vector<ComPortEntry> ports;
  for (int n = 1; n <= COM_PORT_COUNT; ++n) {
    ComPortEntry entry;
    entry.name = "COM" + std::to_string(n);
    entry.device = DeviceForPortName(entry.name);
    entry.exists = std::any_of(present.begin(), present.end(), [&](const SerialAdapter& port) {
      return ComNumber(port.device) == static_cast<unsigned>(n);
    });
    ports.push_back(entry);
  }
  return ports;
}

// Every port present, USB or not: on Windows the port names say nothing about the kind.
std::vector<SerialAdapter> ListUsbSerialAdapters(const std::string& /*deviceRoot*/,
                                                 const std::string& /*sysfsRoot*/) {
  return PresentPorts();
}

}  // namespace tarvex
