#include "cli/port_listing.h"

#include <iomanip>
#include <ostream>

#include "cli/json_output.h"
#include "cli/port_texts.h"

namespace tarvex::cli {

namespace {

// A device chooses its own strings; they must not move the cursor or recolour the terminal.
std::string Printable(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      c = '?';
    }
  }
  return text;
}

void AddPart(std::string& text, const char* label, const std::string& value) {
  if (!value.empty()) {
    text += (text.empty() ? "" : ", ") + std::string(label) + " " + Printable(value);
  }
}

Json TextOrNull(const std::string& text) {
  return text.empty() ? Json() : Json(text);
}

// "device" is what the name opens, spelled as in "com_ports" ("\\.\COM12", "/dev/ttyUSB0").
Json AdapterObject(const SerialAdapter& adapter) {
  const UsbFacts usb = adapter.usb.value_or(UsbFacts{});
  Json object{{"port", adapter.path},
              {"device", DeviceForPortName(adapter.device)},
              {"description", TextOrNull(adapter.description)},
              {"usb", adapter.usb.has_value()},
              {"vid", TextOrNull(usb.vid)},
              {"pid", TextOrNull(usb.pid)},
              {"maker", TextOrNull(usb.maker)},
              {"product", TextOrNull(usb.product)},
              {"serial", TextOrNull(usb.serial)}};
  if (!PORT_NAMES_ARE_DEVICES) {
    object["by_id"] = TextOrNull(adapter.byId);
  }
  return object;
}

}  // namespace

std::string AdapterFacts(const SerialAdapter& adapter) {
  std::string text;
  if (!adapter.usb) {
    return text;
  }
  const UsbFacts& usb = *adapter.usb;
  if (!usb.vid.empty() && !usb.pid.empty()) {
    text = "USB " + Printable(usb.vid) + ":" + Printable(usb.pid);
  }
  AddPart(text, "maker", usb.maker);
  AddPart(text, "product", usb.product);
  AddPart(text, "serial", usb.serial);
  return text;
}

void WritePortsText(std::ostream& out, const std::vector<ComPortEntry>& comPorts,
                    const std::vector<SerialAdapter>& adapters) {
  if (!PORT_NAMES_ARE_DEVICES) {
    out << "Serial ports:\n";
    for (const ComPortEntry& port : comPorts) {
      out << "  " << std::left << std::setw(6) << port.name << port.device
          << (port.exists ? "  present" : "  not present") << '\n';
    }
  }
  out << FOUND_PORTS_HEADING << '\n';
  if (adapters.empty()) {
    out << "  none found\n";
  }
  for (const SerialAdapter& adapter : adapters) {
    out << "  " << adapter.path;
    if (adapter.device != adapter.path) {
      out << " -> " << adapter.device;
    }
    if (!adapter.description.empty()) {
      out << "  " << Printable(adapter.description);
    }
    out << '\n';
    if (const std::string facts = AdapterFacts(adapter); !facts.empty()) {
      out << "      " << facts << '\n';
    }
  }
}

void WritePortsJson(std::ostream& out, const std::vector<ComPortEntry>& comPorts,
                    const std::vector<SerialAdapter>& adapters) {
  Json com = Json::array();
  for (const ComPortEntry& port : comPorts) {
    com.push_back({{"name", port.name}, {"device", port.device}, {"present", port.exists}});
  }
  // USB serial adapters, and the other ports present (Windows lists every one).
  Json usb = Json::array();
  Json other = Json::array();
  for (const SerialAdapter& adapter : adapters) {
    (adapter.usb ? usb : other).push_back(AdapterObject(adapter));
  }
  WriteJsonLine(out, Json{{"com_ports", std::move(com)},
                          {"adapters", std::move(usb)},
                          {"other_ports", std::move(other)}});
}

}  // namespace tarvex::cli
