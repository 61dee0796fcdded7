#include "gridfile/GridCellEncoder.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>

#include "gridfile/CellRounding.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr double kTolerance = 1e-8;
constexpr double kHighest = 2147483647.0;
constexpr double kLowest = -2147483648.0;
constexpr double kClampedAbove = cell_rounding::kTooHigh;
constexpr double kClampedBelow = cell_rounding::kTooLow;
constexpr double kJustBelowHalf = cell_rounding::kJustBelowHalf;

// Finite floats numbered in increasing order (both zeros share 0).
std::int64_t FloatOrder(float f) {
  const std::int32_t bits = std::bit_cast<std::int32_t>(f);
  return bits >= 0 ? bits : -static_cast<std::int64_t>(bits & 0x7FFFFFFF);
}

float OrderedFloat(std::int64_t order) {
  const std::int32_t bits =
      order >= 0 ? static_cast<std::int32_t>(order) : static_cast<std::int32_t>(-order) | INT32_MIN;
  return std::bit_cast<float>(bits);
}

// The first order in [from, to) whose float satisfies a predicate that, once true, stays true.
template <class Predicate>
std::int64_t FirstWhere(std::int64_t from, std::int64_t to, Predicate holds) {
  while (from < to) {
    const std::int64_t middle = from + (to - from) / 2;
    if (holds(OrderedFloat(middle))) {
      to = middle;
    } else {
      from = middle + 1;
    }
  }
  return from;
}

using cell_rounding::Rounded;

// Whether truncating a rounded product leaves the 32-bit range (NaN products do not: no cell
// that reaches the rounding is NaN).
bool Clamps(double rounded) { return rounded >= kClampedAbove || rounded <= kClampedBelow; }

bool HasAvx2() {
#if defined(__x86_64__)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

}  // namespace

GridCellEncoder::GridCellEncoder(std::int32_t zoom, double noDataValue,
                                 std::optional<double> invalid, bool wideVectors)
    : m_zoom(zoom),
      m_noDataCell(Saturate(noDataValue)),
      m_invalid(invalid ? *invalid : NAN),
      m_noDataLow(1),
      m_noDataHigh(0),
      m_clampMagnitude(INFINITY),
      m_avx2(wideVectors && HasAvx2()) {
  const std::int64_t first = FloatOrder(-FLT_MAX), zero = FloatOrder(0.0f), last = FloatOrder(FLT_MAX);
  // Products grow with the cell's magnitude: from some magnitude on, a cell of one sign or the
  // other is clamped.
  auto mayClamp = [&](float f) {
    return Clamps(Rounded(m_zoom, f)) || Clamps(Rounded(m_zoom, -f));
  };
  const std::int64_t clamping = FirstWhere(zero, last + 1, mayClamp);
  if (clamping <= last) m_clampMagnitude = OrderedFloat(clamping);

  if (std::isnan(m_invalid)) return;
  const double inv = m_invalid;
  // The rounded difference grows with the cell, so the cells within the tolerance form one run of
  // consecutive floats: find its ends by bisection over the floats in order.
  const std::int64_t low =
      FirstWhere(first, last + 1, [&](float f) { return f - inv > -kTolerance; });
  const std::int64_t end =
      FirstWhere(first, last + 1, [&](float f) { return f - inv >= kTolerance; });
  if (low < end) {
    m_noDataLow = OrderedFloat(low);
    m_noDataHigh = OrderedFloat(end - 1);
  }
}

bool GridCellEncoder::ReadsAsDouble(GDALDataType type) {
  switch (type) {
    case GDT_Int32:
    case GDT_UInt32:
    case GDT_Int64:
    case GDT_UInt64:
    case GDT_Float64:
    case GDT_CInt32:
    case GDT_CFloat64:
      return true;
    default:
      return false;
  }
}

std::int32_t GridCellEncoder::Saturate(double value) {
  if (std::isnan(value)) return 0;
  if (value >= kHighest) return 2147483647;
  if (value <= kLowest) return -2147483647 - 1;
  return static_cast<std::int32_t>(value);
}

bool GridCellEncoder::IsNoData(float cell) const {
  return !std::isfinite(cell) || (cell >= m_noDataLow && cell <= m_noDataHigh);
}

bool GridCellEncoder::IsNoData(double cell) const {
  const double d = cell - m_invalid;
  return !std::isfinite(cell) || (d > -kTolerance && d < kTolerance);
}

std::int32_t GridCellEncoder::EncodeOne(float cell) const {
  return IsNoData(cell) ? m_noDataCell : Saturate(Rounded(m_zoom, cell));
}

