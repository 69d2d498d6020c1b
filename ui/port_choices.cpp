#include "ui/port_choices.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "link/port_list.h"

namespace tarvex {

namespace {

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The run of digits at the start of `text`, without its leading zeros; `text` moves past it.
std::string_view TakeNumber(std::string_view& text) {
  std::size_t end = 0;
  while (end < text.size() && IsDigit(text[end])) {
    ++end;
  }
  std::string_view number = text.substr(0, end);
  text.remove_prefix(end);
  number.remove_prefix(std::min(number.find_first_not_of('0'), number.size()));
  return number;
}

// -1, 0 or 1 as `a` sorts before, with or after `b`, numbers by value.
int CompareByNumbers(std::string_view a, std::string_view b) {
  while (!a.empty() && !b.empty()) {
    if (IsDigit(a.front()) && IsDigit(b.front())) {
      const std::string_view x = TakeNumber(a);
      const std::string_view y = TakeNumber(b);
      if (x.size() != y.size()) {
        return x.size() < y.size() ? -1 : 1;
      }
      if (const int order = x.compare(y); order != 0) {
        return order < 0 ? -1 : 1;
      }
      continue;
    }
    if (a.front() != b.front()) {
      return a.front() < b.front() ? -1 : 1;
    }
    a.remove_prefix(1);
    b.remove_prefix(1);
  }
  return a.empty() == b.empty() ? 0 : (a.empty() ? -1 : 1);
}

// Whether port name `a` comes before `b`: runs of digits by their value, the rest as text.
bool PortNameLess(const std::string& a, const std::string& b) {
  const int order = CompareByNumbers(a, b);
  // "COM01" and "COM1" have one value; plain text order keeps the result strict.
  return order != 0 ? order < 0 : a < b;
}

}  // namespace

std::vector<std::string> PortChoices(std::vector<std::string> adapters) {
  std::vector<std::string> choices;
  for (int n = 1; n <= COM_PORT_COUNT; ++n) {
    choices.push_back("COM" + std::to_string(n));
  }
  // On Windows the ports present include COM1 to COM8 themselves.
  std::erase_if(adapters, [&choices](const std::string& adapter) {
    return std::find(choices.begin(), choices.end(), adapter) != choices.end();
  });
  std::sort(adapters.begin(), adapters.end(), PortNameLess);
  adapters.erase(std::unique(adapters.begin(), adapters.end()), adapters.end());
  choices.insert(choices.end(), adapters.begin(), adapters.end());
  return choices;
}

std::vector<std::string> FoundSerialAdapters() {
  std::vector<std::string> names;
  for (const SerialAdapter& adapter : ListUsbSerialAdapters()) {
    names.push_back(adapter.path);
  }
  return names;
}

}  // namespace tarvex
