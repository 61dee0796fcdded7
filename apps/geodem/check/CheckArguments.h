#pragma once
// The command line of `geodem check`: the files, what to compare them with, and how to report.
#include <CLI/CLI.hpp>
#include <string>

#include "apps/geodem/check/CheckOptions.h"
#include "apps/geodem/edgematch/EdgeArguments.h"

class CheckArguments {
 public:
  // Registers the subcommand on `app`; the returned subcommand tells whether it was parsed.
  CLI::App* Add(CLI::App& app);
  // After parsing: the options into `options`; an error text, or empty.
  std::string Collect(CheckOptions& options);

 private:
  CheckOptions given_;
  EdgeArguments edges_;
  std::string jobs_, band_, maxNoData_, noData_, scale_;  // as typed; Collect checks them
  CLI::App* command_ = nullptr;
};
