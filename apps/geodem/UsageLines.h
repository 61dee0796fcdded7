#pragma once
// The usage lines of a subcommand whose forms CLI11 cannot derive from its options (sources and
// destination in one list, or several ways to call it): "Usage: <name> <form>", one line a form.
#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

class UsageLines : public CLI::Formatter {
 public:
  explicit UsageLines(std::vector<std::string> forms) : forms_(std::move(forms)) {}

  std::string make_usage(const CLI::App*, std::string name) const override {
    std::string text;
    for (const std::string& form : forms_)
      text += (text.empty() ? "Usage: " : "       ") + name + " " + form + "\n";
    return text;
  }

 private:
  std::vector<std::string> forms_;
};
