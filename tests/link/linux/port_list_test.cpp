// Linux port names, and the USB serial adapters found in a /dev and /sys built for the test.
#include <filesystem>
#include <fstream>
#include <ostream>

#include <gtest/gtest.h>

#include "link/port_list.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

TEST(PortNames, MapToDevices) {
  const std::pair<const char*, const char*> table[] = {
      {"COM1", "/dev/ttyS0"},       {"COM8", "/dev/ttyS7"},         {"COM12", "/dev/ttyS11"},
      {"/dev/pts/7", "/dev/pts/7"}, {"/tmp/x/COM1", "/tmp/x/COM1"}, {"ttyUSB0", "/dev/ttyUSB0"},
      {"COM0", "/dev/COM0"},        {"COMX", "/dev/COMX"},          {"com1", "/dev/ttyS0"},
      {"Com12", "/dev/ttyS11"},
  };
  for (const auto& [name, device] : table) {
    EXPECT_EQ(DeviceForPortName(name), device) << name;
  }
  // A name with a slash is a path, as given, not a name under /dev.
  for (const std::string path : {"./x", "pts/7", "../COM1"}) {
    EXPECT_EQ(DeviceForPortName(path), path);
  }
}

TEST(PortList, OffersCom1ToCom8WithTheirDevices) {
  const std::vector<ComPortEntry> ports = ListComPorts();
  ASSERT_EQ(ports.size(), 8u);
  EXPECT_EQ(ports.front().name, "COM1");
  EXPECT_EQ(ports.front().device, "/dev/ttyS0");
  EXPECT_EQ(ports.back().name, "COM8");
  EXPECT_EQ(ports.back().device, "/dev/ttyS7");
}

// A USB adapter as the kernel shows it: usb-serial drivers (ttyUSB) put a port device between
// the interface and the terminal, CDC ACM (ttyACM) hangs the terminal on the interface itself.
struct Plugged {
  const char* tty;
  const char* usbDevice;  // sysfs name, "1-2"
  UsbFacts facts;
  const char* byId;  // null: udev made no link
};

struct TreeCase {
  const char* name;
  std::vector<Plugged> plugged;  // in the order of their device names
};

void PrintTo(const TreeCase& c, std::ostream* out) {
  *out << c.name;
}

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << '\n';
}

// `/dev` and `/sys` in miniature, with links relative as the kernel makes them.
class DeviceTree {
 public:
  fs::path Dev() const { return dir_.path() / "dev"; }
  fs::path Sys() const { return dir_.path() / "sys"; }

  void Plug(const Plugged& p) {
    const fs::path usb = Sys() / "devices/pci0000:00/0000:00:14.0/usb1" / p.usbDevice;
    const std::pair<const char*, const std::string*> attributes[] = {
        {"idVendor", &p.facts.vid},
        {"idProduct", &p.facts.pid},
        {"manufacturer", &p.facts.maker},
        {"product", &p.facts.product},
        {"serial", &p.facts.serial}};
    for (const auto& [name, value] : attributes) {
      if (!value->empty()) {
        Write(usb / name, *value);
      }
    }
    const fs::path interface = usb / (std::string(p.usbDevice) + ":1.0");
    const bool acm = std::string(p.tty).rfind("ttyACM", 0) == 0;
    const fs::path parent = acm ? interface : interface / p.tty;
    AddTerminal(p.tty, parent);
    if (p.byId != nullptr) {
      fs::create_directories(Dev() / "serial/by-id");
      fs::create_symlink(fs::path("../..") / p.tty, Dev() / "serial/by-id" / p.byId);
    }
  }

  // A terminal below `parent` in sysfs, with its node in /dev.
  void AddTerminal(const std::string& tty, const fs::path& parent) {
    const fs::path terminal = parent / "tty" / tty;
    Write(terminal / "dev", "188:0");
    fs::create_symlink(fs::relative(parent, terminal), terminal / "device");
    fs::create_directories(Sys() / "class/tty");
    fs::create_symlink(fs::relative(terminal, Sys() / "class/tty"), Sys() / "class/tty" / tty);
    Write(Dev() / tty, "");
  }

