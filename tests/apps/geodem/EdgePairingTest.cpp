// Which files of a set are neighbours and where their grids share cells, from headers alone.
#include <gtest/gtest.h>

#include "apps/geodem/edgematch/EdgeGeometry.h"
#include "apps/geodem/edgematch/EdgePairing.h"
#include "apps/geodem/gridcheck/SheetCoverage.h"

namespace {

GridHeader Header(double x0, double y0, int cols, int rows, double cell = 1) {
  GridHeader h;
  h.x0 = x0;
  h.y0 = y0;
  h.dx = h.dy = cell;
  h.cols = cols;
  h.rows = rows;
  return h;
}

EdgeGrid Grid(const std::string& path, std::optional<GridHeader> header) {
  EdgeGrid g;
  g.path = path;
  g.header = header;
  std::string notSheet;
  g.sheet = SheetCoverage::Named(path, notSheet);
  return g;
}

TEST(EdgeGeometry, AlignmentAndTheSharedWindowsInBothGrids) {
  struct Case {
    const char* what;
    GridHeader second;
    SheetEdge::Side side;
    SheetEdge::Status status;
    EdgeWindow inFirst, inSecond;
  };
  const GridHeader first = Header(100, 200, 10, 8);
  for (const Case& c : std::vector<Case>{
           {"overlap of 2 columns",
            Header(108, 200, 10, 8),
            SheetEdge::Side::kEast,
            SheetEdge::Status::kOk,
            {0, 8, 8, 2},
            {0, 0, 8, 2}},
           {"overlap, second starts a row lower",
            Header(108, 199, 10, 8),
            SheetEdge::Side::kEast,
            SheetEdge::Status::kOk,
            {1, 8, 7, 2},
            {0, 0, 7, 2}},
           {"south overlap of 3 rows",
            Header(100, 195, 10, 8),
            SheetEdge::Side::kSouth,
            SheetEdge::Status::kOk,
            {5, 0, 3, 10},
            {0, 0, 3, 10}},
           {"edge to edge east",
            Header(110, 200, 10, 8),
            SheetEdge::Side::kEast,
            SheetEdge::Status::kOk,
            {},
            {}},
           {"edge to edge south",
            Header(100, 192, 10, 8),
            SheetEdge::Side::kSouth,
            SheetEdge::Status::kOk,
            {},
            {}},
           {"a gap of a column",
            Header(111, 200, 10, 8),
            SheetEdge::Side::kEast,
            SheetEdge::Status::kApart,
            {},
            {}},
           {"half a cell east",
            Header(110.5, 200, 10, 8),
            SheetEdge::Side::kEast,
            SheetEdge::Status::kNotAligned,
            {},
            {}},
           {"a quarter cell north",
            Header(100, 192.25, 10, 8),
            SheetEdge::Side::kSouth,
            SheetEdge::Status::kNotAligned,
            {},
            {}},
           {"the same place",
            Header(100, 200, 10, 8),
            SheetEdge::Side::kEast,
            SheetEdge::Status::kOverlaps,
            {},
            {}},
           {"another cell size",
            Header(110, 200, 5, 4, 2),
            SheetEdge::Side::kEast,
            SheetEdge::Status::kNotAligned,
            {},
            {}},
       }) {
    SheetEdge edge;
    edge.side = c.side;
    EdgeGeometry::Place(first, c.second, edge);
    EXPECT_EQ(edge.status, c.status) << c.what << ": " << edge.why;
    for (auto [got, want] : {std::pair{edge.inFirst, c.inFirst}, {edge.inSecond, c.inSecond}}) {
      EXPECT_EQ(got.row, want.row) << c.what;
      EXPECT_EQ(got.column, want.column) << c.what;
      EXPECT_EQ(got.rows, want.rows) << c.what;
      EXPECT_EQ(got.columns, want.columns) << c.what;
    }
  }
}

TEST(EdgePairing, SheetNeighboursHolesLoneSheetsAndRepeats) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    std::size_t edges;
    std::vector<std::string> holes;
    std::size_t alone, duplicates;
  };
  const GridHeader any = Header(0, 0, 1, 1);
  for (const Case& c : std::vector<Case>{
           {"a row of three", {"J50E001009", "J50E001010", "J50E001011"}, 2, {}, 0, 0},
           {"a column of two", {"J50E001009", "J50E002009"}, 1, {}, 0, 0},
           {"diagonal only", {"J50E001009", "J50E002010"}, 0, {}, 2, 0},
           {"the middle of a row missing", {"J50E001009", "J50E001011"}, 0, {}, 2, 0},
           {"a bay open to the north",
            {"J50E001009", "J50E001011", "J50E002009", "J50E002010", "J50E002011"},
            4,
            {},
            0,
            0},
           {"a ring of eight",
            {"J50E001009", "J50E001010", "J50E001011", "J50E002009", "J50E002011", "J50E003009",
             "J50E003010", "J50E003011"},
            8,
            {"J50E002010"},
            0,
            0},
           {"across 1:1 000 000 sheets", {"J50E001024", "J51E001001"}, 1, {}, 0, 0},
           {"one sheet twice", {"J50E001009", "a/J50E001009", "J50E001010"}, 1, {}, 0, 1},
           {"one file alone", {"J50E001009"}, 0, {}, 0, 0},
           {"scales apart", {"J50E001009", "J50D001005"}, 0, {}, 2, 0},
       }) {
    EdgeSetResult set;
    for (const std::string& name : c.names) set.grids.push_back(Grid(name + ".dem", any));
    EdgePairing::Run(set);
    EXPECT_EQ(set.edges.size(), c.edges) << c.what;
    EXPECT_EQ(set.holes, c.holes) << c.what;
    EXPECT_EQ(set.alone.size(), c.alone) << c.what;
    EXPECT_EQ(set.duplicates.size(), c.duplicates) << c.what;
  }
}

TEST(EdgePairing, UnnamedGridsPairByTheirExtents) {
  EdgeSetResult set;
  // a | b side by side with a column of overlap, c below a edge to edge, d over a corner of b
  // only, e a copy of a.
  set.grids = {Grid("b.dem", Header(9, 10, 10, 10)), Grid("a.dem", Header(0, 10, 10, 10)),
               Grid("c.dem", Header(0, 0, 10, 10)), Grid("d.dem", Header(19, 0, 10, 10)),
               Grid("e.dem", Header(0, 10, 10, 10))};
  EdgePairing::Run(set);
  ASSERT_EQ(set.edges.size(), 2u);
  EXPECT_EQ(set.edges[0].first, 1u);  // a west of b
  EXPECT_EQ(set.edges[0].second, 0u);
  EXPECT_EQ(set.edges[0].side, SheetEdge::Side::kEast);
  EXPECT_EQ(set.edges[1].first, 1u);  // a north of c
  EXPECT_EQ(set.edges[1].second, 2u);
  EXPECT_EQ(set.edges[1].side, SheetEdge::Side::kSouth);
  EXPECT_EQ(set.alone, std::vector<std::size_t>{3});
  ASSERT_EQ(set.duplicates.size(), 1u);
  EXPECT_EQ(set.duplicates[0], (std::vector<std::size_t>{1, 4}));
}

}  // namespace
