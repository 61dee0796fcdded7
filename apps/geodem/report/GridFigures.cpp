#include "apps/geodem/report/GridFigures.h"

#include "apps/geodem/JsonText.h"

std::vector<std::pair<std::string, std::string>> GridFigures::JsonMembers() const {
  auto height = [](const std::optional<double>& metres) {
    return metres ? JsonText::Number(*metres) : std::string("null");
  };
  const double share =
      cells > 0 ? static_cast<double>(noDataCells) / static_cast<double>(cells) : 0;
  return {{"file", JsonText::Quote(file)},
          {"rows", std::to_string(rows)},
          {"columns", std::to_string(columns)},
          {"zoom", std::to_string(zoom)},
          {"nodata", std::to_string(noData)},
          {"cells", std::to_string(cells)},
          {"nodata_cells", std::to_string(noDataCells)},
          {"nodata_share", JsonText::Number(share)},
          {"min_m", height(lowest)},
          {"max_m", height(highest)}};
}
