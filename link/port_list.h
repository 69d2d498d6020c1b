// The serial ports a user can pick, found without opening any of them.
#pragma once

#include <string>
#include <vector>

namespace tarvex {

struct ComPortEntry {
  std::string name;    // "COM1"
  std::string device;  // what the name opens ("/dev/ttyS0")
  bool exists = false;
};

struct SerialAdapter {
  std::string path;    // "/dev/serial/by-id/usb-...", "/dev/ttyUSB0", "COM12", ...
  std::string target;  // the device a by-id link resolves to; empty for a device itself
  // What the system calls the port, with USB ids and serial number where known; may be empty.
  std::string description;
};

inline constexpr int COM_PORT_COUNT = 8;  // the port list offers COM1 to COM8

// The device a port name stands for: "COMn" -> the platform's n-th serial port; a path is used as
// it is.
std::string DeviceForPortName(const std::string& portName);

// The device a port name finally opens, with links followed ("/dev/serial/by-id/usb-..." ->
// "/dev/ttyUSB0"), so that two names of one device can be told apart from two devices.
std::string ResolvedDevice(const std::string& portName);

// COM1 to COM8 with their devices and whether each exists.
std::vector<ComPortEntry> ListComPorts();

// USB serial adapters found under `deviceRoot` ("/dev" on a running system): stable by-id
// links first, then the plain devices, each group sorted.
std::vector<SerialAdapter> ListUsbSerialAdapters(const std::string& deviceRoot = "/dev");

}  // namespace tarvex
