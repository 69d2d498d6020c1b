#include "link/linux/sysfs_usb.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace tarvex::posix {

namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute, or empty when the device does not have it.
std::string Attribute(const fs::path& dir, const char* name) {
  std::ifstream in(dir / name);
  std::string line;
  std::getline(in, line);
  return line;
}

// A terminal's `device` is the USB serial port (ttyUSB) or the USB interface (ttyACM); the USB
// device holding the ids is an ancestor of either. Nothing outside `root` is looked at.
std::optional<fs::path> UsbDeviceDir(const fs::path& root, const fs::path& terminal) {
  std::error_code error;
  fs::path dir = fs::canonical(terminal / "device", error);
  if (error) {
    return std::nullopt;  // a virtual terminal has no device
  }
  for (; dir != root && dir != dir.parent_path(); dir = dir.parent_path()) {
    if (fs::exists(dir / "idVendor", error) && fs::exists(dir / "idProduct", error)) {
      return dir;
    }
  }
  return std::nullopt;
}

UsbFacts FactsOf(const fs::path& dir) {
  return {Attribute(dir, "idVendor"), Attribute(dir, "idProduct"), Attribute(dir, "manufacturer"),
          Attribute(dir, "product"), Attribute(dir, "serial")};
}

}  // namespace

std::map<std::string, UsbFacts> UsbTerminals(const std::string& sysfsRoot) {
  std::map<std::string, UsbFacts> terminals;
  std::error_code error;
  const fs::path root = fs::canonical(sysfsRoot, error);
  if (error) {
    return terminals;
  }
  for (const auto& entry : fs::directory_iterator(root / "class" / "tty", error)) {
    if (const auto dir = UsbDeviceDir(root, entry.path())) {
      terminals.emplace(entry.path().filename().string(), FactsOf(*dir));
    }
  }
  return terminals;
}

}  // namespace tarvex::posix
