// Whole runs of the DEM writer: source rasters cut into blocks the way the host cuts them, written
// through the raster pipeline, converted into grid files, and the files compared with text
// computed here from the source pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "HVXOWRITER/HVXORasterWriterBase/RasterFixtures.h"
#include "support/EventCapture.h"
#include "support/TempDir.h"

namespace {

constexpr double kInvalid = -9999;

struct Source {
  std::string name;
  double originX, originY;  // upper-left corner; 10 x 10 pixels
  int width, height;
  std::vector<float> cells;  // row after row

  float At(int row, int column) const {
    return cells[static_cast<std::size_t>(row) * width + column];
  }
};

Source MakeSource(const std::string& name, double x, double y, int width, int height, float base) {
  Source s{name, x, y, width, height, {}};
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) s.cells.push_back(base + r * 1.25f - c * 0.375f);
  s.cells[1] = static_cast<float>(kInvalid);  // one no-data cell in every source
  return s;
}

// Tiles of tile x tile cells, each delivered with up to `margin` cells of its neighbours around it,
// named after the source unless another name is given, announcing -9999 as the invalid value
// unless told not to.
std::vector<ComPtr<RasterBlock>> CutIntoBlocks(const Source& s, int tile, int margin,
                                               const std::string& name = "",
                                               bool announceInvalid = true) {
  int count = ((s.width + tile - 1) / tile) * ((s.height + tile - 1) / tile);
  auto props = MakeProperties({{"BlocksNum", std::to_string(count)},
                               {"WinSizeX", std::to_string(2 * margin)},
                               {"WinSizeY", std::to_string(2 * margin)},
                               {"BandCount", "1"}});
  if (announceInvalid) {
    props->AddItem(u"InvalidData");
    props->AddItem(u"-9999");
  }
  std::vector<ComPtr<RasterBlock>> blocks;
  for (int ty = 0; ty < s.height; ty += tile) {
    for (int tx = 0; tx < s.width; tx += tile) {
      int x0 = std::max(tx - margin, 0), y0 = std::max(ty - margin, 0);
      int x1 = std::min(tx + tile + margin, s.width), y1 = std::min(ty + tile + margin, s.height);
      BlockGeometry g{x1 - x0, y1 - y0, 1, s.originX + x0 * 10, s.originY - y0 * 10, 10, -10};
      TestBlock b = MakeFloatBlock(name.empty() ? s.name : name, g,
                                   [&](int, int r, int c) { return s.At(y0 + r, x0 + c); });
      b.block->SetProperties(props);
      blocks.push_back(b.block);
    }
  }
  return blocks;
}

// The integer a cell is written as.
long Encode(float v, int zoom, double noData) {
  if (std::fabs(static_cast<double>(v) - kInvalid) < 1e-8) return static_cast<long>(noData);
  double p = static_cast<double>(v) * zoom;
  return v > 0 ? static_cast<long>(p + 0.5) : v < 0 ? static_cast<long>(p - 0.5) : 0;
}

std::string Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Line(const char* format, ...) {
  char buf[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return std::string(buf) + "\r\n";
}

// A grid file of rows x cols cells given by cell(row, column).
template <class Cell>
std::string ExpectedGrid(const std::string& version, double x0, double y0, int rows, int cols,
                         Cell cell) {
  std::string t;
  if (version == "GRD_2007") {
    t += Line("DataMark: CNSDTF-DEM") + Line("Version: GB/T17798-2007") + Line("Alpha: 0.000000") +
         Line("Compress: 0") + Line("X0: %lf", x0) + Line("Y0: %lf", y0) + Line("DX: %lf", 10.0) +
         Line("DY: %lf", 10.0) + Line("Row: %d", rows) + Line("Col: %d", cols) +
         Line("ValueType: Integer") + Line("Hzoom: 100") + Line("XYUnit: M") + Line("ZUnit: M");
  } else {
    t += Line("NSDTF-DEM") + Line("1.0") + Line("M") + Line("0.0") + Line("0.0") + Line("%lf", x0) +
         Line("%lf", y0) + Line("%lf", 10.0) + Line("%lf", 10.0) + Line("%d", rows) +
         Line("%d", cols) + Line("100");
  }
  t += "\r\n";
  int perLine = std::min(cols, 10);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      t += "   " + std::to_string(Encode(cell(r, c), 100, -99999)) + " ";
      if ((c + 1) % perLine == 0) t += "\r\n";
    }
    t += "\r\n";
  }
  return t;
}

