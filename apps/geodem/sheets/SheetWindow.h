#pragma once
// The cells of the sources' grid that a sheet's grid file holds: the column and row of its
// upper-left cell (negative or beyond the sources where the sheet reaches past them) and its size.
struct SheetWindow {
  long column = 0, row = 0;
  long columns = 0, rows = 0;

  double cells() const { return static_cast<double>(columns) * static_cast<double>(rows); }
};
