#pragma once
// What `geodem batch` was asked to do, as the command line gave it. Paths are UTF-8 as typed.
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/convert/ConvertOptions.h"
#include "apps/geodem/edgematch/EdgeMatchOptions.h"

// --shard K/N: this process takes tiles K, K+N, K+2N, ... of the plan (K from 0).
struct ShardSpec {
  long long index = 0;
  long long count = 1;
};

struct BatchOptions {
  // The tiles: SOURCES into outDir, or the lines of a manifest (outDir then holds the outputs of
  // lines without a destination).
  std::vector<std::string> sources;
  std::optional<std::string> outDir;
  std::optional<std::string> manifest;

  // Every tile's conversion: the checked options, and the same as words for `geodem convert`.
  ConvertOptions convert;
  std::vector<std::string> convertArguments;

  int jobs = 0;        // conversions at once; 0: one per core this process may use
  double timeout = 0;  // seconds a tile may take; 0: no limit
  bool force = false;  // convert tiles whose output exists too
  bool retryFailed = false;
  std::optional<ShardSpec> shard;  // none: from a Slurm job array, else the whole plan
  bool quiet = false;

  // --report DIR: summarise the journals in DIR instead of converting.
  std::optional<std::string> reportDir;
  bool json = false;
  std::optional<std::string> html;  // --html FILE: the report also as a page
  std::optional<EdgeMatchOptions> edges;  // --edges: the report matches the done tiles' edges
};
