#include "apps/geodem/edgematch/EdgeComparison.h"

#include <cmath>

namespace {

// Far below any Hzoom's step (a millimetre at Hzoom 1000): what is left of decimals in metres.
constexpr double kRounding = 1e-9;

}  // namespace

void EdgeComparison::Run(const std::vector<std::int32_t>& a, const std::vector<std::int32_t>& b,
                         SheetEdge& edge) const {
  const EdgeWindow& wa = edge.inFirst;
  const EdgeWindow& wb = edge.inSecond;
  const std::int32_t zoomA = m_first.header->zoom, zoomB = m_second.header->zoom;
  auto place = [&](int r, int c) {
    return SheetEdge::Place{wa.row + r + 1, wa.column + c + 1, wb.row + r + 1, wb.column + c + 1};
  };
  for (int r = 0; r < wa.rows; ++r) {
    for (int c = 0; c < wa.columns; ++c) {
      const std::size_t i = static_cast<std::size_t>(r) * static_cast<std::size_t>(wa.columns) +
                            static_cast<std::size_t>(c);
      const bool noA = a[i] == m_first.noData, noB = b[i] == m_second.noData;
      ++edge.compared;
      if (noA && noB) continue;
      if (noA || noB) {
        if (edge.noDataAgainstHeight++ == 0) edge.firstNoData = place(r, c);
        continue;
      }
      const double difference = std::fabs(Metres(a[i], zoomA) - Metres(b[i], zoomB));
      if (difference > m_tolerance + kRounding) ++edge.differing;
      if (!edge.largest || difference > *edge.largest) {
        edge.largest = difference;
        edge.largestAt = place(r, c);
      }
    }
  }
  if (edge.differing > 0 || edge.noDataAgainstHeight > 0) edge.status = SheetEdge::Status::kDiffers;
}
