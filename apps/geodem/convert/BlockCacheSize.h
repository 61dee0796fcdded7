#pragma once
// The size of GDAL's block cache through a conversion. The writer's temporary raster passes through
// the cache: a row of the blocks handed to it, within bounds that keep memory flat whatever the
// raster size. While a source is read, the cache holds a row of the coarsest source's own blocks
// besides a row of the blocks handed over, so that no block is decoded twice. A GDAL_CACHEMAX the
// user set is left alone.
#include <string>
#include <vector>

#include "apps/geodem/convert/JobSource.h"

class BlockCacheSize {
 public:
  // For sources handed over in windows of blockSize + overlap rows, into grid files of at most
  // widestOutput columns.
  BlockCacheSize(const std::vector<JobSource>& sources, int blockSize, int overlap,
                 double widestOutput);

  // Why the sources cannot be read with their row of blocks cached; empty when they can.
  std::string Refusal() const;
  // What a user is told when the cache is raised beyond its usual bound; empty when it is not.
  std::string RaisedNote() const;

  void ForReading() const { Set(reading_); }
  void ForConverting() const { Set(working_); }

 private:
  void Set(double bytes) const;
  std::string Shape() const;  // of the coarsest source's blocks, "6000 x 6000"

  bool usersChoice_ = false;
  double working_ = 0;
  double sourceRow_ = 0;
  double reading_ = 0;
  const RasterSource* coarsest_ = nullptr;
};
