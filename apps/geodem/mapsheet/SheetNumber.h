#pragma once
// A sheet of the national topographic map grid (GB/T 13989) and its number: "J50" at
// 1:1 000 000, "J50E001010" at larger scales (the 1:1 000 000 sheet, the scale letter, the row
// from the north and the column from the west within it, three digits each).
//
// The grid is kept to 0°-180° E and 0°-60° N, where sheets are never merged. A point on an edge
// belongs to the sheet north and east of it, as the standard's formulas give (row and column
// from the integer part of the quotient): the south-west corner and the southern and western
// edges are a sheet's own, the northern and eastern ones its neighbours'. Coordinates within a
// millionth of a half arc-second (15 µm on the ground) of an edge count as on it, so that decimal
// degrees such as 39.833333333333336 (39°50') fall where they are meant to.
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/mapsheet/SheetExtent.h"
#include "apps/geodem/mapsheet/SheetScale.h"

class SheetNumber {
 public:
  // The sheet of `scale` that holds the point; none, with `error` set, outside the grid.
  static std::optional<SheetNumber> Containing(double longitude, double latitude,
                                               const SheetScale& scale, std::string& error);
  // The sheet a number names; none, with `error` saying what is wrong with it.
  static std::optional<SheetNumber> Parse(const std::string& text, std::string& error);
  // Every sheet of `scale` whose inside meets `area`, rows north to south, each west to east;
  // none, with `error` set, when `area` is empty or leaves the grid.
  static std::optional<std::vector<SheetNumber>> Covering(const SheetExtent& area,
                                                          const SheetScale& scale,
                                                          std::string& error);

  // The part of `area` within the grid; none when nothing of it is.
  static std::optional<SheetExtent> WithinGrid(const SheetExtent& area);

  std::string text() const;
  SheetExtent extent() const;
  const SheetScale& scale() const { return scale_; }

  char millionRow() const;     // 'A' for 0°-4° N
  long millionColumn() const;  // 31 for 0°-6° E
  long row() const;            // 1 at the north edge of the 1:1 000 000 sheet; 0 at 1:1 000 000
  long column() const;         // 1 at its west edge; 0 at 1:1 000 000

  bool operator==(const SheetNumber& other) const {
    return scale_.denominator == other.scale_.denominator && east_ == other.east_ &&
           north_ == other.north_;
  }

 private:
  SheetNumber(const SheetScale& scale, long east, long north)
      : scale_(scale), east_(east), north_(north) {}

  SheetScale scale_;
  long east_;   // sheets of this scale between 0° E and the sheet's west edge
  long north_;  // sheets of this scale between the equator and the sheet's south edge
};
