#include "rastersource/SourceReader.h"

#include <gdal_priv.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "host/UserPath.h"
#include "messages/MessageText.h"
#include "rastersource/CellType.h"

namespace {

template <class T>
bool IsNoHeight(T value) {
  if constexpr (std::is_floating_point_v<T>) return !std::isfinite(value);
  return false;
}

// Cells read in the output type itself: only the no-data cells change. The tests are combined
// without branches so that the loops run in vector registers: they pass over every cell, a chunk
// at a time that stays in the cache for its second pass. The result is the first cell that holds
// the marker as a height (n when none does); the look for one is a vector pass of its own, as
// keeping the first index in the marking loop would hold that loop to one cell at a time.
template <bool kMasked, class T>
std::size_t MarkNoDataIn(T* cells, std::size_t n, const std::optional<double>& noData,
                         const unsigned char* mask, double marker) {
  const T target = static_cast<T>(marker);
  const bool hasNoData = noData.has_value();
  const T nodata = hasNoData ? static_cast<T>(*noData) : T{};
  auto none = [&](std::size_t i) {
    const T cell = cells[i];
    return IsNoHeight(cell) | (hasNoData & (cell == nodata)) | (kMasked && mask[i] == 0);
  };
  constexpr std::size_t kChunk = 4096;
  std::size_t held = n;
  for (std::size_t start = 0; start < n; start += kChunk) {
    const std::size_t end = std::min(n, start + kChunk);
    if (held == n) {
      int any = 0;  // an int, not a bool: GCC keeps a bool's reduction out of vector registers
      for (std::size_t i = start; i < end; ++i)
        any |= static_cast<int>(!none(i)) & static_cast<int>(cells[i] == target);
      for (std::size_t i = start; any && i < end && held == n; ++i)
        if (!none(i) && cells[i] == target) held = i;
    }
    for (std::size_t i = start; i < end; ++i) cells[i] = none(i) ? target : cells[i];
  }
  return held;
}

template <class T>
std::size_t MarkNoData(T* cells, std::size_t n, const std::optional<double>& noData,
                       const std::vector<unsigned char>& mask, double marker) {
  return mask.empty() ? MarkNoDataIn<false>(cells, n, noData, nullptr, marker)
                      : MarkNoDataIn<true>(cells, n, noData, mask.data(), marker);
}

// Raw values read as doubles, turned into heights of the output type.
template <class T>
std::size_t StoreHeights(const double* raw, T* cells, std::size_t n,
                         const std::optional<double>& noData,
                         const std::vector<unsigned char>& mask, bool signedBytes, double scale,
                         double offset, double marker) {
  std::size_t held = n;
  for (std::size_t i = 0; i < n; ++i) {
    double v = raw[i];
    if (signedBytes && v >= 128) v -= 256;
    if (!std::isfinite(v) || (noData && v == *noData) || (!mask.empty() && !mask[i])) {
      cells[i] = static_cast<T>(marker);
      continue;
    }
    cells[i] = static_cast<T>(v * scale + offset);
    if (cells[i] == static_cast<T>(marker) && held == n) held = i;
  }
  return held;
}

// The lowest and highest of cells [from, n) into lowest and highest; cells that are no height
// (non-finite, or the marker) take the value that changes neither end.
template <class T>
void WidenRange(const T* cells, std::size_t from, std::size_t n, bool hasMarker, T none,
                T& lowest, T& highest) {
  for (std::size_t i = from; i < n; ++i) {
    const T cell = cells[i];
    bool height = !(hasMarker & (cell == none));
    if constexpr (std::is_floating_point_v<T>) height &= (cell - cell) == 0;  // finite
    const T low = height ? cell : std::numeric_limits<T>::max();
    const T high = height ? cell : std::numeric_limits<T>::lowest();
    lowest = low < lowest ? low : lowest;
    highest = high > highest ? high : highest;
  }
}

#ifdef __SSE2__
// Floats, the commonest heights, four at a time: compilers keep a scalar loop here for the sake
// of NaN, which the masks have already put aside.
std::size_t WidenRangeSse2(const float* cells, std::size_t n, bool hasMarker, float none,
                           float& lowest, float& highest) {
  const __m128 top = _mm_set1_ps(std::numeric_limits<float>::max());
  const __m128 bottom = _mm_set1_ps(std::numeric_limits<float>::lowest());
  const __m128 marker = _mm_set1_ps(none);
  const __m128 zero = _mm_setzero_ps();
  __m128 low = top, high = bottom;
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128 c = _mm_loadu_ps(cells + i);
    __m128 height = _mm_cmpeq_ps(_mm_sub_ps(c, c), zero);  // finite
    if (hasMarker) height = _mm_and_ps(height, _mm_cmpneq_ps(c, marker));
    low = _mm_min_ps(low, _mm_or_ps(_mm_and_ps(height, c), _mm_andnot_ps(height, top)));
    high = _mm_max_ps(high, _mm_or_ps(_mm_and_ps(height, c), _mm_andnot_ps(height, bottom)));
  }
  alignas(16) float lows[4], highs[4];
  _mm_store_ps(lows, low);
  _mm_store_ps(highs, high);
  for (int k = 0; k < 4; ++k) {
    lowest = std::min(lowest, lows[k]);
    highest = std::max(highest, highs[k]);
  }
  return i;
}
#endif

