#include "apps/geodem/convert/ConversionJob.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "apps/geodem/Interruption.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/convert/BlockLayout.h"
#include "apps/geodem/convert/FileFailureText.h"
#include "apps/geodem/convert/InputMetadata.h"
#include "apps/geodem/convert/OutputFolder.h"
#include "apps/geodem/convert/StatusText.h"
#include "apps/geodem/convert/BlockFeed.h"
#include "rastersource/ZoomLimit.h"
#include "host/CodePage.h"
#include "host/FileFailure.h"
#include "host/SpatialReference.h"
#include "host/TargetFileLock.h"
#include "gridfile/GridFileSet.h"
#include "host/UserPath.h"
#include "rastersource/SourceReader.h"

namespace {

std::u16string Wide(const std::string& utf8) { return Utf8ToUtf16(utf8); }

// The shortest text that reads back as the same height.
std::string HeightText(double height) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, height).ptr;
  return std::string(text, end);
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace

bool ConversionJob::Open(IWriterJob* job, const std::string& mappingPath) {
  auto metadata = BuildInputMetadata(sources_);
  HRESULT hr = job->SetMetadata(metadata.Get());
  if (hr != S_OK) {
    console_.Error(_("the writer refused the description of the sources; its messages above say "
                     "why") +
                   Status(hr));
    return false;
  }
  hr = job->OpenJob(Wide(mappingPath).c_str());
  if (hr != S_OK) {
    console_.Error(Tr("the writer could not open the job of the mapping file %s; its messages "
                      "above say why",
                      mappingPath.c_str()) +
                   Status(hr));
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
  TakeFileFailure();  // a reason noted before is not this target's
  progress_.BeginTarget(Cells(target));
  auto options = SourceOptions(target);
  int gdalFailures = gdal_.failures();
  HRESULT hr = writer->OpenTarget(Wide(target.name).c_str(), options.Get());
  if (hr != S_OK) {
    progress_.EndTarget(false);
    console_.Error(Tr("the writer could not open the target %s: %s", target.name.c_str(),
                      Reason(target.Outputs().front(), gdalFailures).c_str()) +
                   Status(hr));
    return false;
  }
  bool ok = true;
  anyHeight_ = false;
  for (const TargetFeed& feed : Feeds(target)) {
    if (SendSource(writer, target, feed)) continue;
    ok = false;
    if (target.mosaic) break;
  }
  // Stopped: a mosaic is not closed either, which would convert what it holds so far.
  if (Interruption::Signal()) {
    progress_.EndTarget(false);
    return false;
  }
  if (target.mosaic && !ok) {
    progress_.EndTarget(false);
    console_.Error(Tr("the mosaic %s was not written", target.name.c_str()));
    return false;
  }
  if (target.mosaic) {
    cache_.ForConverting();
    progress_.BeginConversion(Cells(target));
  }
  gdalFailures = gdal_.failures();
  hr = writer->CloseTarget();
  progress_.EndConversion();
  if (Interruption::Signal()) {
    progress_.EndTarget(false);
    return false;
  }
  // A failed source has said so; the close then only repeats it (S_FALSE: nothing written).
  const bool closed = hr == S_OK && gdal_.failures() == gdalFailures;
  if (ok && !closed) {
    console_.Error(Tr("the writer could not finish the target %s: %s", target.name.c_str(),
                      Reason(target.Outputs().back(), gdalFailures).c_str()) +
                   Status(hr));
  }
  ok = ok && closed;
  progress_.EndTarget(ok);
  if (ok && target.mosaic && !anyHeight_) WarnNoHeight(target.Outputs().front());
  return ok && CheckOutputs(target);
}

bool ConversionJob::SendSource(IRasterTargetWriter* writer, const PlannedTarget& target,
                               const TargetFeed& feed) {
  const JobSource& job = sources_[feed.source];
  const RasterSource& source = job.raster;
  const BlockLayout layout(source.width(), source.height(), options_.blockSize, options_.overlap);
  const std::int64_t count = layout.count();
  std::string error;
  cache_.ForReading();
  std::unique_ptr<BlockFeed> blocks = BlockFeed::Start(job, layout, error);
  if (!blocks) {
    console_.Error(error);
    return false;
  }

  auto properties = ComPtr<PropertySet>::Attach(PropertySet::Create());
  properties->Set(u"BlocksNum", Wide(std::to_string(count)));
  properties->Set(u"WinSizeX", Wide(std::to_string(options_.overlap)));
  properties->Set(u"WinSizeY", Wide(std::to_string(options_.overlap)));
  properties->Set(u"BandCount", u"1");
  if (job.cells.marker) properties->Set(u"InvalidData", Wide(job.cells.MarkerText()));
  ComPtr<ISpatialReference> reference;
  if (const std::string wkt = source.writerWkt(); !wkt.empty())
    reference = ComPtr<ISpatialReference>::Attach(SpatialReference::Create(Wide(wkt)));

  SourceReader::HeightRange heights;
  NoDataCollisions collisions;
  for (std::int64_t i = 0; i < count; ++i) {
    if (Interruption::Signal()) return false;
    BlockFeed::Block block = blocks->Next();
    if (Interruption::Signal()) return false;
    const std::string which = Tr("block %s of %s of source %s", std::to_string(i + 1).c_str(),
                                 std::to_string(count).c_str(), source.path().c_str());
    if (!block.raster) {
      console_.Error(CannotRead(which, source.path(), block.ReadFailure()));
      return false;
    }
    if (block.unfit) {
      NoZoomFits(source.path(), block.window, *block.unfit);
      return false;
    }
    collisions.Add(block.collisions, block.window);
    heights.Add(block.heights);
    const bool last = i + 1 == count;
    // Every cell has been seen: the writer is never handed the block that would let it write
    // heights the grid cannot hold.
    if (last && !ZoomFits(job, heights)) return false;
    block.raster->SetProperties(ComPtr<IPropertySet>(properties.Get()));
    block.raster->SetSpatialReference(reference);

    // Outside a mosaic the source's last block makes the writer convert its grid file; the source
    // is closed by then, and the conversion gets the cache.
    const bool converts = !target.mosaic && last;
    if (converts) {
      cache_.ForConverting();
      progress_.BeginConversion(source.cells());
    }
    const int gdalFailures = gdal_.failures();
    HRESULT hr = writer->WriteRasterBlock(block.raster.Get(), block.raster.Get());
    progress_.EndConversion();
    if (Interruption::Signal()) return false;  // a failure then is the stop, said once at the end
    if (hr != S_OK || gdal_.failures() != gdalFailures) {
      console_.Error(Tr("the grid file %s was not written: the writer failed on %s: %s",
                        feed.output.c_str(), which.c_str(),
                        Reason(feed.output, gdalFailures).c_str()) +
                     Status(hr));
      return false;
    }
    progress_.BlockWritten(block.window.coreCells);
  }
  if (collisions.count > 0) WarnCollisions(job, collisions);
  anyHeight_ = anyHeight_ || heights.any;
  if (!target.mosaic && !heights.any) WarnNoHeight(feed.output);
  return true;
}

// A grid of no data alone is rarely what was meant (check warns of one): said as it is made.
void ConversionJob::WarnNoHeight(const std::string& output) {
  console_.Warning(Tr("every cell of %s is no data: its source holds no height", output.c_str()));
}

void ConversionJob::NoDataCollisions::Add(const ZoomedCellScan::Collisions& found,
                                          const BlockWindow& window) {
  if (found.count == 0) return;
  // Blocks come in rows of blocks: the first in row order may be in a later block.
  const std::int64_t foundRow = static_cast<std::int64_t>(window.y) + found.first.row + 1;
  const std::int64_t foundColumn = static_cast<std::int64_t>(window.x) + found.first.column + 1;
  if (count == 0 || foundRow < row || (foundRow == row && foundColumn < column)) {
    row = foundRow;
    column = foundColumn;
  }
  count += found.count;
}

void ConversionJob::WarnCollisions(const JobSource& job, const NoDataCollisions& collisions) {
  console_.Warning(Tr("%s cells of %s hold heights that zoom %s makes the no-data value %s, so "
                      "every reader takes them for no data (the first at row %s, column %s); "
                      "choose a --nodata that no height reaches",
                      std::to_string(collisions.count).c_str(), job.raster.path().c_str(),
                      std::to_string(job.noDataToCheck->zoom).c_str(),
                      std::to_string(job.noDataToCheck->noData).c_str(),
                      std::to_string(collisions.row).c_str(),
                      std::to_string(collisions.column).c_str()));
}

std::string ConversionJob::CannotRead(const std::string& which, const std::string& path,
                                      const std::string& gdalSaid) {
  if (gdalSaid.empty())
    return Tr("cannot read %s; gdalinfo -checksum %s reads every block and shows whether the "
              "file is damaged",
              which.c_str(), path.c_str());
  return Tr("cannot read %s: GDAL: %s; gdalinfo -checksum %s reads every block and shows "
            "whether the file is damaged",
            which.c_str(), OneLine(gdalSaid).c_str(), path.c_str());
}

void ConversionJob::NoZoomFits(const std::string& path, const BlockWindow& window,
                               const ZoomedCellScan::Cell& cell) {
  console_.Error(Tr("the cell at row %s, column %s of %s holds %s, a height that the grid's "
                    "integers cannot hold at any zoom; if it means no data, make it the source's "
                    "nodata value (gdal_translate -a_nodata %s), else correct the source",
                    std::to_string(static_cast<std::int64_t>(window.y) + cell.row + 1).c_str(),
                    std::to_string(static_cast<std::int64_t>(window.x) + cell.column + 1).c_str(),
                    path.c_str(), HeightText(cell.height).c_str(),
                    HeightText(cell.height).c_str()));
  zoomRefused_ = true;
}

bool ConversionJob::ZoomFits(const JobSource& job, const SourceReader::HeightRange& heights) {
  if (!job.zoomToCheck) return true;
  const std::int64_t largest = ZoomLimit::ForHeights(heights.lowest, heights.highest);
  if (largest >= *job.zoomToCheck) return true;
  console_.Error(Tr("the zoom %s pushes heights of %s past the 32-bit integers of the grid; the "
                    "largest zoom that fits is %s",
                    std::to_string(*job.zoomToCheck).c_str(), job.raster.path().c_str(),
                    std::to_string(largest).c_str()));
  zoomRefused_ = true;
  return false;
}

bool ConversionJob::CheckOutputs(const PlannedTarget& target) {
  bool ok = true;
  for (const std::string& output : target.Outputs()) {
    // Once this writer let go of the file, the next conversion of it may already have its own
    // temporary raster there.
    const bool nextWriterAtWork = TargetFileLock::Probe(output) == TargetFileLock::State::kHeld;
    if ((!nextWriterAtWork && Exists(GridFileSet::WriterRasterOf(output))) || !Exists(output)) {
      console_.Error(
          Tr("the grid file %s was not written, although the writer reported no "
             "failure",
             output.c_str()));
      ok = false;
    }
  }
  return ok;
}

std::string ConversionJob::Reason(const std::string& output, int gdalFailuresBefore) const {
  // The operating system's reason that the writer noted, else the system's answer to a look at the
  // output's folder now, else GDAL's words.
  if (const std::optional<FileFailure> failure = TakeFileFailure()) return FileFailureText(*failure);
  if (const std::optional<FileFailure> failure = OutputFolder::Check(output))
    return FileFailureText(*failure);
  if (gdal_.failures() != gdalFailuresBefore) {
    const std::string& said = gdal_.lastFailure();
    // GDAL tells a full disk with the system's own words for ENOSPC (its line stands above).
    if (said.find(std::strerror(ENOSPC)) != std::string::npos)
      return FileFailureText({GridFileSet::WriterRasterOf(output), ENOSPC});
    return "GDAL: " + said;
  }
  return _("its messages above say why");
}

std::string ConversionJob::Status(HRESULT hr) const {
  return options_.verbose && hr != S_OK ? Tr(" (status %s)", StatusText(hr).c_str()) : "";
}
