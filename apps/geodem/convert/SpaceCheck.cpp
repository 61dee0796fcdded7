#include "apps/geodem/convert/SpaceCheck.h"

#include <gdal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

#include "apps/geodem/Translation.h"
#include "apps/geodem/convert/OutputFolder.h"
#include "apps/geodem/gridcheck/GridCheckOptions.h"

namespace {

// HFA's tiles, and what its file holds besides them (measured: 6.5 KiB of header and dictionary,
// 14 bytes of index per tile).
constexpr double kTileSide = 64;
constexpr double kRasterHeaderBytes = 16 * 1024;
constexpr double kIndexBytesPerTile = 16;
// The longest header: fourteen short lines and four coordinates of up to a few hundred digits.
constexpr double kGridHeaderBytes = 2048;
constexpr int kValuesPerLine = 10;
// "   -2147483648 ": a cell can be no wider.
constexpr int kWidestCell = 15;

int DigitsWithSign(double value) {
  const double clamped = std::clamp(std::round(value), -2147483648.0, 2147483647.0);
  char text[16];
  return std::snprintf(text, sizeof text, "%lld", static_cast<long long>(clamped));
}

// The grid a target's sources span: a mosaic covers their joint extent, on the first one's grid.
struct Extent {
  double columns = 0, rows = 0;
};

Extent ExtentOf(const std::vector<const JobSource*>& pieces) {
  const JobSource& first = *pieces.front();
  double left = first.originX, right = left, top = first.originY, bottom = top;
  for (const JobSource* s : pieces) {
    left = std::min(left, s->originX);
    right = std::max(right, s->originX + s->raster.width() * s->pixelWidth);
    top = std::max(top, s->originY);
    bottom = std::min(bottom, s->originY + s->raster.height() * s->pixelHeight);
  }
  // One more column and row than the span when it does not end on a cell edge.
  return {std::ceil((right - left) / std::fabs(first.pixelWidth) - 1e-6),
          std::ceil((top - bottom) / std::fabs(first.pixelHeight) - 1e-6)};
}

// The heights of a source whose type does not bound them are seen only as it is converted: until
// then the estimate takes those of land, as the checks of a delivery do.
const SourceReader::HeightRange kLand{true, GridCheckOptions::kLowestHeight,
                                      GridCheckOptions::kHighestHeight};

}  // namespace

double SpaceCheck::TemporaryRasterBytes(double columns, double rows, int cellBytes) {
  const double tiles = std::ceil(columns / kTileSide) * std::ceil(rows / kTileSide);
  return tiles * (kTileSide * kTileSide * cellBytes + kIndexBytesPerTile) + kRasterHeaderBytes;
}

double SpaceCheck::GridFileBytes(double columns, double rows, int cellChars) {
  const double lineEnds = 2 * (std::floor(columns / kValuesPerLine) + 1);
  return rows * (columns * cellChars + lineEnds) + kGridHeaderBytes;
}

int SpaceCheck::CellChars(const std::optional<SourceReader::HeightRange>& heights,
                          std::optional<std::int64_t> zoom, std::optional<std::int64_t> noData) {
  if (!zoom || !heights || !noData) return kWidestCell;
  int widest = DigitsWithSign(static_cast<double>(*noData));
  if (heights->any) {
    widest = std::max({widest, DigitsWithSign(heights->lowest * static_cast<double>(*zoom)),
                       DigitsWithSign(heights->highest * static_cast<double>(*zoom))});
  }
  return 4 + widest;
}

std::vector<SpaceCheck::Need> SpaceCheck::Needs(const std::vector<PlannedTarget>& targets,
                                                const std::vector<JobSource>& sources,
                                                std::optional<std::int64_t> zoom,
                                                std::optional<std::int64_t> noData) {
  std::vector<Need> needs;
  for (const PlannedTarget& t : targets) {
    for (const std::string& output : t.Outputs()) {
      std::vector<const JobSource*> pieces;
      for (const TargetFeed& f : t.feeds)
        if (f.output == output) pieces.push_back(&sources[f.source]);
      const Extent extent = ExtentOf(pieces);
      int cellChars = 0;
      for (const JobSource* s : pieces)
        cellChars = std::max(cellChars, CellChars(s->heights.value_or(kLand), zoom, noData));
      const int cellBytes = GDALGetDataTypeSizeBytes(pieces.front()->cells.type);
      needs.push_back({output, TemporaryRasterBytes(extent.columns, extent.rows, cellBytes),
                       GridFileBytes(extent.columns, extent.rows, cellChars)});
    }
  }
  return needs;
}

bool SpaceCheck::Check(const std::vector<Need>& needs, Console& console) {
  struct FileSystem {
    std::string folder;  // the first output's nearest existing folder
    std::vector<std::string> outputs;
    double gridBytes = 0;
    double largestTemporary = 0;
    double available = 0;
  };
  std::map<dev_t, FileSystem> systems;
  for (const Need& need : needs) {
    FileFailure failure;
    const std::optional<std::string> folder = OutputFolder::NearestExisting(need.output, failure);
    struct stat st {};
    struct statvfs vfs {};
    if (!folder || ::stat(folder->c_str(), &st) != 0 || ::statvfs(folder->c_str(), &vfs) != 0 ||
        vfs.f_blocks == 0)
      continue;
    FileSystem& fs = systems[st.st_dev];
    if (fs.outputs.empty()) {
      fs.folder = *folder;
      fs.available = static_cast<double>(vfs.f_bavail) * static_cast<double>(vfs.f_frsize);
    }
    fs.outputs.push_back(need.output);
    fs.gridBytes += need.gridBytes;
    fs.largestTemporary = std::max(fs.largestTemporary, need.temporaryBytes);
  }
  bool ok = true;
  for (const auto& [device, fs] : systems) {
    const double needed = fs.gridBytes + fs.largestTemporary;
    if (needed <= fs.available) continue;
    const bool one = fs.outputs.size() == 1;
    const std::string need = BytesText(needed), grid = BytesText(fs.gridBytes),
                      temporary = BytesText(fs.largestTemporary), free = BytesText(fs.available);
    console.Error(
        one ? Tr("not enough disk space for %s: it needs up to %s (%s grid file, %s temporary "
                 "raster), and the file system of %s has %s free; free some space or choose "
                 "another output folder (--no-space-check writes anyway)",
                 fs.outputs.front().c_str(), need.c_str(), grid.c_str(), temporary.c_str(),
                 fs.folder.c_str(), free.c_str())
            : Tr("not enough disk space for %zu grid files: it needs up to %s (%s of grid files, "
                 "%s for the largest temporary raster), and the file system of %s has %s free; "
                 "free some space or choose another output folder (--no-space-check writes "
                 "anyway)",
                 fs.outputs.size(), need.c_str(), grid.c_str(), temporary.c_str(),
                 fs.folder.c_str(), free.c_str()));
    ok = false;
  }
  return ok;
}

std::string SpaceCheck::BytesText(double bytes) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
  char text[64];
  if (bytes < 1024) return Tr("%.0f bytes", bytes);
  int unit = 0;
  bytes /= 1024;
  while (bytes >= 1024 && unit + 1 < static_cast<int>(std::size(kUnits))) {
    bytes /= 1024;
    ++unit;
  }
  std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
  return text;
}
