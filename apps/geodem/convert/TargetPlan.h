#pragma once
// Which target datasets geodem opens on the writer for SRC... DST, and which grid file each
// source ends up in, worked out with the writer's own path rules before anything is written:
//  - DST an existing folder or ending in '/': one target named DST/ whose sources each give
//    DST/<source base name>.dem;
//  - one SRC: one target, the grid file DST;
//  - several SRC, DST ending in .dem: one mosaic target, the grid file DST;
//  - the same with --separate: one target per source, DST's folder/<DST stem>_<source base
//    name>.dem, with Multiple_Source_Option=SEPARATE_FILE.
// Paths are UTF-8 as given.
#include <string>
#include <vector>

#include "apps/geodem/convert/ConvertOptions.h"

struct TargetFeed {
  std::size_t source = 0;  // index into ConvertOptions::sources
  std::string output;      // the grid file this source's cells end up in
};

struct PlannedTarget {
  std::string name;  // the target dataset name handed to the writer
  bool mosaic = false;
  bool separateOption = false;
  std::vector<TargetFeed> feeds;  // in the order the blocks are sent

  // The distinct grid files of the target, in feed order.
  std::vector<std::string> Outputs() const;
};

class TargetPlan {
 public:
  // Plans the targets; false with error() set when the command line asks for something that
  // cannot work (a usage error: names the writer cannot hold, two sources for one file, ...).
  bool Build(const ConvertOptions& options);

  // False with error() set when a source reads one of the planned grid files or their temporary
  // rasters (a VRT over an earlier output): writing would destroy what is being read.
  // filesOfSource[i] are the files GDAL reads for options.sources[i].
  bool CheckSourceFiles(const ConvertOptions& options,
                        const std::vector<std::vector<std::string>>& filesOfSource);

  const std::vector<PlannedTarget>& targets() const { return targets_; }
  const std::string& error() const { return error_; }

 private:
  bool CheckNames(const ConvertOptions& options);
  void PlanTargets(const ConvertOptions& options, bool destinationIsFolder);
  bool CheckOutputs(const ConvertOptions& options);

  std::vector<PlannedTarget> targets_;
  std::string error_;
};
