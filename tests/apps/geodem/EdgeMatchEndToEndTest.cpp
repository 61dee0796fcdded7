// geodem check --edges end to end: sheet sets cut by the built geodem sheets from one source
// pass; a sheet re-made from an edited source, shifted by half a cell or missing is found.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "GeodemEndToEnd.h"
#include "GeodemProcess.h"
#include "TestRasters.h"

namespace fs = std::filesystem;

namespace {

constexpr double kCell = 10.0 / 3600;  // 10" cells: a 1:50 000 sheet is 90 x 60 of them

// One edge of the JSON report, as the test needs it.
struct Edge {
  std::string first, second, side, status;
  long cells = 0, differing = 0, noData = 0;
  std::string line;
};

class EdgeMatchEndToEnd : public GeodemEndToEnd {
 protected:
  // 116.0-116.75 E, 39.5-40.0 N: the 3 x 3 sheets J50E001009 to J50E003011 at 1:50 000, heights
  // that tell every cell apart; `edit` changes the cells it is given.
  std::string Source(const std::string& name, double shiftEast = 0,
                     std::function<double(int, int, double)> edit = nullptr) {
    TestRaster r;
    r.width = 270;
    r.height = 180;
    r.type = GDT_Float32;
    r.epsg = 4490;
    r.noData = -9999;
    r.geoTransform = {116.0 + shiftEast * kCell, kCell, 0, 40.0, 0, -kCell};
    r.cell = [edit](int, int x, int y) {
      const double height = 100 + x * 0.25 + y * 0.5;
      return edit ? edit(x, y, height) : height;
    };
    return Write(r, name);
  }

  // The sheets of `source` in DIR at 1:`scale`, as geodem sheets cuts them.
  std::string Sheets(const std::string& source, const std::string& dir, int buffer,
                     const char* scale = "50000") {
    ProcessResult r =
        GeodemProcess::Geodem({"sheets", "--scale", scale, "--buffer", std::to_string(buffer), "-q",
                               "--out-dir", dir, source});
    EXPECT_EQ(r.status, 0) << r.err;
    return dir;
  }

  static std::vector<std::string> Files(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().extension() == ".dem") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
  }

  // Replaces a sheet of the set with the same sheet of another cut (grid and .prj if any).
  static void Replace(const std::string& from, const std::string& to, const std::string& sheet) {
    for (const char* ext : {".dem", ".prj"}) {
      if (!fs::exists(from + "/" + sheet + ext)) continue;
      fs::copy_file(from + "/" + sheet + ext, to + "/" + sheet + ext,
                    fs::copy_options::overwrite_existing);
    }
  }

  static ProcessResult Check(const std::string& dir, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"check", "--edges", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    for (const std::string& f : Files(dir)) args.push_back(f);
    return GeodemProcess::Geodem(args);
  }

  // The value after "key": in a line of JSON (the last one when from_end), quotes taken off.
  static std::string Field(const std::string& line, const std::string& key, bool fromEnd = false) {
    const std::string name = "\"" + key + "\":";
    const std::size_t at = fromEnd ? line.rfind(name) : line.find(name);
    if (at == std::string::npos) return {};
    const std::size_t from = at + name.size();
    if (line[from] == '"') return line.substr(from + 1, line.find('"', from + 1) - from - 1);
    return line.substr(from, line.find_first_of(",}", from) - from);
  }

  // A grid file's sheet number: its name without the folder and ".dem".
  static std::string SheetOf(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    return name.ends_with(".dem") ? name.substr(0, name.size() - 4) : std::string();
  }

