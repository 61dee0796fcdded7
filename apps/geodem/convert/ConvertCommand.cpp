#include "apps/geodem/convert/ConvertCommand.h"

#include <cpl_conv.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "apps/geodem/CommandLine.h"
#include "apps/geodem/GbkText.h"
#include "apps/geodem/GdalErrorCapture.h"
#include "apps/geodem/Interruption.h"
#include "apps/geodem/convert/MosaicGrid.h"
#include "apps/geodem/convert/OpenFileLimit.h"
#include "apps/geodem/ReadFailure.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/convert/BlockLayout.h"
#include "apps/geodem/convert/ConsoleEventSink.h"
#include "apps/geodem/convert/ConversionJob.h"
#include "apps/geodem/convert/MosaicGrid.h"
#include "apps/geodem/convert/SpaceCheck.h"
#include "apps/geodem/convert/WriterLoader.h"
#include "gridfile/GridFileSet.h"
#include "gridfile/PrjFile.h"
#include "host/CodePage.h"
#include "host/HostRuntime.h"
#include "host/TargetFileLock.h"
#include "host/UserPath.h"
#include "rastersource/CellType.h"
#include "rastersource/ZoomLimit.h"
#include "rastersource/ZoomedCellScan.h"

namespace {

constexpr int kFailure = 1;

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

bool SameCoordinateSystem(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  OGRSpatialReferenceH sa = OSRNewSpatialReference(a.c_str());
  OGRSpatialReferenceH sb = OSRNewSpatialReference(b.c_str());
  bool same = sa && sb && OSRIsSame(sa, sb);
  OSRDestroySpatialReference(sa);
  OSRDestroySpatialReference(sb);
  return same;
}

std::size_t OutputCount(const TargetPlan& plan) {
  std::size_t count = 0;
  for (const PlannedTarget& t : plan.targets()) count += t.Outputs().size();
  return count;
}

}  // namespace

int ConvertCommand::Run() {
  Interruption interruption;
  const int status = RunSteps();
  if (!Interruption::Signal()) return status;
  // The writer dropped the unfinished grid file and its temporary raster, and the job's mapping
  // file goes with this object; the grid files finished before the signal are complete and stay.
  console_.Error(
      Tr("%s: stopped, and the files this run had begun are removed", Interruption::Text()));
  return Interruption::ExitStatus();
}

int ConvertCommand::RunSteps() {
  GDALAllRegister();
  InitializeHostRuntime();
  OpenFileLimit::Fit();  // before a VRT opens its pool of files
  GdalErrorCapture gdal(console_);
  if (auto status = PrepareStandardOutput()) return *status;
  if (!plan_.Build(options_)) {
    console_.Error(plan_.error());
    return CommandLine::kUsageError;
  }
  if (standardOutput_ && OutputCount(plan_) != 1) {
    console_.Error(_("standard output takes one grid file, and --separate makes one per source; "
                     "name an output folder instead"));
    return CommandLine::kUsageError;
  }
  if (auto status = DescribeSources()) return *status;
  if (auto status = CheckSourceFiles()) return *status;
  if (auto status = CheckBlocks()) return *status;
  if (auto status = CheckTargets()) return *status;
  if (auto status = PlanCells()) return *status;
  if (auto status = SizeBlockCache()) return *status;
  PlanZoomCheck();
  if (auto status = CheckSpace()) return *status;
  if (auto status = PrepareMapping()) return *status;
  return DeliverStandardOutput(Convert(gdal));
}

std::optional<int> ConvertCommand::PrepareStandardOutput() {
  if (!StandardOutput::Named(options_.destination)) return std::nullopt;
  if (options_.prj) {
    console_.Error(_("--prj: a grid file sent to standard output has no folder for its .prj; "
                     "write the grid file to a file to have one"));
    return CommandLine::kUsageError;
  }
  std::string error;
  standardOutput_ = StandardOutput::Create(error);
  if (!standardOutput_) {
    console_.Error(error);
    return CommandLine::kUsageError;
  }
  options_.destination = standardOutput_->gridPath();
  return std::nullopt;
}

