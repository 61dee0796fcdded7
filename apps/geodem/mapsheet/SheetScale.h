#pragma once
// The scales of the national sheet grid and the size of one sheet at each. Sizes are counted in
// half arc-seconds, the largest unit every sheet edge is a whole multiple of, so that the grid's
// arithmetic is exact: a sheet's edges are integers, and only the last step meets degrees.
#include <optional>
#include <span>
#include <string>

struct SheetScale {
  long denominator;  // 50000 for 1:50 000
  char letter;       // the number's scale letter; 0 for 1:1 000 000, whose number has none
  long width;        // longitude span of a sheet, in half arc-seconds
  long height;       // latitude span of a sheet, in half arc-seconds

  // How many sheets of this scale one 1:1 000 000 sheet holds across and down.
  long columnsPerMillion() const;
  long rowsPerMillion() const;
  bool isMillion() const { return letter == 0; }
  // "1:50 000"
  std::string name() const;

  static std::span<const SheetScale> all();
  static std::optional<SheetScale> ofDenominator(long denominator);
  static std::optional<SheetScale> ofLetter(char letter);
  // The denominators as the user gives them, for a message: "1000000, 500000, ... 5000".
  static std::string denominatorList();
};

// Half arc-seconds per degree, and the 1:1 000 000 sheet (6° x 4°) in them.
inline constexpr long kHalfSecondsPerDegree = 7200;
inline constexpr long kMillionWidth = 6 * kHalfSecondsPerDegree;
inline constexpr long kMillionHeight = 4 * kHalfSecondsPerDegree;
