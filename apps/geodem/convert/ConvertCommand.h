#pragma once
// `geodem convert`: checks the request, describes the sources, finds the writer and runs the job.
// Exit status: 0 when every target was written, 1 when a source, the writer or GDAL failed, 2 for
// a request that cannot work as given.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "apps/geodem/Console.h"
#include "apps/geodem/convert/BlockCacheSize.h"
#include "apps/geodem/convert/ConvertOptions.h"
#include "apps/geodem/GdalErrorCapture.h"
#include "apps/geodem/convert/JobMappingFile.h"
#include "apps/geodem/convert/JobSource.h"
#include "apps/geodem/convert/StandardOutput.h"
#include "apps/geodem/convert/TargetPlan.h"

class GridFileSet;

class ConvertCommand {
 public:
  ConvertCommand(const ConvertOptions& options, Console& console)
      : options_(options), console_(console) {}

  int Run();

 private:
  int RunSteps();
  // Each of these reports what is wrong and answers an exit status, or none to go on.
  std::optional<int> DescribeSources();
  std::optional<int> CheckSourceFiles();
  std::optional<int> CheckBlocks();
  std::optional<int> PlanCells();
  std::optional<int> CheckSpace();
  std::optional<int> CheckTargets();
  std::optional<int> PrepareMapping();
  // DST "-" or "/dev/stdout": the grid file goes to a folder of its own, refused where it cannot
  // (several grid files, a .prj, a terminal).
  std::optional<int> PrepareStandardOutput();
  // The grid file of a run that succeeded, copied to standard output; the run's status.
  int DeliverStandardOutput(int status);
  int Convert(const GdalErrorCapture& gdal);
  // A writer parameter of the job when geodem knows it: the option, a -p pair, else the default
  // of the mapping file geodem writes (a user's own mapping file may set any).
  std::optional<std::int64_t> JobParameter(const char* key, const std::optional<std::string>& option,
                                           const char* byDefault) const;
  std::optional<std::int64_t> JobZoom() const;
  // --prj: the .prj beside each grid file of a target that was written; false when one fails.
  bool PreparePrjFiles(const PlannedTarget& target,
                       std::vector<std::unique_ptr<GridFileSet>>& prepared);
  void ClearLeftovers(const std::string& output);
  bool CheckPrjFiles(const PlannedTarget& target);
  // False (said) when the name is behind a link the user may not follow (UserPath).
  bool MayWrite(const std::string& path);

  // Settles the zoom check of each source whose type allows the job's zoom; the others are checked
  // as their cells pass on their way to the writer, which reads each cell once. The cells of a
  // source whose heights may meet the no-data integer at the zoom are counted as they pass too.
  void PlanZoomCheck();
  // GDAL's block cache sized for the sources; a source whose row of blocks cannot be cached is
  // refused.
  std::optional<int> SizeBlockCache();
  // Columns of the widest grid file of the plan (a mosaic's extent).
  double WidestOutput() const;

  struct FailedTarget {
    const PlannedTarget* target;
    // Its grid files and temporary rasters that were there before the run.
    std::set<std::string> existedBefore;
  };
  // Removes what failed targets left behind: the temporary rasters and grid files that this run
  // began (a file that was there before the run, or one that another conversion is making, is
  // never removed).
  void RemoveLeftovers(const std::vector<FailedTarget>& failed);

  ConvertOptions options_;  // a copy: standard output as DST becomes a file of its own
  Console& console_;
  TargetPlan plan_;
  std::vector<JobSource> sources_;
  std::optional<BlockCacheSize> cache_;  // once the sources are described
  std::unique_ptr<JobMappingFile> generatedMapping_;
  std::unique_ptr<StandardOutput> standardOutput_;  // with DST "-" or "/dev/stdout"
  std::string mappingPath_;
};
