#include "apps/geodem/edgematch/EdgePairing.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include "apps/geodem/edgematch/EdgeGeometry.h"
#include "apps/geodem/mapsheet/SheetNumber.h"

namespace {

// A sheet's place in the grid of its scale: sheets east of 0° E and north of the equator.
struct SheetKey {
  long denominator = 0, east = 0, north = 0;
  auto operator<=>(const SheetKey&) const = default;
};

std::optional<SheetKey> KeyOf(const EdgeGrid& grid, std::optional<SheetScale>& scale) {
  if (!grid.sheet) return std::nullopt;
  std::string error;
  const std::optional<SheetNumber> number = SheetNumber::Parse(grid.sheet->number, error);
  if (!number) return std::nullopt;
  scale = number->scale();
  const SheetExtent e = number->extent();
  return SheetKey{scale->denominator, std::lround(e.west * kHalfSecondsPerDegree / scale->width),
                  std::lround(e.south * kHalfSecondsPerDegree / scale->height)};
}

std::string NumberOf(const SheetKey& key, const SheetScale& scale) {
  std::string error;
  const double longitude =
      (static_cast<double>(key.east) + 0.5) * scale.width / kHalfSecondsPerDegree;
  const double latitude =
      (static_cast<double>(key.north) + 0.5) * scale.height / kHalfSecondsPerDegree;
  const std::optional<SheetNumber> sheet =
      SheetNumber::Containing(longitude, latitude, scale, error);
  return sheet ? sheet->text() : std::string();
}

// The positions missing between two present ones along a line of sheets.
void Gaps(const std::map<long, std::set<long>>& lines, bool rows, long denominator,
          std::set<SheetKey>& holes) {
  for (const auto& [line, present] : lines) {
    for (long at = *present.begin(); at < *present.rbegin(); ++at) {
      if (present.contains(at)) continue;
      holes.insert(rows ? SheetKey{denominator, at, line} : SheetKey{denominator, line, at});
    }
  }
}

struct Box {
  double west, south, east, north, cell;
};

Box BoxOf(const GridHeader& h) {
  return {h.x0, h.y0 - h.rows * h.dy, h.x0 + h.cols * h.dx, h.y0, std::min(h.dx, h.dy)};
}

bool SameGrid(const GridHeader& a, const GridHeader& b) {
  const double near = EdgeGeometry::kCellTolerance * std::min(a.dx, a.dy);
  return a.rows == b.rows && a.cols == b.cols && std::fabs(a.x0 - b.x0) <= near &&
         std::fabs(a.y0 - b.y0) <= near && std::fabs(a.dx - b.dx) <= near &&
         std::fabs(a.dy - b.dy) <= near;
}

}  // namespace

void EdgePairing::Run(EdgeSetResult& set) {
  std::vector<bool> duplicate(set.grids.size(), false);
  PairSheets(set, duplicate);
  PairExtents(set, duplicate);
  FindAlone(set, duplicate);
}

void EdgePairing::PairSheets(EdgeSetResult& set, std::vector<bool>& duplicate) {
  std::map<SheetKey, std::vector<std::size_t>> sheets;
  std::map<long, SheetScale> scales;
  for (std::size_t i = 0; i < set.grids.size(); ++i) {
    std::optional<SheetScale> scale;
    if (const std::optional<SheetKey> key = KeyOf(set.grids[i], scale)) {
      sheets[*key].push_back(i);
      scales.emplace(key->denominator, *scale);
    }
  }
  std::map<long, std::map<long, std::set<long>>> rows, columns;  // per scale
  for (const auto& [key, files] : sheets) {
    if (files.size() > 1) {
      set.duplicates.push_back(files);
      for (std::size_t k = 1; k < files.size(); ++k) duplicate[files[k]] = true;
    }
    rows[key.denominator][key.north].insert(key.east);
    columns[key.denominator][key.east].insert(key.north);
    for (auto [side, east, north] : {std::tuple{SheetEdge::Side::kEast, key.east + 1, key.north},
                                     {SheetEdge::Side::kSouth, key.east, key.north - 1}}) {
      const auto neighbour = sheets.find({key.denominator, east, north});
      if (neighbour == sheets.end()) continue;
      SheetEdge edge;
      edge.first = files.front();
      edge.second = neighbour->second.front();
      edge.side = side;
      set.edges.push_back(edge);
    }
  }
  // Enclosed along its row and its column: a set whose outline bends (a province's) leaves
  // sheets out on one side only, and those are no holes.
  std::set<SheetKey> acrossRows, acrossColumns;
  for (const auto& [denominator, lines] : rows) Gaps(lines, true, denominator, acrossRows);
  for (const auto& [denominator, lines] : columns) Gaps(lines, false, denominator, acrossColumns);
  for (const SheetKey& key : acrossRows)
    if (acrossColumns.contains(key)) set.holes.push_back(NumberOf(key, scales.at(key.denominator)));
}