class WholeRun : public testing::Test {
 protected:
  // The writer object's road for one target: open, every block, close.
  void OpenTarget(const std::string& target, const std::vector<Source>& sources) {
    std::vector<SourceSpec> specs;
    for (const Source& s : sources)
      specs.push_back({s.name, GDT_Float32, 1, s.width, s.height, s.originX, s.originY, 10, -10});
    bool mosaic = sources.size() > 1 && IsFileType(target, "dem") == 1;
    ASSERT_EQ(OpenTestTarget(writer, target, specs, mosaic ? 1 : 0), 0);
  }
  void WriteBlocks(const std::vector<ComPtr<RasterBlock>>& blocks) {
    for (const auto& b : blocks) {
      writer.driverName = "HFA";
      writer.overwrite = writer.demParameters.overwriteFiles;
      ASSERT_EQ(writer.WriteBlock(b.Get(), second.Get()), S_OK);
      writer.ReportProgress();
    }
  }
  int CloseTarget() {
    writer.CloseTargets();
    if (writer.mosaicMode == 1) {
      for (const std::string& t : writer.targetList)
        EXPECT_EQ(writer.WriteFormatFile(t.substr(0, t.size() - 4), t), 1);
    }
    int r = writer.ReportOutputStatistics();
    writer.ResetJob();
    return r;
  }

  HVXOGEODEMWriter writer;
  TempDir dir;
  ComPtr<IPropertySet> second = MakeProperties({});
  EventCapture events;
};

TEST_F(WholeRun, TwoSourcesOneFileEach) {
  Source north = MakeSource("/in/north.tif", 100, 900, 13, 9, 20.5f);
  Source south = MakeSource("/in/south.tif", 100, 810, 13, 7, -4.25f);
  OpenTarget(dir.Path().string() + "/", {north, south});
  ASSERT_EQ(writer.mosaicMode, 0);
  WriteBlocks(CutIntoBlocks(north, 4, 1));
  // The first source is converted as soon as its last block has arrived.
  EXPECT_TRUE(std::filesystem::exists(dir / "north.dem"));
  EXPECT_FALSE(std::filesystem::exists(dir / "north.dem.tmp"));
  WriteBlocks(CutIntoBlocks(south, 5, 2));
  EXPECT_EQ(CloseTarget(), 0);

  for (const Source* s : {&north, &south}) {
    std::string file = dir / (SplitPath(s->name).fname + ".dem");
    EXPECT_EQ(TempDir::ReadFile(file),
              ExpectedGrid("GEODEM", s->originX, s->originY, s->height, s->width,
                           [&](int r, int c) { return s->At(r, c); }))
        << file;
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
  }
  // The statistics: both targets, every block received and written.
  std::vector<std::string> texts = events.LogTexts();
  ASSERT_EQ(texts.size(), 18u);
  EXPECT_EQ(texts[2], "目标数据集：" + dir / "north.dem");
  EXPECT_EQ(texts[6], "north                           12        12        0         ");
  EXPECT_EQ(texts[14], "south                           6         6         0         ");
}

TEST_F(WholeRun, TwoSourcesMosaickedWithUncoveredCellsInvalid) {
  // South-east of the first source and two rows lower: the union has corners no source covers.
  Source west = MakeSource("/in/west.tif", 100, 900, 7, 5, 3.5f);
  Source east = MakeSource("/in/east.tif", 170, 880, 7, 5, 150.75f);
  writer.demParameters.version = "GRD_2007";
  OpenTarget(dir / "area.dem", {west, east});
  ASSERT_EQ(writer.mosaicMode, 1);
  WriteBlocks(CutIntoBlocks(west, 3, 1));
  WriteBlocks(CutIntoBlocks(east, 4, 0));
  EXPECT_FALSE(std::filesystem::exists(dir / "area.dem"));  // converted when the target closes
  EXPECT_EQ(CloseTarget(), 0);

  auto cell = [&](int r, int c) {
    if (c < 7 && r < 5) return west.At(r, c);
    if (c >= 7 && r >= 2) return east.At(r - 2, c - 7);
    return static_cast<float>(kInvalid);
  };
  EXPECT_EQ(TempDir::ReadFile(dir / "area.dem"), ExpectedGrid("GRD_2007", 100, 900, 7, 14, cell));
  EXPECT_FALSE(std::filesystem::exists(dir / "area.dem.tmp"));
  // A mosaic's progress span is the first source's block count times the number of sources; the
  // block events come before the grid writer's own.
  ASSERT_FALSE(events.progress.empty());
  EXPECT_EQ(events.progress[0].done, 10);
  EXPECT_EQ(events.progress[0].total, 12);
  EXPECT_EQ(events.progress[0].Utf8(), "已输出对象：83% ");
}

