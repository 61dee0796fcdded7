#pragma once
// CLI11's help in the user's language: its fixed words become labels looked up in geodem's
// catalogue, the default group of options ("Options") among them. The title of the subcommands'
// group and the help flag's own line are set where the command line is built, since CLI11
// copies them into each subcommand it creates.
#include <CLI/CLI.hpp>

#include "apps/geodem/Translation.h"

class TranslatedHelp : public CLI::Formatter {
 public:
  TranslatedHelp() {
    label("Usage", _("Usage"));
    label("OPTIONS", _("OPTIONS"));
    label("SUBCOMMAND", _("SUBCOMMAND"));
    label("SUBCOMMANDS", _("SUBCOMMANDS"));
    label("Positionals", _("Positionals"));
    label("REQUIRED", _("REQUIRED"));
    label("Needs", _("Needs"));
    label("Excludes", _("Excludes"));
    label("Options", _("Options"));
  }

  std::string make_group(std::string group, bool positional,
                         std::vector<const CLI::Option*> options) const override {
    return CLI::Formatter::make_group(get_label(group), positional, std::move(options));
  }

  // CLI11 pads the left column by bytes; a Chinese label there ("排斥: --quiet") would push the
  // description out of line, so the padding counts the columns a terminal shows.
  std::string make_option(const CLI::Option* option, bool positional) const override {
    const std::string name =
        "  " + make_option_name(option, positional) + make_option_opts(option);
    const std::string description = make_option_desc(option);
    const std::string indent(column_width_, ' ');
    std::string out = Translation::Padded(name, column_width_);
    if (!description.empty() && Translation::Columns(name) >= column_width_) out += "\n" + indent;
    for (char c : description) out += c == '\n' ? "\n" + indent : std::string(1, c);
    return out + "\n";
  }
};
