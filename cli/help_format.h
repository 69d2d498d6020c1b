// The help's look: an option's value is shown by what it stands for ("PORT", "FILE", "S"), never
// by the parser's own type names ("TEXT:PORT", "S:S").
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace tarvex::cli {

// The label of an option's value: a name given to it (type_name) or, failing that, the name of
// its check, else nothing for a positional (its name says it) and its long name in capitals.
std::string ValueLabel(const CLI::Option& option);

class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* option) const override;
};

}  // namespace tarvex::cli
