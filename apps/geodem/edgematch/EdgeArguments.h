#pragma once
// The command-line options of edge matching, the same wherever a command offers it (geodem check,
// batch --report, sheets --report): --edges and --edge-tolerance METRES.
#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "apps/geodem/edgematch/EdgeMatchOptions.h"

class EdgeArguments {
 public:
  void Add(CLI::App& command);
  // After parsing: the options when --edges was given, else none; an error text, or empty.
  // `noData`: the command's --nodata, if any.
  std::string Collect(std::optional<EdgeMatchOptions>& edges, std::optional<double> noData = {});

 private:
  bool edges_ = false;
  std::string toleranceText_;
  CLI::Option* tolerance_ = nullptr;
};
