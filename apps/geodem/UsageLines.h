#pragma once
// The usage lines of a subcommand whose forms CLI11 cannot derive from its options (sources and
// destination in one list, or several ways to call it): "Usage: <name> <form>", one line a form.
#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

#include "apps/geodem/TranslatedHelp.h"

class UsageLines : public TranslatedHelp {
 public:
  explicit UsageLines(std::vector<std::string> forms) : forms_(std::move(forms)) {}

  std::string make_usage(const CLI::App*, std::string name) const override {
    const std::string usage = get_label("Usage") + ": ";
    std::string text;
    const std::string options = "[" + get_label("OPTIONS") + "]";
    for (std::string form : forms_) {
      for (std::size_t at = form.find("[OPTIONS]"); at != std::string::npos;
           at = form.find("[OPTIONS]", at + options.size()))
        form.replace(at, 9, options);
      text += (text.empty() ? usage : std::string(Translation::Columns(usage), ' ')) + name + " " +
              form + "\n";
    }
    return text;
  }

 private:
  std::vector<std::string> forms_;
};
