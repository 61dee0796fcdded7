#include "rastersource/ZoomLimit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "gridfile/CellRounding.h"
#include "messages/MessageText.h"
#include "rastersource/SourceReader.h"

namespace {

// Whether every height in [lowest, highest] becomes a 32-bit integer at the zoom: the ends give
// the extreme products, rounded as the cell encoder rounds them.
bool FitsAt(double zoom, double lowest, double highest) {
  return cell_rounding::Fits(cell_rounding::Rounded(zoom, lowest)) &&
         cell_rounding::Fits(cell_rounding::Rounded(zoom, highest));
}

}  // namespace

std::int64_t ZoomLimit::ForHeights(double lowest, double highest) {
  // Zooms beyond 2^53 are not told apart; none is asked for (a zoom is a 32-bit integer).
  constexpr double kUnbounded = 9007199254740992.0;
  const double largest = std::max(std::fabs(lowest), std::fabs(highest));
  // Within a step or two of the answer; the rounding itself settles it, so that the check and
  // the cells agree at both ends of the range (-2147483648.4 fits at zoom 1, 2147483647.5 not).
  double zoom = std::floor(-cell_rounding::kTooLow / largest);
  if (!(zoom < kUnbounded)) return std::numeric_limits<std::int64_t>::max();
  while (zoom > 0 && !FitsAt(zoom, lowest, highest)) --zoom;
  while (zoom + 1 < kUnbounded && FitsAt(zoom + 1, lowest, highest)) ++zoom;
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
    error = MessageText::Tr("cannot read %s to find its lowest and highest height",
                            source.path().c_str());
    return std::nullopt;
  }
  if (heights) *heights = *range;
  return ForHeights(range->lowest, range->highest);
}