// Two halves of one DEM, the second warped onto the whole extent with a no-data collar over the
// first half (as warping tools leave it) and overlapping it by two columns: whichever comes first,
// the collar erases nothing, and where both hold data the later piece wins.
TEST_F(WholeRun, MosaicCollarsNeverEraseWrittenCells) {
  Source west = MakeSource("/in/west.tif", 100, 900, 8, 6, 3.5f);
  Source warped = MakeSource("/in/warped.tif", 100, 900, 14, 6, 3.5f);
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 14; ++c) {
      float& cell = warped.cells[static_cast<std::size_t>(r) * 14 + c];
      cell = c < 6 ? static_cast<float>(kInvalid) : cell + (c < 8 ? 0.5f : 0.0f);
    }
  }
  west.cells[20] = static_cast<float>(kInvalid);  // a hole only the warped piece cannot fill
  const std::vector<const Source*> orders[] = {{&west, &warped}, {&warped, &west}};
  for (const auto& order : orders) {
    const std::string target = dir / ("area_" + SplitPath(order[0]->name).fname + ".dem");
    OpenTarget(target, {*order[0], *order[1]});
    ASSERT_EQ(writer.mosaicMode, 1);
    for (const Source* piece : order) WriteBlocks(CutIntoBlocks(*piece, 4, 1));
    EXPECT_EQ(CloseTarget(), 0);
    auto cell = [&](int r, int c) {
      float value = static_cast<float>(kInvalid);
      for (const Source* piece : order) {
        if (c < piece->width && piece->At(r, c) != static_cast<float>(kInvalid))
          value = piece->At(r, c);
      }
      return value;
    };
    EXPECT_EQ(TempDir::ReadFile(target), ExpectedGrid("GEODEM", 100, 900, 6, 14, cell))
        << order[0]->name << " first";
  }
}

// Blocks that announce no invalid value: the cells no piece covers hold the type's invalid value,
// which the grid must write as no data, not as a height of -3.4e38 m.
TEST_F(WholeRun, MosaicWithoutInvalidDataWritesUncoveredCellsAsNoData) {
  Source west = MakeSource("/in/west.tif", 100, 900, 7, 5, 3.5f);
  Source east = MakeSource("/in/east.tif", 170, 880, 7, 5, 150.75f);
  west.cells[1] = east.cells[1] = 42;  // without an invalid value, -9999 would be a height
  writer.invalidData.clear();
  OpenTarget(dir / "area.dem", {west, east});
  WriteBlocks(CutIntoBlocks(west, 3, 1, "", false));
  WriteBlocks(CutIntoBlocks(east, 4, 0, "", false));
  EXPECT_EQ(CloseTarget(), 0);
  auto cell = [&](int r, int c) {
    if (c < 7 && r < 5) return west.At(r, c);
    if (c >= 7 && r >= 2) return east.At(r - 2, c - 7);
    return static_cast<float>(kInvalid);
  };
  EXPECT_EQ(TempDir::ReadFile(dir / "area.dem"), ExpectedGrid("GEODEM", 100, 900, 7, 14, cell));
}

// Some hosts name every block after the mosaic target: each is trimmed by the source that holds
// it, so a source's own edges inside the mosaic keep their cells.
TEST_F(WholeRun, MosaicBlocksNamedAfterTheTargetAreTrimmedByTheirOwnSource) {
  Source west = MakeSource("/in/west.tif", 100, 900, 7, 5, 3.5f);
  Source east = MakeSource("/in/east.tif", 170, 900, 9, 5, 150.75f);
  const std::string target = dir / "area.dem";
  OpenTarget(target, {west, east});
  WriteBlocks(CutIntoBlocks(west, 3, 1, target));
  WriteBlocks(CutIntoBlocks(east, 4, 1, target));
  EXPECT_EQ(CloseTarget(), 0);
  auto cell = [&](int r, int c) { return c < 7 ? west.At(r, c) : east.At(r, c - 7); };
  EXPECT_EQ(TempDir::ReadFile(target), ExpectedGrid("GEODEM", 100, 900, 5, 16, cell));
}

}  // namespace
