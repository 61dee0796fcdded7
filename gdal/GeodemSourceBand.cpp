#include "gdal/GeodemSourceBand.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "gridfile/CellRounding.h"
#include "rastersource/ZoomLimit.h"

namespace {

// Cells per read: about a MiB whatever the raster, so that memory stays flat.
constexpr int kCellsPerRead = 1 << 18;
// The largest row of a GeoTIFF's blocks read past GDAL's cache; larger ones (a single strip, say)
// are held once in the cache instead of in a copy of the driver's own.
constexpr std::size_t kMostBlockRowBytes = 16 << 20;
// Source bytes GDAL caches at a time, whole rows of blocks, before the driver empties its cache.
constexpr std::size_t kBytesPerGdalRead = 64 << 10;

// Whole rows of the band's blocks, about kBytesPerGdalRead of them, after which GDAL's cache is
// emptied, so that no block is read twice and the cache holds one such piece at most.
int GdalReadHeight(GDALDataset& dataset, const RasterSource& source, GDALDataType type) {
  int blockCols = 0, blockRows = 0;
  GDALGetBlockSize(GDALGetRasterBand(GDALDataset::ToHandle(&dataset), source.band()), &blockCols,
                   &blockRows);
  const std::size_t blockRowBytes = static_cast<std::size_t>(std::max(blockRows, 1)) *
                                    static_cast<std::size_t>(source.width()) *
                                    static_cast<std::size_t>(GDALGetDataTypeSizeBytes(type));
  const std::size_t blocks = std::max<std::size_t>(kBytesPerGdalRead / blockRowBytes, 1);
  return static_cast<int>(std::min<std::size_t>(blocks * std::max(blockRows, 1), INT_MAX));
}

// About kCellsPerRead, whatever the block shape: a source of large blocks (one strip of the whole
// raster, say) has them held once in GDAL's block cache, not copied whole into the driver's own
// buffers. Small pieces of GDAL reads come whole.
int ReadHeight(const RasterSource& source, int rowsPerGdalRead) {
  const int rows = std::max(kCellsPerRead / std::max(source.width(), 1), 1);
  const int whole = rows >= rowsPerGdalRead ? rows - rows % rowsPerGdalRead : rows;
  return std::clamp(whole, 1, std::max(source.height(), 1));
}

}  // namespace

std::unique_ptr<GeodemSourceBand> GeodemSourceBand::Open(GDALDataset& dataset,
                                                         const GeodemCreationOptions& options) {
  std::string error;
  std::optional<RasterSource> source =
      RasterSource::Describe(GDALDataset::ToHandle(&dataset), options.band, error);
  if (!source) {
    CPLError(CE_Failure, CPLE_NotSupported, "The grid file cannot be written: %s.",
             error.c_str());
    return nullptr;
  }
  for (const RasterSource::Note& note : source->notes()) {
    CPLError(CE_Warning, CPLE_AppDefined, "%s%s", note.text.c_str(),
             note.text.find(" bands: band ") != std::string::npos
                 ? " (the creation option BAND chooses another)"
                 : "");
  }
  return std::unique_ptr<GeodemSourceBand>(
      new GeodemSourceBand(dataset, std::move(*source), options.zoom, options.noData));
}

GeodemSourceBand::GeodemSourceBand(GDALDataset& dataset, RasterSource source, std::int32_t zoom,
                                   double noData)
    : m_dataset(dataset),
      m_source(std::move(source)),
      m_reader(SourceReader::Over(m_source, GDALDataset::ToHandle(&dataset))),
      m_plan(CellPlan::For({&m_source}, false)),
      m_zoom(zoom),
      m_encoder(zoom, noData, m_plan.marker),
      m_rowsPerGdalRead(GdalReadHeight(dataset, m_source, m_plan.type)),
      m_rowsPerRead(ReadHeight(m_source, m_rowsPerGdalRead)),
      m_byBlockRows(m_reader.ReadsBlockRows(m_plan.type, kMostBlockRowBytes)) {
  GDALGetBlockSize(GDALGetRasterBand(GDALDataset::ToHandle(&dataset), m_source.band()), nullptr,
                   &m_blockRows);
}

bool GeodemSourceBand::Read(int row, int count, std::int32_t* out) {
  const std::size_t n =
      static_cast<std::size_t>(m_source.width()) * static_cast<std::size_t>(count);
  m_cells.resize(n * static_cast<std::size_t>(GDALGetDataTypeSizeBytes(m_plan.type)));
  if (!(m_byBlockRows ? CopyBlockRows(row, count) : ReadThroughCache(row, count))) return false;
  // Cells reach the encoder as the writer's band reader hands them: floats, doubles when wider.
  return GridCellEncoder::ReadsAsDouble(m_plan.type) ? Encode(GDT_Float64, m_doubles, row, n, out)
                                                     : Encode(GDT_Float32, m_floats, row, n, out);
}

