#pragma once
// Drives the writer through one job in the framework's calling order: SetMetadata, OpenJob, then
// for every target OpenTarget, WriteRasterBlock for every block of its sources, CloseTarget.
// Every status other than S_OK is a failure; the remaining blocks of a failed source are not
// sent, and a mosaic whose blocks did not all arrive is never closed, because closing converts
// the temporary raster into the grid file (and would replace an existing file with it). After a
// SIGINT or SIGTERM no further block is sent and no target is closed.
#include <string>
#include <vector>

#include "apps/geodem/Console.h"
#include "apps/geodem/convert/BlockCacheSize.h"
#include "apps/geodem/convert/ConversionProgress.h"
#include "apps/geodem/convert/ConvertOptions.h"
#include "apps/geodem/GdalErrorCapture.h"
#include "apps/geodem/convert/BlockLayout.h"
#include "apps/geodem/convert/JobSource.h"
#include "apps/geodem/convert/TargetPlan.h"
#include "host/ComPtr.h"
#include "host/IRasterTargetWriter.h"
#include "host/IWriterJob.h"
#include "host/PropertySet.h"
#include "rastersource/ZoomedCellScan.h"

class ConversionJob {
 public:
  ConversionJob(const ConvertOptions& options, const std::vector<JobSource>& sources,
                const BlockCacheSize& cache, Console& console, ConversionProgress& progress,
                const GdalErrorCapture& gdal)
      : options_(options),
        sources_(sources),
        cache_(cache),
        console_(console),
        progress_(progress),
        gdal_(gdal) {}

  // Hands the input metadata and the mapping file to the writer; false when it refuses either.
  bool Open(IWriterJob* job, const std::string& mappingPath);
  // Converts one target and checks its grid files; false when anything failed.
  bool RunTarget(IRasterTargetWriter* writer, const PlannedTarget& target);
  // Some source's heights did not fit the grid's integers at the job's zoom.
  bool zoomRefused() const { return zoomRefused_; }

 private:
  ComPtr<PropertySet> SourceOptions(const PlannedTarget& target) const;
  // The feeds in sending order.
  std::vector<TargetFeed> Feeds(const PlannedTarget& target) const;
  bool SendSource(IRasterTargetWriter* writer, const PlannedTarget& target, const TargetFeed& feed);
  // Whether the source's heights, all seen, fit at the zoom it is to be checked against; says why
  // not.
  bool ZoomFits(const JobSource& job, const SourceReader::HeightRange& heights);
  // Says which cell no zoom fits, and what to do.
  void NoZoomFits(const std::string& path, const BlockWindow& window,
                  const ZoomedCellScan::Cell& cell);
  // The cells of a source that the zoom turns into the no-data integer, and the first of them
  // (row and column of the source, from 1).
  struct NoDataCollisions {
    std::int64_t count = 0;
    std::int64_t row = 0;
    std::int64_t column = 0;
    void Add(const ZoomedCellScan::Collisions& found, const BlockWindow& window);
  };
  void WarnNoHeight(const std::string& output);
  void WarnCollisions(const JobSource& job, const NoDataCollisions& collisions);
  // The line for a block GDAL could not read: its reason, and how to look for damage.
  static std::string CannotRead(const std::string& which, const std::string& path,
                                const std::string& gdalSaid);
  // After a target the writer reported written: each grid file there, no temporary raster left.
  bool CheckOutputs(const PlannedTarget& target);
  double Cells(const PlannedTarget& target) const;
  // Why the writer failed on `output`, in words a user can act on.
  std::string Reason(const std::string& output, int gdalFailuresBefore) const;
  // " (status 0x80004005)" with --verbose, else nothing.
  std::string Status(HRESULT hr) const;

  const ConvertOptions& options_;
  const std::vector<JobSource>& sources_;
  const BlockCacheSize& cache_;
  Console& console_;
  ConversionProgress& progress_;
  const GdalErrorCapture& gdal_;
  bool zoomRefused_ = false;
  bool anyHeight_ = false;  // some source of the current target holds a height
};