template <class T>
SourceReader::HeightRange RangeOf(const T* cells, std::size_t n,
                                  const std::optional<double>& marker) {
  const bool hasMarker = marker.has_value();
  const T none = hasMarker ? static_cast<T>(*marker) : T{};
  T lowest = std::numeric_limits<T>::max();
  T highest = std::numeric_limits<T>::lowest();
  std::size_t done = 0;
#ifdef __SSE2__
  if constexpr (std::is_same_v<T, float>)
    done = WidenRangeSse2(cells, n, hasMarker, none, lowest, highest);
#endif
  WidenRange(cells, done, n, hasMarker, none, lowest, highest);
  if (lowest > highest) return {};  // no height at all
  return {true, static_cast<double>(lowest), static_cast<double>(highest)};
}

}  // namespace

SourceReader::HeightRange SourceReader::HeightRange::Of(const void* cells, std::size_t n,
                                                        GDALDataType type,
                                                        const std::optional<double>& marker) {
  HeightRange range;
  cell_type::Visit(type, [&](auto cell) {
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
  // Another file may stand at the name by now: GDAL would wait on a FIFO for ever.
  std::string refusal;
  GdalDataset dataset = UserPath::MayRead(source.path(), "raster", refusal)
                            ? GdalDataset::OpenRaster(source.path().c_str())
                            : GdalDataset();
  if (!dataset || GDALGetRasterCount(dataset.Get()) < source.band()) {
    error = MessageText::Tr("cannot open source %s again", source.path().c_str());
    return std::nullopt;
  }
  SourceReader reader(source, dataset.Get());
  reader.owned_ = std::move(dataset);
  return reader;
}

void SourceReader::NoteHeldMarker(std::size_t first, std::size_t n) const {
  heldMarker_ = first < n ? std::optional<std::size_t>(first) : std::nullopt;
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
    return cell_type::Visit(type, [&](auto cell) {
      NoteHeldMarker(MarkNoData(static_cast<decltype(cell)*>(cells), n, s.noData(), mask, marker),
                     n);
    });
  }
  std::vector<double> raw(n);
  if (GDALRasterIO(band_, GF_Read, x, y, columns, rows, raw.data(), columns, rows, GDT_Float64, 0,
                   0) != CE_None)
    return false;
  return cell_type::Visit(type, [&](auto cell) {
    NoteHeldMarker(StoreHeights(raw.data(), static_cast<decltype(cell)*>(cells), n, s.noData(),
                                mask, s.signedBytes_, s.heightScale(), s.heightOffset(), marker),
                   n);
  });
}

bool SourceReader::ReadsBlockRows(GDALDataType type, std::size_t mostBytes) const {
  const RasterSource& s = *source_;
  if (mask_ || s.transformsValues() || s.signedBytes_ || GDALGetRasterDataType(band_) != type)
    return false;
  // Other drivers' blocks may be read differently from their windows; a GeoTIFF's are the file's.
  // Of a GeoTIFF of several bands, GDAL caches the other bands' blocks while it reads one band's,
  // and only a read through the cache empties it again.
  GDALDatasetH dataset = GDALGetBandDataset(band_);
  GDALDriverH driver = dataset ? GDALGetDatasetDriver(dataset) : nullptr;
  if (!driver || std::strcmp(GDALGetDriverShortName(driver), "GTiff") != 0 ||
      GDALGetRasterCount(dataset) != 1)
    return false;
  int blockCols = 0, blockRows = 0;
  GDALGetBlockSize(band_, &blockCols, &blockRows);
  const std::size_t across = (static_cast<std::size_t>(GDALGetRasterBandXSize(band_)) +
                              static_cast<std::size_t>(blockCols) - 1) /
                             static_cast<std::size_t>(std::max(blockCols, 1));
  return blockCols > 0 && blockRows > 0 &&
         across * static_cast<std::size_t>(blockCols) * static_cast<std::size_t>(blockRows) *
                 static_cast<std::size_t>(GDALGetDataTypeSizeBytes(type)) <=
             mostBytes;
}

bool SourceReader::ReadBlockRow(int blockRow, GDALDataType type, double marker,
                                std::vector<unsigned char>& scratch, void* cells) const {
  int blockCols = 0, blockRows = 0;
  GDALGetBlockSize(band_, &blockCols, &blockRows);
  const int width = GDALGetRasterBandXSize(band_);
  const int rows = std::min(blockRows, GDALGetRasterBandYSize(band_) - blockRow * blockRows);
  const std::size_t cellBytes = static_cast<std::size_t>(GDALGetDataTypeSizeBytes(type));
  const std::size_t blockBytes = static_cast<std::size_t>(blockCols) * blockRows * cellBytes;
  scratch.resize(blockBytes);
  GDALRasterBand* band = GDALRasterBand::FromHandle(band_);
  auto* out = static_cast<unsigned char*>(cells);
  for (int x0 = 0, blockCol = 0; x0 < width; x0 += blockCols, ++blockCol) {
    if (GDALRasterBlock* cached = band->TryGetLockedBlockRef(blockCol, blockRow)) {
      std::memcpy(scratch.data(), cached->GetDataRef(), blockBytes);
      cached->DropLock();
    } else if (GDALReadBlock(band_, blockCol, blockRow, scratch.data()) != CE_None) {
      return false;
    }
    const std::size_t used = static_cast<std::size_t>(std::min(blockCols, width - x0)) * cellBytes;
    for (int r = 0; r < rows; ++r) {
      std::memcpy(out + (static_cast<std::size_t>(r) * width + x0) * cellBytes,
                  scratch.data() + static_cast<std::size_t>(r) * blockCols * cellBytes, used);
    }
  }
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(rows);
  return cell_type::Visit(type, [&](auto cell) {
    NoteHeldMarker(
        MarkNoData(static_cast<decltype(cell)*>(cells), n, source_->noData(), {}, marker), n);
  });
}
