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
