#pragma once
// One shared edge of two grid files of a set and what matching it found: the cells the two
// grids share, those that differ, the largest difference and where it lies in both files.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "apps/geodem/edgematch/EdgeWindow.h"

struct SheetEdge {
  enum class Side { kEast, kSouth };  // where the second file lies from the first
  // kApart: aligned, but the grids neither share cells nor meet; kOverlaps: they share most of
  // both grids, more than an edge (a header placed wrong), and are not read whole for it;
  // kUnread: a file could not be read whole, so the edge was not compared.
  enum class Status { kOk, kDiffers, kNotAligned, kApart, kOverlaps, kUnread };

  // A shared cell's place in both files, rows and columns from 1.
  struct Place {
    int firstRow = 0, firstColumn = 0, secondRow = 0, secondColumn = 0;
  };

  std::size_t first = 0, second = 0;  // the files, as the set lists them
  Side side = Side::kEast;
  Status status = Status::kOk;
  std::string why;  // what is wrong when the status is neither ok nor differs
  // The shared cells in each file; empty when the grids only meet.
  EdgeWindow inFirst, inSecond;
  std::int64_t compared = 0;
  std::int64_t differing = 0;            // heights further apart than the tolerance
  std::int64_t noDataAgainstHeight = 0;  // no data in one file, a height in the other
  std::optional<double> largest;         // metres, with its place
  Place largestAt;
  std::optional<Place> firstNoData;  // the first cell of no data against a height

  bool failed() const { return status != Status::kOk; }
  // "ok", "differs", "not aligned", "apart", "overlaps", "unread": the words of the JSON report.
  const char* StatusName() const {
    switch (status) {
      case Status::kOk:
        return "ok";
      case Status::kDiffers:
        return "differs";
      case Status::kNotAligned:
        return "not aligned";
      case Status::kApart:
        return "apart";
      case Status::kOverlaps:
        return "overlaps";
      case Status::kUnread:
        return "unread";
    }
    return "";
  }
};
