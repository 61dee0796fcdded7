#pragma once
// The command line of `geodem sheets`: the sheet arithmetic (--number-of, --extent), the list of
// the sheets that sources cover, and the conversion of a sheet set with geodem batch's options.
#include <CLI/CLI.hpp>
#include <string>

#include "apps/geodem/batch/BatchArguments.h"
#include "apps/geodem/edgematch/EdgeArguments.h"
#include "apps/geodem/sheets/SheetsOptions.h"

class SheetsArguments {
 public:
  // Registers the subcommand on `app`; the returned subcommand tells whether it was parsed.
  CLI::App* Add(CLI::App& app);
  // After parsing: the options into `options`; an error text, or empty.
  std::string Collect(SheetsOptions& options);

  // Cells a window may be widened by on each side.
  static constexpr long kMaxBuffer = 10000;

 private:
  std::string CollectScale(SheetsOptions& options) const;
  static std::string ReadPoint(const std::string& text, SheetsOptions& options);

  BatchArguments run_;
  EdgeArguments edges_;  // with --report
  SheetsOptions given_;
  std::string scale_, point_, number_, buffer_;  // as typed; Collect checks them
  std::optional<std::string> outDir_, reportDir_;
  std::vector<std::string> sources_;
  bool list_ = false, planOnly_ = false;
  CLI::App* command_ = nullptr;
};
