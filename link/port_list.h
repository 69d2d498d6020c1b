// The serial ports a user can pick, found without opening any of them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvex {

struct ComPortEntry {
  std::string name;    // "COM1"
  std::string device;  // what the name opens ("/dev/ttyS0")
  bool exists = false;
};

// What a USB device says about itself; each part is empty when it is not known.
struct UsbFacts {
  std::string vid;  // four hex digits, lower case: "0403"
  std::string pid;  // "6001"
  std::string maker;
  std::string product;
  std::string serial;  // empty when the device has none
};

struct SerialAdapter {
  // The name to give --port: the stable by-id name where there is one, else the device.
  std::string path;
  std::string device;  // "/dev/ttyUSB0", "COM12"
  std::string byId;    // "/dev/serial/by-id/usb-..."; empty when the system made none
  // What the system calls the port ("USB Serial Port (COM12)"); may be empty.
  std::string description;
  std::optional<UsbFacts> usb;  // set for a USB device
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

// The serial adapters present, one entry per device, sorted by device. On Linux these are the USB
// serial devices under `deviceRoot` ("/dev"), described from `sysfsRoot` ("/sys"); on Windows
// every port present (the roots are not used), USB facts where the system has them.
std::vector<SerialAdapter> ListUsbSerialAdapters(const std::string& deviceRoot = "/dev",
                                                 const std::string& sysfsRoot = "/sys");

}  // namespace tarvex