std::int32_t GridCellEncoder::EncodeOne(double cell) const {
  return IsNoData(cell) ? m_noDataCell : Saturate(Rounded(m_zoom, cell));
}

namespace {

// The single-cell path behind the vector paths, counting what they would count.
template <class Cell, class NoData>
int EncodeRest(const Cell* cells, int from, int n, std::int32_t* out, double zoom,
               std::int32_t noDataCell, NoData isNoData) {
  int clamped = 0;
  for (int i = from; i < n; ++i) {
    if (isNoData(cells[i])) {
      out[i] = noDataCell;
      continue;
    }
    const double r = Rounded(zoom, cells[i]);
    clamped += Clamps(r);
    out[i] = GridCellEncoder::Saturate(r);
  }
  return clamped;
}

}  // namespace

int GridCellEncoder::CountClamped(const float* cells, int n) const {
  int clamped = 0;
  for (int i = 0; i < n; ++i) clamped += !IsNoData(cells[i]) && Clamps(Rounded(m_zoom, cells[i]));
  return clamped;
}

int GridCellEncoder::Encode(const float* cells, int n, std::int32_t* out) const {
  int clamped = 0;
  const int i = m_avx2 ? EncodeAvx2(cells, n, out, clamped) : EncodeSse2(cells, n, out, clamped);
  return clamped + EncodeRest(cells, i, n, out, m_zoom, m_noDataCell,
                              [this](float cell) { return IsNoData(cell); });
}

int GridCellEncoder::Encode(const double* cells, int n, std::int32_t* out) const {
  int clamped = 0;
  const int i = m_avx2 ? EncodeAvx2(cells, n, out, clamped) : 0;
  return clamped + EncodeRest(cells, i, n, out, m_zoom, m_noDataCell,
                              [this](double cell) { return IsNoData(cell); });
}

// The vector paths take the steps of EncodeOne without branches: the no-data mask from the cells,
// the product and the rounding in doubles (the product's sign, and the double just below a half,
// as cell_rounding::Rounded), clamped before the conversion, then the mask applied.
// NaN and infinities are the cells whose magnitude is not below infinity. Clamped cells are rare:
// the float paths only note cells large enough to be clamped and count a run again when it has
// one; the double path counts lane by lane.
#if defined(__x86_64__)

int GridCellEncoder::EncodeSse2(const float* cells, int n, std::int32_t* out, int& clamped) const {
  const __m128d zoom = _mm_set1_pd(m_zoom), half = _mm_set1_pd(kJustBelowHalf),
                sign = _mm_set1_pd(-0.0);
  const __m128d highest = _mm_set1_pd(kHighest), lowest = _mm_set1_pd(kLowest);
  const __m128 noDataLow = _mm_set1_ps(m_noDataLow), noDataHigh = _mm_set1_ps(m_noDataHigh);
  const __m128 clampMagnitude = _mm_set1_ps(m_clampMagnitude);
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 infinity = _mm_set1_ps(INFINITY);
  const __m128i noDataCell = _mm_set1_epi32(m_noDataCell);
  auto scaleTwo = [&](const float* two) {
    const __m128d v =
        _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(two))));
    const __m128d p = _mm_mul_pd(zoom, v);
    const __m128d r = _mm_add_pd(p, _mm_or_pd(half, _mm_and_pd(sign, p)));
    return _mm_cvttpd_epi32(_mm_max_pd(_mm_min_pd(r, highest), lowest));
  };
  __m128 suspects = _mm_setzero_ps();
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128 f = _mm_loadu_ps(cells + i);
    const __m128 size = _mm_and_ps(f, magnitude);
    const __m128 noData =
        _mm_or_ps(_mm_cmpnlt_ps(size, infinity),
                  _mm_and_ps(_mm_cmpge_ps(f, noDataLow), _mm_cmple_ps(f, noDataHigh)));
    suspects = _mm_or_ps(suspects, _mm_andnot_ps(noData, _mm_cmpge_ps(size, clampMagnitude)));
    const __m128i values = _mm_unpacklo_epi64(scaleTwo(cells + i), scaleTwo(cells + i + 2));
    const __m128i mask = _mm_castps_si128(noData);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_or_si128(_mm_and_si128(mask, noDataCell), _mm_andnot_si128(mask, values)));
  }
  if (_mm_movemask_ps(suspects)) clamped += CountClamped(cells, i);
  return i;
}