bool GeodemSourceBand::ReadThroughCache(int row, int count) {
  const std::size_t rowBytes = m_cells.size() / static_cast<std::size_t>(count);
  for (int r = 0; r < count;) {
    const int at = row + r;
    const int pieceEnd = std::min((at / m_rowsPerGdalRead + 1) * m_rowsPerGdalRead,
                                  m_source.height());
    const int k = std::min(count - r, pieceEnd - at);
    if (!m_reader.Read(0, at, m_source.width(), k, m_plan.type, m_plan.marker.value_or(0),
                       m_cells.data() + rowBytes * r) ||
        HoldsMarker(at)) {
      return false;
    }
    // The rows are read once: GDAL's block cache would only grow with the raster.
    if (at + k == pieceEnd) m_dataset.FlushCache(false);
    r += k;
  }
  return true;
}

bool GeodemSourceBand::CopyBlockRows(int row, int count) {
  const std::size_t rowBytes = m_cells.size() / static_cast<std::size_t>(count);
  for (int r = 0; r < count;) {
    const int at = row + r, blockRow = at / m_blockRows;
    if (blockRow != m_loadedBlockRow) {
      m_loadedBlockRow = -1;
      m_blockRow.resize(rowBytes * static_cast<std::size_t>(m_blockRows));
      if (!m_reader.ReadBlockRow(blockRow, m_plan.type, m_plan.marker.value_or(0), m_scratch,
                                 m_blockRow.data()) ||
          HoldsMarker(blockRow * m_blockRows))
        return false;
      m_loadedBlockRow = blockRow;
    }
    const int first = at - blockRow * m_blockRows;
    const int k = std::min(count - r, m_blockRows - first);
    std::memcpy(m_cells.data() + rowBytes * static_cast<std::size_t>(r),
                m_blockRow.data() + rowBytes * static_cast<std::size_t>(first),
                rowBytes * static_cast<std::size_t>(k));
    r += k;
  }
  return true;
}

// A height equal to the marker would pass for no data: it fits no zoom, as its opposite does.
bool GeodemSourceBand::HoldsMarker(int firstRow) const {
  const std::optional<std::size_t> held = m_reader.MarkerHeldAt();
  if (!held || !m_plan.marker) return false;
  const auto cols = static_cast<std::size_t>(m_source.width());
  Overflow(m_zoom, *m_plan.marker, firstRow + static_cast<long long>(*held / cols) + 1,
           static_cast<long long>(*held % cols) + 1, m_source.path().c_str());
  return true;
}

template <class Cell>
bool GeodemSourceBand::Encode(GDALDataType cellType, std::vector<Cell>& converted, int row,
                              std::size_t n, std::int32_t* out) {
  const Cell* cells = reinterpret_cast<const Cell*>(m_cells.data());
  if (m_plan.type != cellType) {
    converted.resize(n);
    GDALCopyWords64(m_cells.data(), m_plan.type, GDALGetDataTypeSizeBytes(m_plan.type),
                    converted.data(), cellType, sizeof(Cell), static_cast<GPtrDiff_t>(n));
    cells = converted.data();
  }
  // Only a read with clamped cells needs the pass that finds the first of them.
  return m_encoder.Encode(cells, static_cast<int>(n), out) == 0 || Fits(cells, out, n, row);
}

// A cell at either end of the integers is a clamped height unless it is no data; geodem refuses
// such a zoom before writing, the driver as soon as it meets one.
template <class Cell>
bool GeodemSourceBand::Fits(const Cell* cells, const std::int32_t* out, std::size_t n, int row) {
  for (std::size_t i = 0; i < n; ++i) {
    if (out[i] != INT32_MAX && out[i] != INT32_MIN) continue;
    const Cell cell = cells[i];
    // The reader has given every no-data cell the marker.
    if (std::isnan(cell) || (m_plan.marker && cell == static_cast<Cell>(*m_plan.marker))) continue;
    if (cell_rounding::Fits(cell_rounding::Rounded(m_zoom, cell))) continue;
    const std::size_t cols = static_cast<std::size_t>(m_source.width());
    Overflow(m_zoom, static_cast<double>(cell), row + static_cast<long long>(i / cols) + 1,
             static_cast<long long>(i % cols) + 1, m_source.path().c_str());
    return false;
  }
  return true;
}

void GeodemSourceBand::Overflow(std::int32_t zoom, double height, long long row, long long col,
                                const char* name) {
  const long long largest = static_cast<long long>(ZoomLimit::ForHeights(height, height));
  if (largest == 0) {
    // "The largest zoom is 0" would help nobody: the cell itself is what needs mending.
    CPLError(CE_Failure, CPLE_IllegalArg,
             "ZOOM=%d pushes the height %.12g (row %lld, column %lld of %s) past the 32-bit "
             "integers of the grid, as any zoom would; if it means no data, make it the band's "
             "no-data value, else correct the heights.",
             static_cast<int>(zoom), height, row, col, name);
    return;
  }
  CPLError(CE_Failure, CPLE_IllegalArg,
           "ZOOM=%d pushes the height %.12g (row %lld, column %lld of %s) past the 32-bit "
           "integers of the grid; the largest zoom that fits it is %lld.",
           static_cast<int>(zoom), height, row, col, name, largest);
}
