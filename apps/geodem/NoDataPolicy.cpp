#include "apps/geodem/NoDataPolicy.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <type_traits>

#include "host/HVXRasterBase.h"

namespace {

bool IsFloating(GDALDataType t) { return t == GDT_Float32 || t == GDT_Float64; }

// Calls f with a value of the C++ type of a cell of type t; false for types blocks never carry.
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

// The finite value as a cell of type t holds it; nothing when no cell of that type can hold it.
std::optional<double> AsStored(double value, GDALDataType t) {
  if (!std::isfinite(value)) return std::nullopt;
  std::optional<double> stored;
  bool known = WithCellType(t, [&](auto cell) {
    using T = decltype(cell);
    if constexpr (std::is_same_v<T, double>) {
      stored = value;
    } else if constexpr (std::is_same_v<T, float>) {
      if (std::fabs(value) <= FLT_MAX) stored = static_cast<float>(value);
    } else if (value >= static_cast<double>(std::numeric_limits<T>::min()) &&
               value <= static_cast<double>(std::numeric_limits<T>::max()) &&
               std::trunc(value) == value) {
      stored = value;
    }
  });
  return known ? stored : std::optional<double>(value);
}

template <class T>
void Rewrite(T* cells, std::size_t n, const std::optional<double>& from, bool nan, double to) {
  const T target = static_cast<T>(to);
  const T source = from ? static_cast<T>(*from) : T{};
  for (std::size_t i = 0; i < n; ++i) {
    if constexpr (std::is_floating_point_v<T>) {
      if (nan && std::isnan(cells[i])) {
        cells[i] = target;
        continue;
      }
    }
    if (from && cells[i] == source) cells[i] = target;
  }
}

}  // namespace

NoDataPolicy::NoDataPolicy(const SourceRaster& source, bool mosaic) : type_(source.dataType()) {
  for (const std::optional<double>& declared : source.bandNoData()) {
    Band b;
    std::optional<double> stored = declared ? AsStored(*declared, type_) : std::nullopt;
    if (IsFloating(type_)) {
      b.rewriteNaN = true;
      b.marker = stored ? *stored : GetInvalid(type_);
      if (declared && std::isinf(*declared)) b.rewrite = *declared;
    } else if (stored) {
      b.marker = stored;
    } else if (mosaic) {
      b.marker = GetInvalid(type_);
    }
    bands_.push_back(b);
  }
}

void NoDataPolicy::AdoptValuesOf(const NoDataPolicy& reference) {
  for (std::size_t i = 0; i < bands_.size() && i < reference.bands_.size(); ++i) {
    Band& b = bands_[i];
    const std::optional<double>& wanted = reference.bands_[i].marker;
    if (!wanted || b.marker == wanted || !AsStored(*wanted, type_)) continue;
    // Cells carrying this source's own marker are no-data and must carry the mosaic's. An
    // infinite no-data value keeps its rewriting: GetInvalid was the marker in between.
    if (!b.rewrite) b.rewrite = b.marker;
    b.marker = wanted;
  }
}

std::optional<std::string> NoDataPolicy::InvalidDataText() const {
  std::string text;
  for (const Band& b : bands_) {
    if (!b.marker) return std::nullopt;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", *b.marker);
    if (!text.empty()) text += '|';
    text += buf;
  }
  return text;
}

void NoDataPolicy::Apply(void* pixels, std::size_t cellsPerBand) const {
  auto* band = static_cast<unsigned char*>(pixels);
  const auto bandBytes = cellsPerBand * static_cast<std::size_t>(GDALGetDataTypeSizeBytes(type_));
  for (const Band& b : bands_) {
    if (b.marker && (b.rewrite || b.rewriteNaN)) {
      WithCellType(type_, [&](auto cell) {
        using T = decltype(cell);
        Rewrite(reinterpret_cast<T*>(band), cellsPerBand, b.rewrite, b.rewriteNaN, *b.marker);
      });
    }
    band += bandBytes;
  }
}
