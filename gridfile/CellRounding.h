#pragma once
// How a height becomes the integer a grid file holds: zoom x height, formed in double precision,
// rounded to the nearest integer with halves away from zero (std::round's rule), then held as a
// signed 32-bit integer. The cell encoder (every one of its paths), the zoom check before a
// conversion and the driver's check of each cell all use these, so that a height the check lets
// through is never clamped and one it refuses would have been.
//
// Adding a half and truncating is one ulp wrong: 0.49999999999999994 + 0.5 rounds up to 1.0.
// Adding the double just below a half instead gives std::round for every double (the sum rounds up
// to the next integer exactly when the fraction is at least a half), and a vector of them costs
// no more than before.
#include <cmath>

namespace cell_rounding {

inline constexpr double kJustBelowHalf = 0.49999999999999994;
// Rounded products from which truncation leaves the signed 32-bit range.
inline constexpr double kTooHigh = 2147483648.0;
inline constexpr double kTooLow = -2147483649.0;

// zoom x height before the truncation that makes it the nearest integer.
inline double Rounded(double zoom, double height) {
  const double product = zoom * height;
  return product + std::copysign(kJustBelowHalf, product);
}

// Whether the truncation of a Rounded product is a 32-bit integer (false for NaN).
inline bool Fits(double rounded) { return rounded < kTooHigh && rounded > kTooLow; }

}  // namespace cell_rounding