void EdgePairing::PairExtents(EdgeSetResult& set, std::vector<bool>& duplicate) {
  std::vector<std::size_t> unnamed;
  for (std::size_t i = 0; i < set.grids.size(); ++i)
    if (!set.grids[i].sheet && set.grids[i].header) unnamed.push_back(i);
  // Copies first, so that only the first of each is paired.
  for (std::size_t x = 0; x < unnamed.size(); ++x) {
    if (duplicate[unnamed[x]]) continue;
    std::vector<std::size_t> copies{unnamed[x]};
    for (std::size_t y = x + 1; y < unnamed.size(); ++y) {
      if (!duplicate[unnamed[y]] &&
          SameGrid(*set.grids[unnamed[x]].header, *set.grids[unnamed[y]].header)) {
        copies.push_back(unnamed[y]);
        duplicate[unnamed[y]] = true;
      }
    }
    if (copies.size() > 1) set.duplicates.push_back(copies);
  }
  std::erase_if(unnamed, [&](std::size_t i) { return duplicate[i]; });
  for (std::size_t x = 0; x < unnamed.size(); ++x)
    for (std::size_t y = x + 1; y < unnamed.size(); ++y) PairByExtent(set, unnamed[x], unnamed[y]);
}

void EdgePairing::PairByExtent(EdgeSetResult& set, std::size_t i, std::size_t j) {
  const Box a = BoxOf(*set.grids[i].header), b = BoxOf(*set.grids[j].header);
  const double near = EdgeGeometry::kCellTolerance * std::min(a.cell, b.cell);
  const double across = std::min(a.east, b.east) - std::max(a.west, b.west);
  const double down = std::min(a.north, b.north) - std::max(a.south, b.south);
  if (across < -near || down < -near) return;
  const bool tall = down >= 0.5 * std::min(a.north - a.south, b.north - b.south);
  const bool wide = across >= 0.5 * std::min(a.east - a.west, b.east - b.west);
  if (tall == wide) return;  // a corner, or one grid over most of the other
  SheetEdge edge;
  edge.side = tall ? SheetEdge::Side::kEast : SheetEdge::Side::kSouth;
  const bool inOrder =
      tall ? a.west + a.east <= b.west + b.east : a.north + a.south >= b.north + b.south;
  edge.first = inOrder ? i : j;
  edge.second = inOrder ? j : i;
  set.edges.push_back(edge);
}

void EdgePairing::FindAlone(EdgeSetResult& set, const std::vector<bool>& duplicate) {
  const std::size_t distinct =
      static_cast<std::size_t>(std::count(duplicate.begin(), duplicate.end(), false));
  if (distinct < 2) return;
  std::vector<bool> paired(set.grids.size(), false);
  for (const SheetEdge& e : set.edges) paired[e.first] = paired[e.second] = true;
  for (std::size_t i = 0; i < set.grids.size(); ++i)
    if (!paired[i] && !duplicate[i]) set.alone.push_back(i);
}

std::vector<std::size_t> EdgePairing::ReadingOrder(const std::vector<EdgeGrid>& grids) {
  // North edge and west edge of each: the sheet's, else the grid's; unreadable files last.
  auto corner = [&](std::size_t i) {
    const EdgeGrid& g = grids[i];
    if (g.sheet) return std::tuple{0, -g.sheet->extent.north, g.sheet->extent.west};
    if (g.header) return std::tuple{1, -g.header->y0, g.header->x0};
    return std::tuple{2, 0.0, 0.0};
  };
  std::vector<std::size_t> order(grids.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return corner(a) < corner(b); });
  return order;
}