int ConvertCommand::DeliverStandardOutput(int status) {
  if (!standardOutput_ || status != 0) return status;
  std::string error;
  if (standardOutput_->Deliver(error)) return status;
  console_.Error(error);
  return kFailure;
}

std::optional<int> ConvertCommand::DescribeSources() {
  bool ok = true;
  for (const std::string& path : options_.sources) {
    std::string error;
    if (auto source = RasterSource::Describe(path, options_.band, error, options_.assignedWkt)) {
      for (const RasterSource::Note& note : source->notes())
        note.warning ? console_.Warning(note.text) : console_.Info(note.text);
      sources_.emplace_back(std::move(*source));
    } else {
      console_.Error(error);
      ok = false;
    }
  }
  return ok ? std::nullopt : std::optional<int>(kFailure);
}

std::optional<int> ConvertCommand::CheckSourceFiles() {
  std::vector<std::vector<std::string>> files;
  for (const JobSource& s : sources_) files.push_back(s.raster.files());
  if (plan_.CheckSourceFiles(options_, files)) return std::nullopt;
  console_.Error(plan_.error());
  return CommandLine::kUsageError;
}

std::optional<int> ConvertCommand::CheckBlocks() {
  for (const JobSource& job : sources_) {
    const RasterSource& s = job.raster;
    // The writer counts a source's blocks in 32 bits.
    BlockLayout layout(s.width(), s.height(), options_.blockSize, options_.overlap);
    if (layout.count() > std::numeric_limits<std::int32_t>::max()) {
      console_.Error(Tr("--block-size %d cuts %s into too many blocks; use a larger one",
                        options_.blockSize, s.path().c_str()));
      return CommandLine::kUsageError;
    }
  }
  return std::nullopt;
}

std::optional<int> ConvertCommand::CheckTargets() {
  bool ok = true;
  for (const PlannedTarget& t : plan_.targets()) {
    // The writer creates "<grid file>.tmp" without asking; only --overwrite may replace a file.
    for (const std::string& output : t.Outputs()) {
      if (!MayWrite(output)) {
        ok = false;
        continue;
      }
      long holder = 0;
      const TargetFileLock::State lock = TargetFileLock::Probe(output, &holder);
      if (lock == TargetFileLock::State::kHeld) {
        console_.Error(holder > 0 ? Tr("%s is being written by another conversion (process %ld); "
                                       "wait for it to finish",
                                       output.c_str(), holder)
                                  : Tr("%s is being written by another conversion; wait for it "
                                       "to finish",
                                       output.c_str()));
        ok = false;
        continue;
      }
      // What a killed writer left of a replacement is completed before anything is decided
      // about the name.
      if (lock == TargetFileLock::State::kStale) ClearLeftovers(output);
      // The commonest mistake, said in one line before the writer refuses it in its own words.
      // Devices and FIFOs are written in place and need no --overwrite.
      if (!options_.overwrite && IsRegularFile(output)) {
        console_.Error(Tr("%s exists; add --overwrite to replace it", output.c_str()));
        ok = false;
        continue;
      }
      // Left by a run that died: the writer clears its leftovers.
      if (lock == TargetFileLock::State::kStale) continue;
      const std::string temporary = GridFileSet::WriterRasterOf(output);
      if (!options_.overwrite && Exists(temporary)) {
        console_.Error(
            Tr("%s exists (left by an earlier run?); remove it, or use --overwrite to "
               "replace it",
               temporary.c_str()));
        ok = false;
      } else if (const std::string refusal = UserPath::SideRefusal(temporary); !refusal.empty()) {
        console_.Error(refusal);
        ok = false;
      }
    }
    if (!CheckPrjFiles(t)) ok = false;
    if (!t.mosaic) continue;
    const RasterSource& first = sources_[t.feeds.front().source].raster;
    for (const TargetFeed& f : t.feeds) {
      const RasterSource& other = sources_[f.source].raster;
      if (!SameCoordinateSystem(first.wkt(), other.wkt())) {
        console_.Error(Tr("cannot mosaic %s and %s: their coordinate systems differ",
                          first.path().c_str(), other.path().c_str()));
        ok = false;
        break;
      }
    }
  }
  return ok ? std::nullopt : std::optional<int>(kFailure);
}

