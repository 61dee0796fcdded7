#pragma once
// How large a zoom factor a source allows: the grid holds zoom x height as a 32-bit integer, and a
// larger product would be clamped, destroying the heights.
#include <cstdint>
#include <optional>
#include <string>

#include "rastersource/RasterSource.h"
#include "rastersource/SourceReader.h"

class ZoomLimit {
 public:
  // The largest zoom for which every height in [lowest, highest] fits; INT64_MAX for none but 0.
  static std::int64_t ForHeights(double lowest, double highest);
  // The largest zoom for the source's heights: from its type's range when that already allows
  // `wanted` (nothing is read), else from an exact scan of its cells. Nothing when reading fails.
  // `heights`, when given, receives the range the answer rests on (the type's or the scanned one).
  static std::optional<std::int64_t> ForSource(const RasterSource& source, std::int64_t wanted,
                                               std::string& error,
                                               SourceReader::HeightRange* heights = nullptr);
  // The same, reading (when it must) through a reader the caller holds.
  static std::optional<std::int64_t> ForSource(const SourceReader& reader, std::int64_t wanted,
                                               std::string& error,
                                               SourceReader::HeightRange* heights = nullptr);
};