  // The edges' lines, one object a line, scanned by hand: std::regex does not build under the
  // sanitized build's warnings as errors.
  static std::vector<Edge> Edges(const std::string& json) {
    std::vector<Edge> edges;
    std::size_t start = json.find("\"edges\":");
    for (std::size_t at = start; at != std::string::npos && at < json.size();) {
      const std::size_t end = json.find('\n', at + 1);
      const std::string line = json.substr(at + 1, end == std::string::npos ? end : end - at - 1);
      at = end;
      if (!line.starts_with("{\"first\":")) continue;
      const std::string first = SheetOf(Field(line, "first")), second = SheetOf(Field(line, "second"));
      const std::string cells = Field(line, "cells", true), differing = Field(line, "differing", true),
                        nodata = Field(line, "nodata_against_height", true);
      if (first.empty() || second.empty() || cells.empty() || differing.empty() || nodata.empty())
        continue;
      edges.push_back({first, second, Field(line, "side"), Field(line, "status"), std::stol(cells),
                       std::stol(differing), std::stol(nodata), line});
    }
    return edges;
  }

  static const Edge* Find(const std::vector<Edge>& edges, const std::string& a,
                          const std::string& b) {
    for (const Edge& e : edges)
      if (e.first == a && e.second == b) return &e;
    return nullptr;
  }

  // The edge set's summary object.
  static std::string Summary(const std::string& json) {
    const std::size_t at = json.find("\"edge_set\":");
    return at == std::string::npos ? "" : json.substr(at, json.find('\n', at) - at);
  }
};