std::optional<int> ConvertCommand::PlanCells() {
  for (const PlannedTarget& t : plan_.targets()) {
    if (!t.mosaic) continue;
    std::vector<JobSource*> pieces;
    for (const TargetFeed& f : t.feeds) pieces.push_back(&sources_[f.source]);
    std::string error;
    if (!MosaicGrid::Align(pieces, error)) {
      console_.Error(error);
      return kFailure;
    }
    const CellPlan& cells = pieces.front()->cells;
    if (cells.markerChosen)
      console_.Info(
          Tr("the mosaic %s marks no-data cells with %s (%s), a value that none of its "
             "pieces holds as a height",
             t.name.c_str(), cells.MarkerText().c_str(), GDALGetDataTypeName(cells.type)));
  }
  return std::nullopt;
}

std::optional<std::int64_t> ConvertCommand::JobParameter(const char* key,
                                                         const std::optional<std::string>& option,
                                                         const char* byDefault) const {
  std::optional<std::string> text = option;
  for (const auto& [k, value] : options_.parameters)
    if (GbkEqualsNoCase(k, key)) text = value;
  if (!text && !options_.mappingFile) text = byDefault;
  if (!text) return std::nullopt;
  return std::llround(std::strtod(text->c_str(), nullptr));  // checked to be a number before
}

// A user's own mapping file may set any zoom; the writer guards that one.
std::optional<std::int64_t> ConvertCommand::JobZoom() const {
  return JobParameter("DEM_ZOOM", options_.zoom, ConvertOptions::kDefaultZoom);
}

void ConvertCommand::PlanZoomCheck() {
  const std::optional<std::int64_t> zoom = JobZoom();
  if (!zoom) return;
  const std::optional<std::int64_t> noData =
      JobParameter("RASTER_NODATA", options_.noData, ConvertOptions::kDefaultNoData);
  for (JobSource& s : sources_) {
    const RasterSource& r = s.raster;
    const SourceReader::HeightRange possible{true, r.lowestPossible(), r.highestPossible()};
    if (ZoomLimit::ForHeights(r.lowestPossible(), r.highestPossible()) >= *zoom)
      s.heights = possible;
    else
      s.zoomToCheck = zoom;  // as its cells go to the writer, before its last block
    // Whole heights become multiples of the zoom: most no-data values are none of them.
    const bool wholeHeights = !cell_type::IsFloating(s.cells.type);
    if (noData && *zoom > 0 && !(wholeHeights && *noData % *zoom != 0) &&
        ZoomedCellScan::MayCollide(possible, static_cast<double>(*zoom),
                                   static_cast<double>(*noData)))
      s.noDataToCheck = JobSource::NoDataCheck{*zoom, *noData};
  }
}

std::optional<int> ConvertCommand::CheckSpace() {
  if (options_.noSpaceCheck) return std::nullopt;
  const std::optional<std::int64_t> noData =
      JobParameter("RASTER_NODATA", options_.noData, ConvertOptions::kDefaultNoData);
  const auto needs = SpaceCheck::Needs(plan_.targets(), sources_, JobZoom(), noData);
  return SpaceCheck::Check(needs, console_) ? std::nullopt : std::optional<int>(kFailure);
}

std::optional<int> ConvertCommand::PrepareMapping() {
  if (options_.mappingFile) {
    mappingPath_ = *options_.mappingFile;
    if (!FitsGbk(mappingPath_)) {
      console_.Error(
          Tr("mapping file path %s has no GBK form, which the writer needs", mappingPath_.c_str()));
      return CommandLine::kUsageError;
    }
    const std::string reason = ReadFailure(mappingPath_);
    if (reason.empty()) return std::nullopt;
    console_.Error(Tr("cannot read the mapping file %s: %s", mappingPath_.c_str(), reason.c_str()));
    return kFailure;
  }
  std::string error;
  generatedMapping_ = JobMappingFile::Create(
      JobMappingFile::Render(JobMappingFile::WriterParameters(options_)), error);
  if (!generatedMapping_) {
    console_.Error(error);
    return kFailure;
  }
  mappingPath_ = generatedMapping_->path();
  return std::nullopt;
}

