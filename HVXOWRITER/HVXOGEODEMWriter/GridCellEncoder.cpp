#include "HVXOWRITER/HVXOGEODEMWriter/GridCellEncoder.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr double kTolerance = 1e-8;
constexpr double kHighest = 2147483647.0;
constexpr double kLowest = -2147483648.0;

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
      m_noDataLow(1),
      m_noDataHigh(0),
      m_avx2(wideVectors && HasAvx2()) {
  if (!invalid || std::isnan(*invalid)) return;
  const double inv = *invalid;
  // The rounded difference grows with the cell, so the cells within the tolerance form one run of
  // consecutive floats: find its ends by bisection over the floats in order.
  const std::int64_t first = FloatOrder(-FLT_MAX), last = FloatOrder(FLT_MAX);
  const std::int64_t low =
      FirstWhere(first, last + 1, [&](float f) { return f - inv > -kTolerance; });
  const std::int64_t end =
      FirstWhere(first, last + 1, [&](float f) { return f - inv >= kTolerance; });
  if (low < end) {
    m_noDataLow = OrderedFloat(low);
    m_noDataHigh = OrderedFloat(end - 1);
  }
}

std::int32_t GridCellEncoder::Saturate(double value) {
  if (std::isnan(value)) return 0;
  if (value >= kHighest) return 2147483647;
  if (value <= kLowest) return -2147483647 - 1;
  return static_cast<std::int32_t>(value);
}

bool GridCellEncoder::IsNoData(float cell) const {
  return std::isnan(cell) || (cell >= m_noDataLow && cell <= m_noDataHigh);
}

std::int32_t GridCellEncoder::EncodeOne(float cell) const {
  if (IsNoData(cell)) return m_noDataCell;
  // Infinities scale like the largest floats: the product stays a number even for zoom 0.
  const double v = std::clamp(cell, -FLT_MAX, FLT_MAX);
  return Saturate(m_zoom * v + std::copysign(0.5, v));
}

void GridCellEncoder::Encode(const float* cells, int n, std::int32_t* out) const {
  // A zoom of 0 turns infinities into NaN products; the plain path handles those.
  int i = 0;
  if (m_zoom != 0) i = m_avx2 ? EncodeAvx2(cells, n, out) : EncodeSse2(cells, n, out);
  for (; i < n; ++i) out[i] = EncodeOne(cells[i]);
}

// The vector paths take the steps of EncodeOne without branches: the no-data mask from the floats,
// the product and the rounding in doubles, clamped before the conversion, then the mask applied.
#if defined(__x86_64__)

int GridCellEncoder::EncodeSse2(const float* cells, int n, std::int32_t* out) const {
  const __m128d zoom = _mm_set1_pd(m_zoom), half = _mm_set1_pd(0.5), sign = _mm_set1_pd(-0.0);
  const __m128d highest = _mm_set1_pd(kHighest), lowest = _mm_set1_pd(kLowest);
  const __m128 noDataLow = _mm_set1_ps(m_noDataLow), noDataHigh = _mm_set1_ps(m_noDataHigh);
  const __m128i noDataCell = _mm_set1_epi32(m_noDataCell);
  auto scaleTwo = [&](const float* two) {
    const __m128d v =
        _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(two))));
    const __m128d r = _mm_add_pd(_mm_mul_pd(zoom, v), _mm_or_pd(half, _mm_and_pd(sign, v)));
    return _mm_cvttpd_epi32(_mm_max_pd(_mm_min_pd(r, highest), lowest));
  };
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128 f = _mm_loadu_ps(cells + i);
    const __m128i noData =
        _mm_castps_si128(_mm_or_ps(_mm_cmpunord_ps(f, f), _mm_and_ps(_mm_cmpge_ps(f, noDataLow),
                                                                     _mm_cmple_ps(f, noDataHigh))));
    const __m128i values = _mm_unpacklo_epi64(scaleTwo(cells + i), scaleTwo(cells + i + 2));
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(out + i),
        _mm_or_si128(_mm_and_si128(noData, noDataCell), _mm_andnot_si128(noData, values)));
  }
  return i;
}

__attribute__((target("avx2"))) int GridCellEncoder::EncodeAvx2(const float* cells, int n,
                                                                std::int32_t* out) const {
  const __m256d zoom = _mm256_set1_pd(m_zoom), half = _mm256_set1_pd(0.5);
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d highest = _mm256_set1_pd(kHighest), lowest = _mm256_set1_pd(kLowest);
  const __m128 noDataLow = _mm_set1_ps(m_noDataLow), noDataHigh = _mm_set1_ps(m_noDataHigh);
  const __m128i noDataCell = _mm_set1_epi32(m_noDataCell);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128 f = _mm_loadu_ps(cells + i);
    const __m128 noData = _mm_or_ps(
        _mm_cmpunord_ps(f, f), _mm_and_ps(_mm_cmpge_ps(f, noDataLow), _mm_cmple_ps(f, noDataHigh)));
    const __m256d v = _mm256_cvtps_pd(f);
    const __m256d r =
        _mm256_add_pd(_mm256_mul_pd(zoom, v), _mm256_or_pd(half, _mm256_and_pd(sign, v)));
    const __m128i values = _mm256_cvttpd_epi32(_mm256_max_pd(_mm256_min_pd(r, highest), lowest));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_blendv_epi8(values, noDataCell, _mm_castps_si128(noData)));
  }
  return i;
}

#else

int GridCellEncoder::EncodeSse2(const float*, int, std::int32_t*) const { return 0; }
int GridCellEncoder::EncodeAvx2(const float*, int, std::int32_t*) const { return 0; }

#endif
