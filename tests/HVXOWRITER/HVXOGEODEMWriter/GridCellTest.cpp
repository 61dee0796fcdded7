#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

#include "gridfile/GridCellEncoder.h"
#include "gridfile/GridCellText.h"

namespace {

std::string Printed(std::int32_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "   %ld ", static_cast<long>(value));
  return text;
}

std::string Appended(const std::int32_t* values, int n) {
  std::string text(n * grid_cell_text::kMaxChars + grid_cell_text::kSlack, '#');
  text.resize(grid_cell_text::AppendCells(text.data(), values, n) - text.data());
  return text;
}

// Against printf, for every digit count, the range's ends and random values, one by one and in
// runs that share their blanks.
TEST(GridCellText, MatchesPrintfForSingleValuesAndRuns) {
  std::vector<std::int32_t> values{0, std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max()};
  for (std::int64_t power = 1; power <= 1000000000; power *= 10) {
    for (std::int64_t v : {power - 1, power, power + 1, 2 * power - 1}) {
      values.push_back(static_cast<std::int32_t>(v));
      values.push_back(static_cast<std::int32_t>(-v));
    }
  }
  std::mt19937 random(7);
  std::uniform_int_distribution<std::int32_t> any;
  for (int i = 0; i < 200000; ++i) values.push_back(any(random) >> (i % 31));
  for (const std::int32_t& v : values) ASSERT_EQ(Appended(&v, 1), Printed(v)) << v;
  for (std::size_t i = 0; i + 10 <= values.size(); i += 10) {
    const int n = 1 + static_cast<int>(i / 10 % 10);
    std::string printed;
    for (int k = 0; k < n; ++k) printed += Printed(values[i + k]);
    ASSERT_EQ(Appended(values.data() + i, n), printed);
  }
  EXPECT_EQ(Appended(values.data(), 0), "");
}

// Whether a cell is clamped into the 32-bit range.
bool Clamped(double v, std::int32_t zoom, std::optional<double> invalid) {
  if (!std::isfinite(v) || (invalid && std::fabs(v - *invalid) < 1e-8)) return false;
  const double product = std::round(zoom * v);
  return product > 2147483647.0 || product < -2147483648.0;
}

// What a cell is written as, straight from its definition.
std::int32_t Expected(double cell, std::int32_t zoom, double noData, std::optional<double> invalid) {
  auto saturate = [](double v) {
    if (std::isnan(v)) return 0;
    return static_cast<std::int32_t>(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
  };
  const double v = cell;
  if (!std::isfinite(v) || (invalid && std::fabs(v - *invalid) < 1e-8)) return saturate(noData);
  return saturate(std::round(zoom * v));  // the nearest integer, halves away from zero
}

// The float run that counts as no data must be exactly the cells within 1e-8 of the invalid
// value, also where the tolerance spans many floats (values near zero) or none.
TEST(GridCellEncoder, NoDataToleranceIsExactlyTheDoubleDifference) {
  const double invalids[] = {0.0,     1e-9,     -5e-9,   1e-8,  2.5e-8,    0.1,           -99999.0,
                             -9999.9, -FLT_MAX, FLT_MAX, 1e300, -INFINITY, 32767.00000001};
  for (double invalid : invalids) {
    GridCellEncoder encoder(100, -99999.0, invalid);
    const float nearest =
        static_cast<float>(std::clamp(invalid, -double{FLT_MAX}, double{FLT_MAX}));
    std::vector<float> cells;
    for (float down = nearest, up = nearest; cells.size() < 2000;) {
      cells.push_back(down);
      cells.push_back(up);
      down = std::nextafter(down, -INFINITY);
      up = std::nextafter(up, INFINITY);
    }
    // And the edges of the tolerance, where most floats lie near zero.
    for (double edge : {invalid - 1e-8, invalid + 1e-8}) {
      float f = static_cast<float>(edge);
      for (int i = 0; i < 4; ++i) f = std::nextafter(f, -INFINITY);
      for (int i = 0; i < 9; ++i, f = std::nextafter(f, INFINITY)) cells.push_back(f);
    }
    std::vector<std::int32_t> out(cells.size());
    encoder.Encode(cells.data(), static_cast<int>(cells.size()), out.data());
    for (std::size_t i = 0; i < cells.size(); ++i) {
      ASSERT_EQ(out[i], Expected(cells[i], 100, -99999.0, invalid))
          << "invalid " << invalid << ", cell " << cells[i];
    }
  }
}

// The vector paths (AVX2 where the processor has it, and SSE2) and the one-at-a-time path agree,
// for float and double cells, whatever the run's length; so does the count of clamped cells.
template <class Cell>
void ExpectBatchesLikeSingleCells(const std::vector<Cell>& cells) {
  for (std::int32_t zoom : {100, 1, 0, -3}) {
    for (std::optional<double> invalid :
         {std::optional<double>{-99999.0}, std::optional<double>{}}) {
      for (bool wide : {true, false}) {
        GridCellEncoder encoder(zoom, -9999.9, invalid, wide);
        for (int n = 0; n <= static_cast<int>(cells.size()); ++n) {
          std::vector<std::int32_t> out(n + 1, 12345);
          const int clamped = encoder.Encode(cells.data(), n, out.data());
          int expectedClamped = 0;
          for (int i = 0; i < n; ++i) {
            ASSERT_EQ(out[i], Expected(cells[i], zoom, -9999.9, invalid))
                << "zoom " << zoom << ", cell " << cells[i] << ", run " << n;
            expectedClamped += Clamped(cells[i], zoom, invalid);
          }
          EXPECT_EQ(clamped, expectedClamped) << "zoom " << zoom << ", run " << n;
          EXPECT_EQ(out[n], 12345) << "wrote past the run";
        }
      }
    }
  }
}

TEST(GridCellEncoder, BatchesOfAnyLengthEncodeLikeSingleCells) {
  const std::vector<float> specials = {
      0.0f,  -0.0f,  NAN,  INFINITY,  -INFINITY,   FLT_MAX,      -FLT_MAX,  FLT_MIN, -FLT_MIN, 2.5f,
      -2.5f, 1e-45f, 7.0f, -99999.0f, 21474836.0f, -21474837.0f, 0.004999f, -0.005f, 123.456f};
  ExpectBatchesLikeSingleCells(specials);
  std::vector<double> wide(specials.begin(), specials.end());
  for (double v : {1e300, -1e300, -99999.000000001, 21474836.475, -21474836.485, 8123.455,
                   0.49999999999999994, -0.49999999999999994, 1.4999999999999998, 2147483647.5,
                   -2147483648.5, 2147483647.4999998})
    wide.push_back(v);
  ExpectBatchesLikeSingleCells(wide);
}

TEST(GridCellEncoder, NoDataNumberIsTruncatedIntoTheIntegerRange) {
  const std::pair<double, std::int32_t> cases[] = {
      {-9999.9, -9999},   {-99999.0, -99999},       {0.9, 0}, {-0.9, 0},
      {1e12, 2147483647}, {-1e12, -2147483647 - 1}, {NAN, 0}, {-INFINITY, -2147483647 - 1}};
  for (const auto& [noData, written] : cases) {
    EXPECT_EQ(GridCellEncoder(100, noData, -1.0).EncodeOne(-1.0f), written) << noData;
  }
}

}  // namespace