int ConvertCommand::Convert(const GdalErrorCapture& gdal) {
  ProgressDisplay display(console_, !options_.quiet);
  ConversionProgress progress(display);
  // Outlives the writer: its teardown may log.
  ConsoleEventSink sink(console_, progress, generatedMapping_ ? mappingPath_ : std::string());
  LoadedWriter writer;
  std::string error;
  if (!WriterLoader::Load(writer, options_.verbose, error)) {
    console_.Error(error);
    return kFailure;
  }
  ConversionJob job(options_, sources_, *cache_, console_, progress, gdal);
  std::vector<FailedTarget> failed;
  bool prjFailed = false;
  bool ok = job.Open(writer.job.Get(), mappingPath_);
  for (const PlannedTarget& t : plan_.targets()) {
    if (!ok || Interruption::Signal()) break;
    FailedTarget record{&t, {}};
    for (const std::string& output : t.Outputs()) {
      if (Exists(output)) record.existedBefore.insert(output);
      const std::string temporary = GridFileSet::WriterRasterOf(output);
      if (Exists(temporary)) record.existedBefore.insert(temporary);
    }
    // The .prj files complete before the writer puts each grid in place with its own.
    std::vector<std::unique_ptr<GridFileSet>> prepared;
    if (options_.prj && !PreparePrjFiles(t, prepared)) {
      prjFailed = true;
    } else if (!job.RunTarget(writer.target.Get(), t)) {
      failed.push_back(std::move(record));
    }
  }
  writer.Release();  // closes whatever a failed target left open
  RemoveLeftovers(failed);
  if (job.zoomRefused()) return CommandLine::kUsageError;
  return ok && failed.empty() && !prjFailed && gdal.failures() == 0 ? 0 : kFailure;
}

// A name behind another user's link, or another user's FIFO or file, in a shared folder is refused
// before anything is written.
bool ConvertCommand::MayWrite(const std::string& path) {
  std::string refusal;
  if (UserPath::MayWrite(path, refusal)) return true;
  console_.Error(refusal.empty() ? Tr("cannot write %s: %s", path.c_str(), std::strerror(errno))
                                 : refusal);
  return false;
}

// A .prj beside the name would be taken for the new grid's coordinate system, and the new grid
// replaces it: only with --overwrite, like the grid file. Another dataset's .prj is never
// replaced: the grid may stand beside it only where it states the source's coordinate system.
bool ConvertCommand::CheckPrjFiles(const PlannedTarget& target) {
  bool ok = true;
  std::set<std::string> checked;
  for (const TargetFeed& f : target.feeds) {
    if (!checked.insert(f.output).second) continue;
    const GridFileSet files(f.output);
    const std::string prj = files.prjPath();
    const std::string& wkt = sources_[f.source].raster.wkt();
    if (options_.prj && files.IsOwnPrj()) {
      console_.Error(Tr("--prj: the grid file %s would be its own .prj",
                        f.output.c_str()));
      ok = false;
      continue;
    }
    if (const std::string refusal = files.SharedPrjRefusal(wkt); !refusal.empty()) {
      console_.Error(refusal);
      ok = false;
      continue;
    }
    // GDAL's statistics of an earlier grid are nobody's work to keep.
    for (const std::string& companion : files.Companions()) {
      if (options_.overwrite || IsRegularFile(f.output) || companion == f.output + ".aux.xml")
        continue;
      console_.Error(
          Tr("%s exists; remove it, or use --overwrite to replace it", companion.c_str()));
      ok = false;
    }
    if (options_.prj && !MayWrite(prj)) ok = false;
    if (options_.prj && wkt.empty()) {
      console_.Warning(Tr("%s has no coordinate system: no %s is written",
                          sources_[f.source].raster.path().c_str(), prj.c_str()));
    } else if (const std::string sharer = files.PrjSharer();
               options_.prj && !sharer.empty() && files.PrjOnDisk().empty()) {
      console_.Warning(Tr("%s is not written: %s would take it for its own; give the grid another "
                          "name to keep its coordinate system beside it",
                          prj.c_str(), sharer.c_str()));
    }
  }
  return ok;
}