__attribute__((target("avx2"))) int GridCellEncoder::EncodeAvx2(const float* cells, int n,
                                                                std::int32_t* out,
                                                                int& clamped) const {
  const __m256d zoom = _mm256_set1_pd(m_zoom), half = _mm256_set1_pd(kJustBelowHalf);
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d highest = _mm256_set1_pd(kHighest), lowest = _mm256_set1_pd(kLowest);
  const __m128 noDataLow = _mm_set1_ps(m_noDataLow), noDataHigh = _mm_set1_ps(m_noDataHigh);
  const __m128 clampMagnitude = _mm_set1_ps(m_clampMagnitude);
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 infinity = _mm_set1_ps(INFINITY);
  const __m128i noDataCell = _mm_set1_epi32(m_noDataCell);
  __m128 suspects = _mm_setzero_ps();
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128 f = _mm_loadu_ps(cells + i);
    const __m128 size = _mm_and_ps(f, magnitude);
    const __m128 noData =
        _mm_or_ps(_mm_cmpnlt_ps(size, infinity),
                  _mm_and_ps(_mm_cmpge_ps(f, noDataLow), _mm_cmple_ps(f, noDataHigh)));
    suspects = _mm_or_ps(suspects, _mm_andnot_ps(noData, _mm_cmpge_ps(size, clampMagnitude)));
    const __m256d v = _mm256_cvtps_pd(f);
    const __m256d p = _mm256_mul_pd(zoom, v);
    const __m256d r = _mm256_add_pd(p, _mm256_or_pd(half, _mm256_and_pd(sign, p)));
    const __m128i values = _mm256_cvttpd_epi32(_mm256_max_pd(_mm256_min_pd(r, highest), lowest));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_blendv_epi8(values, noDataCell, _mm_castps_si128(noData)));
  }
  if (_mm_movemask_ps(suspects)) clamped += CountClamped(cells, i);
  return i;
}

__attribute__((target("avx2"))) int GridCellEncoder::EncodeAvx2(const double* cells, int n,
                                                                std::int32_t* out,
                                                                int& clamped) const {
  const __m256d zoom = _mm256_set1_pd(m_zoom), half = _mm256_set1_pd(kJustBelowHalf);
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d highest = _mm256_set1_pd(kHighest), lowest = _mm256_set1_pd(kLowest);
  const __m256d above = _mm256_set1_pd(kClampedAbove), below = _mm256_set1_pd(kClampedBelow);
  const __m256d invalid = _mm256_set1_pd(m_invalid);
  const __m256d tolerance = _mm256_set1_pd(kTolerance), lowTolerance = _mm256_set1_pd(-kTolerance);
  const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m256d infinity = _mm256_set1_pd(INFINITY);
  const __m128i noDataCell = _mm_set1_epi32(m_noDataCell);
  __m256i counts = _mm256_setzero_si256();
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256d v = _mm256_loadu_pd(cells + i);
    const __m256d d = _mm256_sub_pd(v, invalid);
    const __m256d noData = _mm256_or_pd(
        _mm256_cmp_pd(_mm256_and_pd(v, magnitude), infinity, _CMP_NLT_UQ),
        _mm256_and_pd(_mm256_cmp_pd(d, lowTolerance, _CMP_GT_OQ),
                      _mm256_cmp_pd(d, tolerance, _CMP_LT_OQ)));
    const __m256d p = _mm256_mul_pd(zoom, v);
    const __m256d r = _mm256_add_pd(p, _mm256_or_pd(half, _mm256_and_pd(sign, p)));
    const __m256d outside =
        _mm256_or_pd(_mm256_cmp_pd(r, above, _CMP_GE_OQ), _mm256_cmp_pd(r, below, _CMP_LE_OQ));
    counts = _mm256_sub_epi64(counts, _mm256_castpd_si256(_mm256_andnot_pd(noData, outside)));
    const __m128i values = _mm256_cvttpd_epi32(_mm256_max_pd(_mm256_min_pd(r, highest), lowest));
    // The mask of four doubles narrowed to four 32-bit lanes: -1.0 converts to all ones.
    const __m128i mask = _mm256_cvtpd_epi32(_mm256_and_pd(noData, _mm256_set1_pd(-1.0)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_blendv_epi8(values, noDataCell, mask));
  }
  alignas(32) std::int64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), counts);
  clamped += static_cast<int>(lanes[0] + lanes[1] + lanes[2] + lanes[3]);
  return i;
}

#else

int GridCellEncoder::EncodeSse2(const float*, int, std::int32_t*, int&) const { return 0; }
int GridCellEncoder::EncodeAvx2(const float*, int, std::int32_t*, int&) const { return 0; }
int GridCellEncoder::EncodeAvx2(const double*, int, std::int32_t*, int&) const { return 0; }

#endif
