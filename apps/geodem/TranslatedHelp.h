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
};