bool ConvertCommand::PreparePrjFiles(const PlannedTarget& target,
                                     std::vector<std::unique_ptr<GridFileSet>>& prepared) {
  std::set<std::string> written;
  for (const TargetFeed& f : target.feeds) {
    // A mosaic's sources share one coordinate system (checked before): the first one speaks.
    if (!written.insert(f.output).second) continue;
    const std::string esri = PrjFile::EsriWkt(sources_[f.source].raster.wkt());
    // Another dataset's .prj stands (stating this system, as checked) or would take it.
    if (esri.empty() || !GridFileSet(f.output).PrjSharer().empty()) continue;
    prepared.push_back(std::make_unique<GridFileSet>(f.output));
    std::string error;
    if (!prepared.back()->PreparePrj(esri, error)) {
      console_.Error(Tr("%s; %s is not written either", error.c_str(), f.output.c_str()));
      return false;
    }
  }
  return true;
}

// Under the target's lock, taken for a moment: another writer may have started meanwhile.
void ConvertCommand::ClearLeftovers(const std::string& output) {
  TargetFileLock lock;
  if (lock.Acquire(output) == TargetFileLock::Result::kLocked && lock.foundStale())
    GridFileSet(output).ClearLeftovers();
}

double ConvertCommand::WidestOutput() const {
  double widest = 0;
  for (const PlannedTarget& t : plan_.targets()) {
    for (const TargetFeed& f : t.feeds) {
      const JobSource& s = sources_[f.source];
      widest = std::max<double>(widest, s.raster.width());
    }
    if (!t.mosaic) continue;
    // The pieces lie on one grid (checked before): the extent of their columns.
    double left = std::numeric_limits<double>::infinity(), right = -left;
    for (const TargetFeed& f : t.feeds) {
      const JobSource& s = sources_[f.source];
      left = std::min(left, s.originX);
      right = std::max(right, s.originX + s.raster.width() * s.pixelWidth);
    }
    widest = std::max(widest, std::ceil((right - left) /
                                        std::fabs(sources_[t.feeds.front().source].pixelWidth)));
  }
  return widest;
}

std::optional<int> ConvertCommand::SizeBlockCache() {
  cache_.emplace(sources_, options_.blockSize, options_.overlap, WidestOutput());
  if (const std::string refusal = cache_->Refusal(); !refusal.empty()) {
    console_.Error(refusal);
    return kFailure;
  }
  if (const std::string note = cache_->RaisedNote(); !note.empty()) console_.Info(note);
  cache_->ForReading();
  return std::nullopt;
}

void ConvertCommand::RemoveLeftovers(const std::vector<FailedTarget>& failed) {
  GDALDriverH hfa = GDALGetDriverByName("HFA");
  for (const FailedTarget& f : failed) {
    for (const std::string& output : f.target->Outputs()) {
      // A grid file whose temporary raster is still there was not finished.
      const std::string temporary = GridFileSet::WriterRasterOf(output);
      if (!UserPath::IsOwnFile(temporary)) continue;
      // Under the target's lock: while another conversion makes the file, its raster is its own.
      TargetFileLock lock;
      if (lock.Acquire(output) != TargetFileLock::Result::kLocked) continue;
      if (f.existedBefore.count(temporary)) {
        // Not this run's: it may be anything, a source of the job included.
        console_.Warning(Tr("kept %s, which was there before the run", temporary.c_str()));
      } else if (hfa && GDALDeleteDataset(hfa, temporary.c_str()) == CE_None) {
        console_.Info(Tr("removed the unfinished temporary raster %s", temporary.c_str()));
      } else {
        console_.Warning(
            Tr("the unfinished temporary raster %s is left on disk", temporary.c_str()));
      }
      std::error_code ec;
      if (!f.existedBefore.count(output) && Exists(output) && std::filesystem::remove(output, ec))
        console_.Info(Tr("removed the incomplete grid file %s", output.c_str()));
    }
  }
}
