#include "rastersource/ZoomLimit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "rastersource/SourceReader.h"

std::int64_t ZoomLimit::ForHeights(double lowest, double highest) {
  // Both sides against the positive limit: a product of at most 2147483647 rounds inside it.
  constexpr double kLimit = 2147483647.0;
  const double largest = std::max(std::fabs(lowest), std::fabs(highest));
  const double zoom = std::floor(kLimit / largest);
  if (!(zoom < 9.2e18)) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(zoom);
}

namespace {

std::int64_t ByType(const RasterSource& source) {
  return ZoomLimit::ForHeights(source.lowestPossible(), source.highestPossible());
}

// The answer from the type's range, which then bounds the heights.
std::int64_t FromType(const RasterSource& source, SourceReader::HeightRange* heights) {
  if (heights) *heights = {true, source.lowestPossible(), source.highestPossible()};
  return ByType(source);
}

}  // namespace

std::optional<std::int64_t> ZoomLimit::ForSource(const RasterSource& source, std::int64_t wanted,
                                                 std::string& error,
                                                 SourceReader::HeightRange* heights) {
  if (ByType(source) >= wanted) return FromType(source, heights);
  std::optional<SourceReader> reader = SourceReader::Open(source, error);
  if (!reader) return std::nullopt;
  return ForSource(*reader, wanted, error, heights);
}

std::optional<std::int64_t> ZoomLimit::ForSource(const SourceReader& reader, std::int64_t wanted,
                                                 std::string& error,
                                                 SourceReader::HeightRange* heights) {
  const RasterSource& source = reader.source();
  if (ByType(source) >= wanted) return FromType(source, heights);
  std::optional<SourceReader::HeightRange> range = reader.ScanHeights();
  if (!range) {
    error = "cannot read " + source.path() + " to find its lowest and highest height";
    return std::nullopt;
  }
  if (heights) *heights = *range;
  return ForHeights(range->lowest, range->highest);
}
