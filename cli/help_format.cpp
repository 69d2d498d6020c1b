#include "cli/help_format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace tarvex::cli {

namespace {

// What the parser calls a value of a type it knows; none of them tells a user anything.
constexpr std::array<std::string_view, 7> PARSER_TYPES{"TEXT",   "INT",     "UINT", "FLOAT",
                                                       "NUMBER", "BOOLEAN", "ENUM"};

bool IsParserType(std::string_view name) {
  return std::find(PARSER_TYPES.begin(), PARSER_TYPES.end(), name) != PARSER_TYPES.end();
}

std::string Capitals(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

std::string ValueLabel(const CLI::Option& option) {
  // "TEXT:PORT": the type, then the name of each check.
  const std::string full = option.get_type_name();
  const auto colon = full.find(':');
  const std::string type = full.substr(0, colon);
  if (!IsParserType(type)) {
    return type;
  }
  if (colon != std::string::npos) {
    return full.substr(colon + 1, full.find(':', colon + 1) - colon - 1);
  }
  const auto& names = option.get_lnames();
  return option.nonpositional() && !names.empty() ? Capitals(names.front()) : std::string();
}

std::string HelpFormatter::make_option_opts(const CLI::Option* option) const {
  std::string opts = CLI::Formatter::make_option_opts(option);
  // The parser's text starts with the type name, when it shows one.
  const std::string shown = " " + get_label(option->get_type_name());
  if (option->get_option_text().empty() && option->get_type_size() != 0 &&
      !option->get_type_name().empty() && opts.rfind(shown, 0) == 0) {
    const std::string label = ValueLabel(*option);
    opts = (label.empty() ? "" : " " + label) + opts.substr(shown.size());
  }
  return opts;
}

}  // namespace tarvex::cli