  // What is always there besides the adapters: a built-in port and a virtual console.
  void AddOtherTerminals() {
    AddTerminal("ttyS0", Sys() / "devices/platform/serial8250");
    Write(Sys() / "devices/virtual/tty/tty0/dev", "4:0");
    fs::create_directories(Sys() / "class/tty");
    fs::create_symlink("../../devices/virtual/tty/tty0", Sys() / "class/tty/tty0");
  }

 private:
  test::TempDir dir_;
};

class UsbAdapterList : public testing::TestWithParam<TreeCase> {};

TEST_P(UsbAdapterList, OneEntryPerDeviceWithItsFactsAndStableName) {
  DeviceTree tree;
  tree.AddOtherTerminals();
  for (const Plugged& p : GetParam().plugged) {
    tree.Plug(p);
  }
  const std::vector<SerialAdapter> found =
      ListUsbSerialAdapters(tree.Dev().string(), tree.Sys().string());
  ASSERT_EQ(found.size(), GetParam().plugged.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    const Plugged& p = GetParam().plugged[i];
    const SerialAdapter& a = found[i];
    const std::string byId =
        p.byId == nullptr ? std::string() : (tree.Dev() / "serial/by-id" / p.byId).string();
    EXPECT_EQ(a.device, (tree.Dev() / p.tty).string());
    EXPECT_EQ(a.byId, byId);
    EXPECT_EQ(a.path, byId.empty() ? a.device : byId);
    ASSERT_TRUE(a.usb.has_value()) << p.tty;
    EXPECT_EQ(a.usb->vid, p.facts.vid);
    EXPECT_EQ(a.usb->pid, p.facts.pid);
    EXPECT_EQ(a.usb->maker, p.facts.maker);
    EXPECT_EQ(a.usb->product, p.facts.product);
    EXPECT_EQ(a.usb->serial, p.facts.serial);
  }
}

const Plugged FTDI = {"ttyUSB0",
                      "1-1",
                      {"0403", "6001", "FTDI", "FT232R USB UART", "A12345"},
                      "usb-FTDI_FT232R_USB_UART_A12345-if00-port0"};
// No serial number, so udev makes no by-id link; no maker string either.
const Plugged CH340 = {"ttyUSB1", "1-3", {"1a86", "7523", "", "USB Serial", ""}, nullptr};
const Plugged BOARD = {"ttyACM0",
                       "1-2",
                       {"2341", "0043", "Maker Co", "Board", "7573530"},
                       "usb-Maker_Co_Board_7573530-if00"};

INSTANTIATE_TEST_SUITE_P(Table, UsbAdapterList,
                         testing::Values(TreeCase{"none", {}}, TreeCase{"one", {FTDI}},
                                         TreeCase{"two", {BOARD, FTDI}},
                                         TreeCase{"without_serial", {BOARD, FTDI, CH340}}));

// Without sysfs (a container) the devices are still found by their names and links.
TEST(PortList, FindsUsbDevicesByNameWhereSysfsIsMissing) {
  test::TempDir dev;
  for (const char* name : {"ttyUSB1", "ttyACM0", "ttyS0", "null"}) {
    std::ofstream(dev.File(name)) << "";
  }
  fs::create_directories(dev.path() / "serial/by-id");
  fs::create_symlink("../../ttyUSB1", dev.path() / "serial/by-id/usb-Maker_Cable_42-if00");

  const std::vector<SerialAdapter> found =
      ListUsbSerialAdapters(dev.path().string(), dev.File("no-sys").string());
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].path, dev.File("ttyACM0").string());
  EXPECT_EQ(found[1].path, (dev.path() / "serial/by-id/usb-Maker_Cable_42-if00").string());
  EXPECT_EQ(found[1].device, dev.File("ttyUSB1").string());
  EXPECT_TRUE(found[1].usb.has_value());
}

TEST(PortList, NoAdaptersWhenTheFoldersAreMissing) {
  test::TempDir dev;
  EXPECT_TRUE(
      ListUsbSerialAdapters((dev.path() / "absent").string(), dev.File("absent").string()).empty());
}

}  // namespace
}  // namespace tarvex
