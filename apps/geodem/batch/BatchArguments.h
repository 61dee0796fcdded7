#pragma once
// The command line of `geodem batch`: the conversion options `geodem convert` takes, and the
// batch's own (which tiles, how many at once, resuming, sharding, the report).
#include <CLI/CLI.hpp>
#include <string>

#include "apps/geodem/convert/ConvertOptionParser.h"
#include "apps/geodem/batch/BatchOptions.h"
#include "apps/geodem/edgematch/EdgeArguments.h"

class BatchArguments {
 public:
  // Registers the subcommand on `app`; the returned subcommand tells whether it was parsed.
  CLI::App* Add(CLI::App& app);
  // After parsing: the options into `options`; an error text, or empty.
  std::string Collect(BatchOptions& options);

  // The options of a run (each tile's conversion, -j, --timeout, --force, --retry-failed,
  // --shard, -q) on a subcommand that plans its tiles itself, and after parsing their values
  // into `options`, checked; an error text, or empty.
  void AddRunOptions(CLI::App& command);
  std::string CollectRun(BatchOptions& options);

 private:
  BatchOptions given_;
  ConvertOptionParser convert_;
  EdgeArguments edges_;  // with --report
  std::string shard_, jobs_, timeout_;  // as typed; Collect checks them
  CLI::App* command_ = nullptr;
  CLI::App* run_ = nullptr;  // the subcommand the run options are on
};
