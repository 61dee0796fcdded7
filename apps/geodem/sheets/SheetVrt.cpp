#include "apps/geodem/sheets/SheetVrt.h"

#include <cpl_string.h>
#include <gdal_utils.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "rastersource/SourceReader.h"
#include "apps/geodem/Translation.h"

namespace {

std::string Number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

}  // namespace

GdalDataset SheetVrt::Build(const SheetGrid& grid, const SheetWindow& window, bool alpha) {
  SheetExtent b = grid.Bounds(window);
  std::vector<std::string> words = {
      "-te", Number(b.west),           Number(b.south),           Number(b.east), Number(b.north),
      "-tr", Number(grid.cellWidth()), Number(grid.cellHeight()), "-r",           "nearest"};
  if (alpha) words.push_back("-addalpha");
  // Without this GDAL tests every cell of the source against its no-data value (a quarter more
  // time for the whole conversion); the window's cells outside the source still get the value.
  if (const std::optional<double>& noData = grid.loneNoData())
    words.insert(words.end(), {"-srcnodata", "None", "-vrtnodata", Number(*noData)});
  CPLStringList argv;
  for (const std::string& w : words) argv.AddString(w.c_str());
  GDALBuildVRTOptions* options = GDALBuildVRTOptionsNew(argv.List(), nullptr);
  if (!options) return {};
  // Absolute names: the VRT is read from wherever its plan is kept.
  CPLStringList names;
  for (const std::string& s : grid.sources())
    names.AddString(std::filesystem::absolute(s).lexically_normal().c_str());
  GDALDatasetH vrt = GDALBuildVRT("", names.size(), nullptr, names.List(), options, nullptr);
  GDALBuildVRTOptionsFree(options);
  return GdalDataset(vrt);
}

std::optional<SheetVrt> SheetVrt::Cut(const SheetGrid& grid, const SheetWindow& window,
                                      std::string& error) {
  GdalDataset vrt = Build(grid, window, false);
  // Sources with neither a no-data value nor a mask leave the cells outside them looking like
  // heights of 0: an alpha band tells them apart (and keeps a source's own alpha band).
  if (vrt && GDALGetMaskFlags(GDALGetRasterBand(vrt.Get(), grid.band())) == GMF_ALL_VALID)
    vrt = Build(grid, window, true);
  if (!vrt || GDALGetRasterXSize(vrt.Get()) != window.columns ||
      GDALGetRasterYSize(vrt.Get()) != window.rows) {
    error = Tr("GDAL cannot cut the window of %s x %s cells from %s",
               std::to_string(window.columns).c_str(), std::to_string(window.rows).c_str(),
               grid.sources().front().c_str());
    return std::nullopt;
  }
  return SheetVrt(std::move(vrt), grid.band());
}

std::optional<bool> SheetVrt::HoldsData(const SheetWindow& part, std::string& error) const {
  if (part.columns <= 0 || part.rows <= 0) return false;
  std::optional<RasterSource> source = RasterSource::Describe(dataset_.Get(), band_, error);
  if (!source) return std::nullopt;
  SourceReader reader = SourceReader::Over(*source, dataset_.Get());
  const int columns = static_cast<int>(part.columns);
  const int end = static_cast<int>(part.row + part.rows);
  // A sheet with data usually shows it in its first row: reads start with one and grow to a
  // MiB of cells, so that a sheet of sea is read in few steps too.
  const int most = std::max(1, (1 << 20) / columns);
  std::vector<double> cells;
  for (int row = static_cast<int>(part.row), step = 1; row < end;
       row += step, step = std::min(2 * step, most)) {
    const int count = std::min(step, end - row);
    cells.resize(static_cast<std::size_t>(columns) * static_cast<std::size_t>(count));
    if (!reader.Read(static_cast<int>(part.column), row, columns, count, GDT_Float64, NAN,
                     cells.data())) {
      error = _("GDAL cannot read the cells of a sheet from its sources");
      return std::nullopt;
    }
    for (double cell : cells)
      if (!std::isnan(cell)) return true;
  }
  return false;
}

std::string SheetVrt::Xml() const {
  char** xml = GDALGetMetadata(dataset_.Get(), "xml:VRT");
  return xml && xml[0] ? xml[0] : "";
}