TEST_F(EdgeMatchEndToEnd, SheetsCutFromOneSourcePassWithAndWithoutBuffer) {
  const std::string source = Source("dem.tif");
  // Buffered sheets share 2 x 2 columns (or rows) by the sheets' 60 + 4 rows (90 + 4 columns);
  // sheets cut edge to edge share none: their cells only meet.
  for (auto [buffer, eastCells, southCells] : {std::tuple{2, 4 * 64L, 4 * 94L}, {0, 0L, 0L}}) {
    SCOPED_TRACE(buffer);
    const std::string dir = Sheets(source, dir_ / ("b" + std::to_string(buffer)), buffer);
    ASSERT_EQ(Files(dir).size(), 9u);
    ProcessResult r = Check(dir);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<Edge> edges = Edges(r.out);
    ASSERT_EQ(edges.size(), 12u) << r.out;
    for (const Edge& e : edges) {
      EXPECT_EQ(e.status, "ok") << e.line;
      EXPECT_EQ(e.cells, e.side == "east" ? eastCells : southCells) << e.line;
    }
    ASSERT_NE(Find(edges, "J50E001009", "J50E001010"), nullptr);
    EXPECT_EQ(Find(edges, "J50E001009", "J50E001010")->side, "east");
    ASSERT_NE(Find(edges, "J50E001009", "J50E002009"), nullptr);
    EXPECT_EQ(Find(edges, "J50E001009", "J50E002009")->side, "south");
    EXPECT_NE(Summary(r.out).find("\"status\":\"ok\",\"checked\":12,\"failed\":0"),
              std::string::npos)
        << r.out;
    // As text: a set cut edge to edge says that no cell was compared; -q says nothing of a set
    // that passes.
    std::vector<std::string> args = {"check", "--edges"};
    for (const std::string& f : Files(dir)) args.push_back(f);
    r = GeodemProcess::Geodem(args);
    EXPECT_EQ(r.out.find("only meet, cut edge to edge (no cell compared): 12") != std::string::npos,
              buffer == 0)
        << r.out;
    args.push_back("-q");
    r = GeodemProcess::Geodem(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(EdgeMatchEndToEnd, OneEditedEdgeCellIsFoundAtItsPlaceInBothFiles) {
  const std::string set = Sheets(Source("dem.tif"), dir_ / "set", 2);
  // Column 89 is the last of the first sheet column, row 30 inside the first sheet row: the
  // cell lies in the buffer J50E001009 and J50E001010 share.
  const std::string edited = Source("edited.tif", 0, [](int x, int y, double height) {
    return x == 89 && y == 30 ? height + 5 : height;
  });
  Replace(Sheets(edited, dir_ / "edited", 2), set, "J50E001010");
  ProcessResult r = Check(set);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const std::vector<Edge> edges = Edges(r.out);
  ASSERT_EQ(edges.size(), 12u) << r.out;
  for (const Edge& e : edges) {
    const bool edited = e.first == "J50E001009" && e.second == "J50E001010";
    EXPECT_EQ(e.status, edited ? "differs" : "ok") << e.line;
    EXPECT_EQ(e.differing, edited ? 1 : 0) << e.line;
  }
  // Row 30 + 2 of buffer, from 1; column 89 + 2 in the first file, 89 - 90 + 2 in the second.
  EXPECT_NE(r.out.find("\"largest\":5,\"largest_at\":{\"first\":{\"row\":33,\"column\":92},"
                       "\"second\":{\"row\":33,\"column\":2}}"),
            std::string::npos)
      << r.out;
  // Within a tolerance of 5 m the set passes.
  EXPECT_EQ(Check(set, {"--edge-tolerance", "5"}).status, 0);
  const std::string page = dir_ / "report.html";
  ProcessResult text = GeodemProcess::Geodem(
      {"check", "--edges", "--html", page, set + "/J50E001009.dem", set + "/J50E001010.dem"});
  EXPECT_EQ(text.status, 1);
  // The page's data lists the edge, for its index map and its table.
  std::ifstream in(page);
  const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(html.find("J50E001010.dem\",\"side\":\"east\",\"status\":\"differs\""),
            std::string::npos);
  EXPECT_NE(text.out.find("1 of 256 cells differ, the largest by 5 m at row 33, column 92 and "
                          "row 33, column 2"),
            std::string::npos)
      << text.out;
}

TEST_F(EdgeMatchEndToEnd, NoDataAgainstAHeightIsAFindingOfItsOwn) {
  const std::string set = Sheets(Source("dem.tif"), dir_ / "set", 2);
  const std::string holed = Source("holed.tif", 0, [](int x, int y, double height) {
    return x == 90 && y == 10 ? -9999 : height;
  });
  Replace(Sheets(holed, dir_ / "holed", 2), set, "J50E001009");
  ProcessResult r = Check(set, {"--edge-tolerance", "1000"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const std::vector<Edge> edges = Edges(r.out);  // alive while e points into it
  const Edge* e = Find(edges, "J50E001009", "J50E001010");
  ASSERT_NE(e, nullptr) << r.out;
  EXPECT_EQ(e->status, "differs");
  EXPECT_EQ(e->differing, 0);
  EXPECT_EQ(e->noData, 1);
  EXPECT_NE(e->line.find("\"first_nodata_at\":{\"first\":{\"row\":13,\"column\":93},"
                         "\"second\":{\"row\":13,\"column\":3}}"),
            std::string::npos)
      << e->line;
}

TEST_F(EdgeMatchEndToEnd, ASheetShiftedByHalfACellIsNotAligned) {
  const std::string set = Sheets(Source("dem.tif"), dir_ / "set", 2);
  Replace(Sheets(Source("shifted.tif", 0.5), dir_ / "shifted", 2), set, "J50E002010");
  ProcessResult r = Check(set);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const std::vector<Edge> edges = Edges(r.out);
  ASSERT_EQ(edges.size(), 12u) << r.out;
  int notAligned = 0;
  for (const Edge& e : edges) {
    const bool touches = e.first == "J50E002010" || e.second == "J50E002010";
    EXPECT_EQ(e.status, touches ? "not aligned" : "ok") << e.line;
    notAligned += touches;
    if (touches) {
      EXPECT_NE(e.line.find("0.5 of a cell"), std::string::npos) << e.line;
    }
  }
  EXPECT_EQ(notAligned, 4);
}

TEST_F(EdgeMatchEndToEnd, AMissingSheetInTheMiddleIsAHole) {
  const std::string set = Sheets(Source("dem.tif"), dir_ / "set", 0);
  fs::remove(set + "/J50E002010.dem");
  ProcessResult r = Check(set);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_EQ(Edges(r.out).size(), 8u) << r.out;
  EXPECT_NE(Summary(r.out).find("\"failed\":0,\"tolerance\":0,\"holes\":[\"J50E002010\"],"
                                "\"alone\":[],\"duplicates\":[]"),
            std::string::npos)
      << r.out;
  ProcessResult text = GeodemProcess::Geodem({"check", "--edges", set + "/J50E001009.dem",
                                              set + "/J50E003011.dem", set + "/J50E001009.dem"});
  EXPECT_EQ(text.status, 1);
  for (const char* expected :
       {"J50E001009.dem: no neighbour in the set", "J50E003011.dem: no neighbour in the set",
        "given more than once (only the first is matched)"})
    EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
}

TEST_F(EdgeMatchEndToEnd, AGaussKrugerSetPasses) {
  // 114-115 E, 38-38.67 N at 1:100 000 (J50D005001 to J50D006002), 200 m cells of EPSG:4547.
  TestRaster r;
  r.epsg = 4547;
  r.noData = -9999;
  r.geoTransform = {498000, 200, 0, 4284000, 0, -200};
  r.width = 460;
  r.height = 395;
  r.cell = [](int, int x, int y) { return 500 + x * 0.5 - y * 0.25; };
  const std::string dir = Sheets(Write(r, "gk.tif"), dir_ / "gk", 3, "100000");
  std::vector<std::string> args = {"check", "--edges", "--json"};
  for (const char* sheet : {"J50D005001", "J50D005002", "J50D006001", "J50D006002"})
    args.push_back(dir + "/" + sheet + ".dem");
  ProcessResult result = GeodemProcess::Geodem(args);
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  const std::vector<Edge> edges = Edges(result.out);
  ASSERT_EQ(edges.size(), 4u) << result.out;
  for (const Edge& e : edges) {
    EXPECT_EQ(e.status, "ok") << e.line;
    EXPECT_GT(e.cells, 0) << e.line;
  }
}

TEST_F(EdgeMatchEndToEnd, TheReportsOfSheetsAndBatchMatchTheDoneTiles) {
  const std::string set = Sheets(Source("dem.tif"), dir_ / "set", 2);
  ProcessResult sheets = GeodemProcess::Geodem({"sheets", "--report", set, "--edges"});
  EXPECT_EQ(sheets.status, 0) << sheets.out << sheets.err;
  EXPECT_NE(sheets.out.find("edges checked: 12 (tolerance 0 m); failing: 0;"), std::string::npos)
      << sheets.out;
  const std::string edited = Source("edited.tif", 0, [](int x, int y, double height) {
    return x == 89 && y == 30 ? height + 5 : height;
  });
  Replace(Sheets(edited, dir_ / "edited", 2), set, "J50E001010");
  ProcessResult batch = GeodemProcess::Geodem({"batch", "--report", set, "--edges", "--json"});
  EXPECT_EQ(batch.status, 1) << batch.out << batch.err;
  const std::vector<Edge> edges = Edges(batch.out);  // alive while e points into it
  const Edge* e = Find(edges, "J50E001009", "J50E001010");
  ASSERT_NE(e, nullptr) << batch.out;
  EXPECT_EQ(e->differing, 1);
  EXPECT_EQ(Edges(batch.out).size(), 12u);
}

TEST_F(EdgeMatchEndToEnd, CommandLineRefusals) {
  for (const auto& [args, word] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"check", "--edge-tolerance", "1", "a.dem"}, "--edges"},
           {{"check", "--edges", "--edge-tolerance", "-1", "a.dem"}, "--edge-tolerance"},
           {{"check", "--edges", "--edge-tolerance", "1m", "a.dem"}, "--edge-tolerance"},
           {{"batch", "--edges", "--out-dir", "out", "a.tif"}, "--report"},
           {{"sheets", "--edges", "--scale", "50000", "--out-dir", "out", "a.tif"}, "--report"},
           {{"sheets", "--report", "out", "--edge-tolerance", "1"}, "--edges"}}) {
    ProcessResult r = GeodemProcess::Geodem(args);
    EXPECT_EQ(r.status, 2) << args[1];
    EXPECT_NE(r.err.find(word), std::string::npos) << r.err;
  }
}

}  // namespace
