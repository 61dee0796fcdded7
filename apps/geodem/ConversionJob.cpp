#include "apps/geodem/ConversionJob.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "apps/geodem/BlockLayout.h"
#include "apps/geodem/InputMetadata.h"
#include "apps/geodem/StatusText.h"
#include "rastersource/SourceReader.h"
#include "host/CodePage.h"
#include "host/RasterBlock.h"
#include "host/SpatialReference.h"

namespace {

std::u16string Wide(const std::string& utf8) { return Utf8ToUtf16(utf8); }

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

// True when the file system that holds `path` has no room left for ordinary users.
bool DiskIsFull(const std::string& path) {
  std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
  struct statvfs fs {};
  return ::statvfs(folder.c_str(), &fs) == 0 && fs.f_bavail == 0;
}

// The block of window w as the writer places it: on the source's grid, one band.
BlockGeometry Geometry(const JobSource& s, const BlockWindow& w) {
  BlockGeometry g;
  g.columns = w.columns;
  g.rows = w.rows;
  g.x = s.originX + w.x * s.pixelWidth;
  g.y = s.originY + w.y * s.pixelHeight;
  g.pixelWidth = s.pixelWidth;
  g.pixelHeight = s.pixelHeight;
  return g;
}

}  // namespace

bool ConversionJob::Open(IWriterJob* job, const std::string& mappingPath) {
  auto metadata = BuildInputMetadata(sources_);
  HRESULT hr = job->SetMetadata(metadata.Get());
  if (hr != S_OK) {
    console_.Error("the writer refused the input metadata (status " + StatusText(hr) + ")");
    return false;
  }
  hr = job->OpenJob(Wide(mappingPath).c_str());
  if (hr != S_OK) {
    console_.Error("the writer could not open the job of the mapping file " + mappingPath +
                   " (status " + StatusText(hr) + ")");
    return false;
  }
  return true;
}

ComPtr<PropertySet> ConversionJob::SourceOptions(const PlannedTarget& target) const {
  auto set = ComPtr<PropertySet>::Attach(PropertySet::Create());
  if (target.separateOption) set->Set(u"Multiple_Source_Option", u"SEPARATE_FILE");
  // With the user's own mapping file only what the command line says explicitly is added, for
  // the target: a default must never override the file.
  if (options_.mappingFile) {
    if (options_.noData) set->Set(u"RASTER_NODATA", Wide(*options_.noData));
    if (options_.zoom) set->Set(u"DEM_ZOOM", Wide(*options_.zoom));
    if (options_.overwrite) set->Set(u"OVERWRITE", u"YES");
    if (options_.formatVersion) set->Set(u"VERSION", Wide(*options_.formatVersion));
    for (const auto& [key, value] : options_.parameters) set->Set(Wide(key), Wide(value));
  }
  return set;
}

std::vector<TargetFeed> ConversionJob::Feeds(const PlannedTarget& target) const {
  std::vector<TargetFeed> feeds = target.feeds;
  // The writer keeps the latest InvalidData for sources that send none: those go first, while
  // it has none yet, so that no other source's no-data value is applied to them.
  if (!target.mosaic)
    std::stable_partition(feeds.begin(), feeds.end(),
                          [&](const TargetFeed& f) { return !sources_[f.source].cells.marker; });
  return feeds;
}

double ConversionJob::Cells(const PlannedTarget& target) const {
  double cells = 0;
  for (const TargetFeed& f : target.feeds) cells += sources_[f.source].raster.cells();
  return cells;
}

