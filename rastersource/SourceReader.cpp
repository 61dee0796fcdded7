#include "rastersource/SourceReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "messages/MessageText.h"
#include "rastersource/CellType.h"

namespace {

// Calls f with a value of the C++ type of a cell of type t; false for other types.
template <class F>
bool WithCellType(GDALDataType t, F&& f) {
  switch (t) {
    case GDT_Byte:
      f(std::uint8_t{});
      return true;
    case GDT_UInt16:
      f(std::uint16_t{});
      return true;
    case GDT_Int16:
      f(std::int16_t{});
      return true;
    case GDT_UInt32:
      f(std::uint32_t{});
      return true;
    case GDT_Int32:
      f(std::int32_t{});
      return true;
    case GDT_Float32:
      f(float{});
      return true;
    case GDT_Float64:
      f(double{});
      return true;
    default:
      return false;
  }
}

template <class T>
bool IsNoHeight(T value) {
  if constexpr (std::is_floating_point_v<T>) return !std::isfinite(value);
  return false;
}

// Cells read in the output type itself: only the no-data cells change. The tests are combined
// without branches so that the loop runs in vector registers: it passes over every cell.
template <class T>
void MarkNoData(T* cells, std::size_t n, const std::optional<double>& noData,
                const std::vector<unsigned char>& mask, double marker) {
  const T target = static_cast<T>(marker);
  const bool hasNoData = noData.has_value();
  const T nodata = hasNoData ? static_cast<T>(*noData) : T{};
  auto mark = [&](std::size_t i, bool masked) {
    const T cell = cells[i];
    const bool none = IsNoHeight(cell) | (hasNoData & (cell == nodata)) | masked;
    cells[i] = none ? target : cell;
  };
  if (mask.empty()) {
    for (std::size_t i = 0; i < n; ++i) mark(i, false);
  } else {
    for (std::size_t i = 0; i < n; ++i) mark(i, mask[i] == 0);
  }
}

// Raw values read as doubles, turned into heights of the output type.
template <class T>
void StoreHeights(const double* raw, T* cells, std::size_t n, const std::optional<double>& noData,
                  const std::vector<unsigned char>& mask, bool signedBytes, double scale,
                  double offset, double marker) {
  for (std::size_t i = 0; i < n; ++i) {
    double v = raw[i];
    if (signedBytes && v >= 128) v -= 256;
    if (!std::isfinite(v) || (noData && v == *noData) || (!mask.empty() && !mask[i])) {
      cells[i] = static_cast<T>(marker);
      continue;
    }
    cells[i] = static_cast<T>(v * scale + offset);
  }
}

template <class T>
SourceReader::HeightRange RangeOf(const T* cells, std::size_t n,
                                  const std::optional<double>& marker) {
  // Without a branch per cell, so that the pass runs in vector registers.
  const bool hasMarker = marker.has_value();
  const T none = hasMarker ? static_cast<T>(*marker) : T{};
  T lowest = std::numeric_limits<T>::max();
  T highest = std::numeric_limits<T>::lowest();
  bool any = false;
  for (std::size_t i = 0; i < n; ++i) {
    const T cell = cells[i];
    const bool height = !IsNoHeight(cell) & !(hasMarker & (cell == none));
    lowest = height && cell < lowest ? cell : lowest;
    highest = height && cell > highest ? cell : highest;
    any |= height;
  }
  if (!any) return {};
  return {true, static_cast<double>(lowest), static_cast<double>(highest)};
}

}  // namespace

SourceReader::HeightRange SourceReader::HeightRange::Of(const void* cells, std::size_t n,
                                                        GDALDataType type,
                                                        const std::optional<double>& marker) {
  HeightRange range;
  WithCellType(type, [&](auto cell) {
    range = RangeOf(static_cast<const decltype(cell)*>(cells), n, marker);
  });
  return range;
}

void SourceReader::HeightRange::Add(const HeightRange& other) {
  if (!other.any) return;
  lowest = any ? std::min(lowest, other.lowest) : other.lowest;
  highest = any ? std::max(highest, other.highest) : other.highest;
  any = true;
}

SourceReader::SourceReader(const RasterSource& source, GDALDatasetH dataset)
    : source_(&source), band_(GDALGetRasterBand(dataset, source.band())) {
  if (source.maskBand_ < 0) mask_ = GDALGetMaskBand(band_);
  if (source.maskBand_ > 0) mask_ = GDALGetRasterBand(dataset, source.maskBand_);
}

SourceReader SourceReader::Over(const RasterSource& source, GDALDatasetH dataset) {
  return SourceReader(source, dataset);
}

std::optional<SourceReader> SourceReader::Open(const RasterSource& source, std::string& error) {
  GdalDataset dataset = GdalDataset::OpenRaster(source.path().c_str());
  if (!dataset || GDALGetRasterCount(dataset.Get()) < source.band()) {
    error = MessageText::Tr("cannot open source %s again", source.path().c_str());
    return std::nullopt;
  }
  SourceReader reader(source, dataset.Get());
  reader.owned_ = std::move(dataset);
  return reader;
}

bool SourceReader::ReadMask(int x, int y, int columns, int rows,
                            std::vector<unsigned char>& mask) const {
  mask.clear();
  if (!mask_) return true;
  mask.resize(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
  return GDALRasterIO(mask_, GF_Read, x, y, columns, rows, mask.data(), columns, rows, GDT_Byte, 0,
                      0) == CE_None;
}

bool SourceReader::Read(int x, int y, int columns, int rows, GDALDataType type, double marker,
                        void* cells) const {
  const RasterSource& s = *source_;
  const std::size_t n = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
  std::vector<unsigned char> mask;
  if (!ReadMask(x, y, columns, rows, mask)) return false;
  if (!s.transformsValues() && !s.signedBytes_) {
    // The common case: GDAL reads straight into the output, only no-data cells are rewritten.
    if (GDALRasterIO(band_, GF_Read, x, y, columns, rows, cells, columns, rows, type, 0, 0) !=
        CE_None)
      return false;
    return WithCellType(type, [&](auto cell) {
      MarkNoData(static_cast<decltype(cell)*>(cells), n, s.noData(), mask, marker);
    });
  }
  std::vector<double> raw(n);
  if (GDALRasterIO(band_, GF_Read, x, y, columns, rows, raw.data(), columns, rows, GDT_Float64, 0,
                   0) != CE_None)
    return false;
  return WithCellType(type, [&](auto cell) {
    StoreHeights(raw.data(), static_cast<decltype(cell)*>(cells), n, s.noData(), mask,
                 s.signedBytes_, s.heightScale(), s.heightOffset(), marker);
  });
}

std::optional<SourceReader::HeightRange> SourceReader::ScanHeights() const {
  const RasterSource& s = *source_;
  // Strips of whole rows, about 4 Mi cells each, so that memory stays flat.
  const int rowsPerStrip = std::max(1, (1 << 22) / s.width());
  const double noHeight = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> strip;
  HeightRange range;
  for (int y = 0; y < s.height(); y += rowsPerStrip) {
    const int rows = std::min(rowsPerStrip, s.height() - y);
    strip.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(s.width()));
    if (!Read(0, y, s.width(), rows, GDT_Float64, noHeight, strip.data())) return std::nullopt;
    range.Add(HeightRange::Of(strip.data(), strip.size(), GDT_Float64, std::nullopt));
  }
  return range;
}