bool ConversionJob::RunTarget(IRasterTargetWriter* writer, const PlannedTarget& target) {
  progress_.BeginTarget(Cells(target));
  auto options = SourceOptions(target);
  HRESULT hr = writer->OpenTarget(Wide(target.name).c_str(), options.Get());
  if (hr != S_OK) {
    progress_.EndTarget(false);
    console_.Error("the writer could not open the target " + target.name + " (status " +
                   StatusText(hr) + ")");
    return false;
  }
  bool ok = true;
  for (const TargetFeed& feed : Feeds(target)) {
    if (SendSource(writer, target, feed)) continue;
    ok = false;
    if (target.mosaic) break;
  }
  if (target.mosaic && !ok) {
    progress_.EndTarget(false);
    console_.Error("the mosaic " + target.name + " was not written");
    return false;
  }
  if (target.mosaic) progress_.BeginConversion(Cells(target));
  int gdalFailures = gdal_.failures();
  hr = writer->CloseTarget();
  progress_.EndConversion();
  // S_FALSE after failed sources only says that nothing was written, which is known already.
  if (hr != S_OK && (ok || hr != S_FALSE)) {
    console_.Error("the writer reported a failure closing the target " + target.name + " (status " +
                   StatusText(hr) + ")");
  }
  if (hr != S_OK || gdal_.failures() != gdalFailures) ok = false;
  progress_.EndTarget(ok);
  return CheckOutputs(target, !ok) && ok;
}

bool ConversionJob::SendSource(IRasterTargetWriter* writer, const PlannedTarget& target,
                               const TargetFeed& feed) {
  const JobSource& job = sources_[feed.source];
  const RasterSource& source = job.raster;
  std::string error;
  std::optional<SourceReader> reader = SourceReader::Open(source, error);
  if (!reader) {
    console_.Error(error);
    return false;
  }
  const BlockLayout layout(source.width(), source.height(), options_.blockSize, options_.overlap);
  const std::int64_t count = layout.count();

  auto properties = ComPtr<PropertySet>::Attach(PropertySet::Create());
  properties->Set(u"BlocksNum", Wide(std::to_string(count)));
  properties->Set(u"WinSizeX", Wide(std::to_string(options_.overlap)));
  properties->Set(u"WinSizeY", Wide(std::to_string(options_.overlap)));
  properties->Set(u"BandCount", u"1");
  if (job.cells.marker) properties->Set(u"InvalidData", Wide(job.cells.MarkerText()));
  ComPtr<ISpatialReference> reference;
  if (!source.wkt().empty())
    reference = ComPtr<ISpatialReference>::Attach(SpatialReference::Create(Wide(source.wkt())));
  const std::u16string name = Wide(source.path());

  for (std::int64_t i = 0; i < count; ++i) {
    const BlockWindow w = layout.Window(i);
    const std::string which = "block " + std::to_string(i + 1) + " of " + std::to_string(count) +
                              " of source " + source.path();
    auto block = ComPtr<RasterBlock>::Attach(RasterBlock::Create(name));
    void* cells = block->AllocateData(Geometry(job, w), job.cells.type);
    if (!cells || !reader->Read(w.x, w.y, w.columns, w.rows, job.cells.type,
                                job.cells.marker.value_or(0), cells)) {
      console_.Error("cannot read " + which);
      return false;
    }
    block->SetProperties(ComPtr<IPropertySet>(properties.Get()));
    block->SetSpatialReference(reference);

    // Outside a mosaic the source's last block makes the writer convert its grid file.
    const bool converts = !target.mosaic && i + 1 == count;
    if (converts) progress_.BeginConversion(source.cells());
    const int gdalFailures = gdal_.failures();
    HRESULT hr = writer->WriteRasterBlock(block.Get(), block.Get());
    progress_.EndConversion();
    if (hr != S_OK) {
      console_.Error("the writer failed on " + which + " (status " + StatusText(hr) + ")");
      return false;
    }
    if (gdal_.failures() != gdalFailures) {
      console_.Error("GDAL failed while the writer wrote " + which);
      return false;
    }
    progress_.BlockWritten(w.coreCells);
  }
  return true;
}

bool ConversionJob::CheckOutputs(const PlannedTarget& target, bool failed) {
  bool ok = true;
  for (const std::string& output : target.Outputs()) {
    if (Exists(output + ".tmp")) {
      console_.Error("the grid file " + output + " was not written");
      ok = false;
    } else if (!failed && !Exists(output)) {
      console_.Error("the grid file " + output + " was not written");
      ok = false;
    }
    if (DiskIsFull(output)) {
      console_.Error("no space left on the device that holds " + output +
                     (failed || !ok ? "" : "; the grid file may be incomplete"));
      ok = false;
    }
  }
  return ok;
}
