#include <gtest/gtest.h>

#include <cfloat>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "RasterFixtures.h"
#include "RecordingWriter.h"
#include "host/HVXRasterBase.h"
#include "support/EventCapture.h"
#include "support/TempDir.h"

namespace {

// Cell values that tell band, row and column of the target apart.
float Cell(int band, int row, int column) {
  return static_cast<float>(band * 100000 + row * 1000 + column);
}

class BlockWriting : public testing::Test {
 protected:
  // One width x height source of Float32 at (0, height), 1 x 1 pixels, written to dir/a.dem.
  void Open(int width, int height, int bands = 1) {
    height_ = height;
    ASSERT_EQ(OpenTestTarget(writer, final_,
                             {{"src", GDT_Float32, bands, width, height, 0, double(height)}}, 0),
              0);
  }
  // A block of the target's cells (columns x rows from column x, row y).
  TestBlock Block(int x, int y, int columns, int rows, int bands = 1) {
    BlockGeometry g{columns, rows, bands, double(x), double(height_ - y), 1, -1};
    return MakeFloatBlock(final_, g, [&](int b, int r, int c) { return Cell(b, y + r, x + c); });
  }
  HRESULT Write(const TestBlock& block) {
    return writer.WriteBlock(block.block.Get(), second.Get());
  }
  SourceRecord& Record() { return writer.sourceTable.begin()->second; }

  RecordingWriter writer;
  TempDir dir;
  std::string final_ = dir / "a.dem";
  int height_ = 0;
  ComPtr<IPropertySet> second = MakeProperties({});
  EventCapture events;
};

TEST_F(BlockWriting, PlacedByItsCoordinatesWithoutCopyingThePixels) {
  ASSERT_EQ(OpenTestTarget(writer, final_, {{"src", GDT_Float32, 1, 50, 50, 100, 900, 10, -10}}, 0),
            0);
  TestBlock t = MakeFloatBlock(final_, {5, 5, 1, 200, 800, 10, -10},
                               [](int, int r, int c) { return r * 10 + c; });
  writer.blocksNum = 7;
  ASSERT_EQ(Write(t), S_OK);
  ASSERT_EQ(writer.datasetWrites.size(), 1u);
  const DatasetWrite& w = writer.datasetWrites[0];
  EXPECT_EQ(w.x, 10);
  EXPECT_EQ(w.y, 10);
  EXPECT_EQ(w.columns, 5);
  EXPECT_EQ(w.rows, 5);
  EXPECT_EQ(w.bandSpace, 0);
  EXPECT_EQ(w.buffer, reinterpret_cast<unsigned char*>(t.pixels));  // the host's own array
  EXPECT_EQ(writer.blocksNum, 7);  // no properties: the count stays
  EXPECT_EQ(ReadBand(Record().dataset, 1)[12 * 50 + 13], 23.0f);
}

TEST_F(BlockWriting, InteriorBlockLosesHalfItsWindowOnEverySide) {
  Open(1024, 1024, 2);
  writer.passThrough = false;
  TestBlock t = Block(254, 254, 260, 260, 2);
  t.block->SetProperties(
      MakeProperties({{"BlocksNum", "16"}, {"WinSizeX", "5"}, {"WinSizeY", "5"}}));
  ASSERT_EQ(Write(t), S_OK);
  EXPECT_TRUE(writer.datasetWrites.empty());
  ASSERT_EQ(writer.bandWrites.size(), 2u * 256);
  auto* base = reinterpret_cast<unsigned char*>(t.pixels);
  for (std::size_t i = 0; i < writer.bandWrites.size(); ++i) {
    const BandWrite& w = writer.bandWrites[i];
    int band = static_cast<int>(i / 256);
    int row = 256 + static_cast<int>(i % 256);
    EXPECT_EQ(w.band, band + 1);
    EXPECT_EQ(w.y, row);
    EXPECT_EQ(w.x, 256);
    EXPECT_EQ(w.columns, 256);
    EXPECT_EQ(w.rows, 1);
    EXPECT_EQ(w.buffer, base + (band * 260 * 260 + (row - 254) * 260 + 2) * 4);
  }
}

TEST_F(BlockWriting, EdgeBlocksAreTrimmedOnlyOnTheirInteriorSides) {
  Open(1024, 1024);
  writer.passThrough = false;
  auto windows = MakeProperties({{"WinSizeX", "5"}, {"WinSizeY", "5"}});
  // Block offset, then the first column and row written and the last row.
  struct Case {
    int at, first, last;
  } cases[] = {{0, 0, 257}, {764, 766, 1023}};
  for (const Case& c : cases) {
    writer.bandWrites.clear();
    TestBlock t = Block(c.at, c.at, 260, 260);
    t.block->SetProperties(windows);
    ASSERT_EQ(Write(t), S_OK);
    ASSERT_EQ(writer.bandWrites.size(), 258u) << c.at;
    EXPECT_EQ(writer.bandWrites.front().x, c.first);
    EXPECT_EQ(writer.bandWrites.front().y, c.first);
    EXPECT_EQ(writer.bandWrites.front().columns, 258);
    EXPECT_EQ(writer.bandWrites.back().y, c.last);
  }

  TestBlock whole = Block(0, 0, 1024, 1024);  // nothing to trim: one write
  whole.block->SetProperties(windows);
  ASSERT_EQ(Write(whole), S_OK);
  EXPECT_EQ(writer.datasetWrites.size(), 1u);
}

TEST_F(BlockWriting, FourthOfFourBlocksClosesConvertsAndCounts) {
  Open(50, 50, 2);
  auto props = MakeProperties({{"BlocksNum", "4"}, {"InvalidData", "-9999|-8888"}});
  int corners[4][2] = {{0, 0}, {25, 0}, {0, 25}, {25, 25}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(writer.conversions.empty());
    TestBlock t = Block(corners[i][0], corners[i][1], 25, 25, 2);
    t.block->SetProperties(props);
    ASSERT_EQ(Write(t), S_OK);
  }
  EXPECT_EQ(writer.conversions,
            (std::vector<std::pair<std::string, std::string>>{{final_, final_ + ".tmp"}}));
  EXPECT_EQ(Record().dataset, nullptr);
  EXPECT_EQ(writer.lastStatus, 1);
  EXPECT_EQ(writer.invalidData, (std::vector<double>{-9999, -8888}));
  const ClassCounts& counts = writer.outputStatistics[final_][final_];
  EXPECT_EQ(counts.total, 4);
  EXPECT_EQ(counts.output, 4);

  // The finished temporary raster holds every block where it belongs.
  GDALDatasetH ds = GDALOpen((final_ + ".tmp").c_str(), GA_ReadOnly);
  ASSERT_NE(ds, nullptr);
  for (int b = 0; b < 2; ++b) {
    std::vector<float> cells = ReadBand(ds, b + 1);
    ASSERT_EQ(cells.size(), 2500u);
    for (int r = 0; r < 50; ++r)
      for (int c = 0; c < 50; ++c) ASSERT_EQ(cells[r * 50 + c], Cell(b, r, c)) << r << "," << c;
  }
  int has = 0;
  EXPECT_EQ(GDALGetRasterNoDataValue(GDALGetRasterBand(ds, 2), &has), -8888);
  GDALClose(ds);
}

TEST_F(BlockWriting, AFailedConversionOfACompletedSourceIsSaid) {
  Open(10, 10);
  writer.conversionResult = 0;
  TestBlock t = Block(0, 0, 10, 10);
  t.block->SetProperties(MakeProperties({{"BlocksNum", "1"}}));
  EventCapture events;
  EXPECT_EQ(Write(t), E_FAIL);  // the block was written, but not the grid file
  EXPECT_EQ(writer.lastStatus, 0);
  ASSERT_EQ(events.logs.size(), 1u);
  EXPECT_EQ(events.logs[0].Gbk(), FormatGbk("输出目标数据集%s失败", final_.c_str()));
  EXPECT_EQ(events.logs[0].code, 0x20198u);
  EXPECT_EQ(events.logs[0].level, 2);
  // The statistics must not show the grid file that failed as output.
  const ClassCounts& counts = writer.outputStatistics[final_][final_];
  EXPECT_EQ(counts.total, 1);
  EXPECT_EQ(counts.output, 0);
}

TEST_F(BlockWriting, ProgressEveryTenthBlock) {
  Open(5, 5);
  writer.passThrough = false;
  auto props = MakeProperties({{"BlocksNum", "25"}});
  for (int i = 0; i < 25; ++i) {
    TestBlock t = Block(i % 5, i / 5, 1, 1);
    t.block->SetProperties(props);
    ASSERT_EQ(Write(t), S_OK);
    EXPECT_EQ(writer.ReportProgress(), 0);
  }
  ASSERT_EQ(events.progress.size(), 2u);
  EXPECT_EQ(events.progress[0].done, 10);
  EXPECT_EQ(events.progress[0].total, 25);
  EXPECT_EQ(events.progress[0].Utf8(), "已输出对象：40% ");
  EXPECT_EQ(events.progress[0].code, 0x20102u);
  EXPECT_EQ(events.progress[0].reserved, 0);
  EXPECT_EQ(events.progress[1].Utf8(), "已输出对象：80% ");
  EXPECT_EQ(writer.conversions.size(), 1u);

  events.Clear();
  writer.progressOutput = 0;
  writer.blocksWritten = 30;
  writer.ReportProgress();
  EXPECT_TRUE(events.progress.empty());
}

TEST_F(BlockWriting, MosaicProgressCountsEverySource) {
  ASSERT_EQ(OpenTestTarget(writer, final_,
                           {{"a", GDT_Float32, 1, 5, 5, 0, 5},
                            {"b", GDT_Float32, 1, 5, 5, 5, 5},
                            {"c", GDT_Float32, 1, 5, 5, 10, 5}},
                           1),
            0);
  auto props = MakeProperties({{"BlocksNum", "25"}});
  for (int i = 0; i < 10; ++i) {
    BlockGeometry g{1, 1, 1, double(i % 5), double(5 - i / 5), 1, -1};
    TestBlock t = MakeFloatBlock("b", g, [](int, int, int) { return 1; });
    t.block->SetProperties(props);
    ASSERT_EQ(Write(t), S_OK);
    writer.ReportProgress();
  }
  ASSERT_EQ(events.progress.size(), 1u);
  EXPECT_EQ(events.progress[0].total, 75);
  EXPECT_EQ(events.progress[0].Utf8(), "已输出对象：13% ");
  EXPECT_TRUE(writer.conversions.empty());  // a mosaic is converted when the target closes
}

TEST_F(BlockWriting, MosaicTargetIsSharedAndClosedOnce) {
  ASSERT_EQ(
      OpenTestTarget(writer, final_,
                     {{"a", GDT_Float32, 1, 4, 2, 0, 2}, {"b", GDT_Float32, 1, 4, 2, 6, 2}}, 1),
      0);
  auto a = MakeFloatBlock("a", {4, 2, 1, 0, 2, 1, -1}, [](int, int, int) { return 1; });
  auto b = MakeFloatBlock("b", {4, 2, 1, 6, 2, 1, -1}, [](int, int, int) { return 2; });
  ASSERT_EQ(Write(a), S_OK);
  ASSERT_EQ(Write(b), S_OK);
  ASSERT_EQ(writer.sourceTable.size(), 2u);
  GDALDatasetH shared = writer.sourceTable["A"].dataset;
  EXPECT_EQ(writer.sourceTable["B"].dataset, shared);
  std::vector<float> cells = ReadBand(shared, 1);
  std::vector<float> row = {1, 1, 1, 1, -FLT_MAX, -FLT_MAX, 2, 2, 2, 2};
  EXPECT_EQ(std::vector<float>(cells.begin(), cells.begin() + 10), row);
  EXPECT_EQ(writer.CloseTargets(), S_OK);
  EXPECT_EQ(writer.sourceTable["B"].dataset, nullptr);
}

TEST_F(BlockWriting, ResetWithAnOpenMosaicClosesItOnce) {
  ASSERT_EQ(
      OpenTestTarget(writer, final_,
                     {{"a", GDT_Float32, 1, 4, 2, 0, 2}, {"b", GDT_Float32, 1, 4, 2, 6, 2}}, 1),
      0);
  ASSERT_EQ(Write(MakeFloatBlock("a", {4, 2, 1, 0, 2, 1, -1}, [](int, int, int) { return 1; })),
            S_OK);
  writer.ResetJob();  // without CloseTargets: the shared raster must not be closed twice
  EXPECT_TRUE(writer.sourceTable.empty());
  GDALDatasetH ds = GDALOpen((final_ + ".tmp").c_str(), GA_ReadOnly);
  ASSERT_NE(ds, nullptr);
  EXPECT_EQ(ReadBand(ds, 1)[0], 1.0f);
  GDALClose(ds);
}

TEST_F(BlockWriting, MosaicSourceKeepsItsEdgeCellsInsideTheUnion) {
  // Two 4 x 4 sources side by side make an 8 x 4 union; the first's right edge is inside it.
  ASSERT_EQ(
      OpenTestTarget(writer, final_,
                     {{"a", GDT_Float32, 1, 4, 4, 0, 4}, {"b", GDT_Float32, 1, 4, 4, 4, 4}}, 1),
      0);
  EXPECT_EQ(writer.sourceTable["B"].sourceColumn, 4);
  EXPECT_EQ(writer.sourceTable["B"].sourceWidth, 4);
  auto windows = MakeProperties({{"WinSizeX", "2"}, {"WinSizeY", "2"}});
  // The second tile of each source: columns 2-3 of the source with one margin column on its left.
  auto a = MakeFloatBlock("a", {3, 4, 1, 1, 4, 1, -1},
                          [](int, int r, int c) { return Cell(0, r, 1 + c); });
  auto b = MakeFloatBlock("b", {3, 4, 1, 5, 4, 1, -1},
                          [](int, int r, int c) { return Cell(0, r, 5 + c); });
  a.block->SetProperties(windows);
  b.block->SetProperties(windows);
  ASSERT_EQ(Write(a), S_OK);
  ASSERT_EQ(Write(b), S_OK);
  std::vector<float> cells = ReadBand(writer.sourceTable["A"].dataset, 1);
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(cells[r * 8 + 3], Cell(0, r, 3)) << r;  // the first source's last column
    EXPECT_EQ(cells[r * 8 + 7], Cell(0, r, 7)) << r;
    EXPECT_EQ(cells[r * 8 + 1], -FLT_MAX) << r;  // margin of the first block: not written
  }
}

TEST_F(BlockWriting, BlockOfAnotherTypeGetsTheDefaultInvalidValues) {
  Open(4, 4, 2);
  auto block = ComPtr<RasterBlock>::Attach(RasterBlock::Create(Utf8ToUtf16(final_)));
  block->AllocateData({4, 4, 2, 0, 4, 1, -1}, GDT_Int16);
  block->SetProperties(MakeProperties({{"InvalidData", "-9999|-9999"}}));
  ASSERT_EQ(writer.WriteBlock(block.Get(), second.Get()), S_OK);
  double invalid = GetInvalid(GDT_Float32);
  EXPECT_EQ(writer.createdNoData, (std::vector<std::vector<double>>{{invalid, invalid}}));
  EXPECT_EQ(writer.blockDataType, GDT_Int16);

  // The same type: the block's own values. The first raster was left unfinished at the same
  // temporary path, which only an overwriting writer may replace.
  writer.overwrite = 1;
  Open(4, 4, 2);
  TestBlock same = Block(0, 0, 4, 4, 2);
  same.block->SetProperties(MakeProperties({{"InvalidData", "-9999|-9999"}}));
  ASSERT_EQ(Write(same), S_OK);
  EXPECT_EQ(writer.createdNoData.back(), (std::vector<double>{-9999, -9999}));
}

TEST_F(BlockWriting, CreationFailureIsReportedAndNotCounted) {
  Open(4, 4);
  writer.driverName = "NO_SUCH_DRIVER";
  EXPECT_EQ(Write(Block(0, 0, 4, 4)), E_FAIL);
  EXPECT_EQ(events.LogTexts(), std::vector<std::string>{final_ + ".tmp：创建数据集失败"});
  EXPECT_EQ(events.logs[0].code, 0x20195u);
  EXPECT_TRUE(writer.outputStatistics.empty());
  EXPECT_EQ(writer.blocksWritten, 0);
}

TEST_F(BlockWriting, PartlyOutsideIsClippedToTheTarget) {
  Open(10, 10);
  // Reaching past the right and bottom edges: one write of the inside 2 x 2, rows of 4 apart.
  ASSERT_EQ(Write(Block(8, 8, 4, 4)), S_OK);
  ASSERT_EQ(writer.datasetWrites.size(), 1u);
  const DatasetWrite& w = writer.datasetWrites[0];
  EXPECT_EQ(std::vector<int>({w.x, w.y, w.columns, w.rows}), std::vector<int>({8, 8, 2, 2}));
  EXPECT_EQ(std::vector<int>({w.pixelSpace, w.lineSpace, w.bandSpace}),
            std::vector<int>({4, 16, 64}));
  // Reaching past the left and top edges, with windows to trim.
  TestBlock t = Block(-2, -3, 5, 6);
  t.block->SetProperties(MakeProperties({{"WinSizeX", "2"}, {"WinSizeY", "2"}}));
  ASSERT_EQ(Write(t), S_OK);
  for (const BandWrite& b : writer.bandWrites) {
    EXPECT_GE(b.x, 0);
    EXPECT_GE(b.y, 0);
  }
  std::vector<float> cells = ReadBand(Record().dataset, 1);
  EXPECT_EQ(cells[9 * 10 + 9], Cell(0, 9, 9));
  EXPECT_EQ(cells[8 * 10 + 8], Cell(0, 8, 8));
  EXPECT_EQ(cells[0 * 10 + 0], Cell(0, 0, 0));
  EXPECT_EQ(cells[1 * 10 + 1], Cell(0, 1, 1));
}

TEST_F(BlockWriting, WhollyOutsideIsRefusedAndNotCounted) {
  Open(10, 10);
  EXPECT_EQ(Write(Block(10, 0, 4, 4)), 1);
  EXPECT_EQ(Write(Block(-4, 0, 4, 4)), 1);
  EXPECT_EQ(Write(Block(0, -20, 4, 4)), 1);
  EXPECT_EQ(Record().dataset, nullptr);
  EXPECT_TRUE(writer.outputStatistics.empty());
}

TEST_F(BlockWriting, NegativeOrHugeWindowsStayInsideTheBlock) {
  Open(100, 100);
  writer.passThrough = false;
  for (const char* window : {"-100", "1000000", "-2147483648"}) {
    writer.bandWrites.clear();
    TestBlock t = Block(40, 40, 10, 10);
    t.block->SetProperties(MakeProperties({{"WinSizeX", window}, {"WinSizeY", window}}));
    ASSERT_EQ(Write(t), S_OK) << window;
    auto* begin = reinterpret_cast<unsigned char*>(t.pixels);
    for (const BandWrite& b : writer.bandWrites) {
      EXPECT_GE(b.buffer, begin);
      EXPECT_LE(b.buffer + b.columns * 4, begin + 400);
      EXPECT_GE(b.x, 40);
      EXPECT_LE(b.x + b.columns, 50);
    }
  }
}

TEST_F(BlockWriting, MalformedBlocksAreRefusedWithoutWriting) {
  Open(10, 10);
  const std::vector<std::int32_t> descriptor = {0, 33, GDT_Float32};
  struct Case {
    const char* what;
    ComPtr<RasterBlock> block;
  } cases[] = {
      {"payload one value short", MakeRawBlock(final_, Header(4, 4, 0, 10), 7, descriptor)},
      {"header cut short", MakeRawBlock(final_, {0, 0, 4, 4, 0}, 0, descriptor)},
      {"empty payload", MakeRawBlock(final_, {}, 0, descriptor)},
      {"negative columns", MakeRawBlock(final_, Header(-4, 4, 0, 10), 8, descriptor)},
      {"zero rows", MakeRawBlock(final_, Header(4, 0, 0, 10), 8, descriptor)},
      {"NaN columns", MakeRawBlock(final_, Header(NAN, 4, 0, 10), 8, descriptor)},
      {"columns beyond 32 bits", MakeRawBlock(final_, Header(3e9, 1, 0, 10), 8, descriptor)},
      {"band beyond 2 GiB", MakeRawBlock(final_, Header(65536, 65536, 0, 10), 8, descriptor)},
      {"zero pixel width",
       [&] {
         auto h = Header(4, 4, 0, 10);
         h[8] = 0;
         return MakeRawBlock(final_, h, 8, descriptor);
       }()},
      {"descriptor of two", MakeRawBlock(final_, Header(4, 4, 0, 10), 8, {0, 33})},
      {"marker not 33", MakeRawBlock(final_, Header(4, 4, 0, 10), 8, {0, 32, GDT_Float32})},
      {"unknown type", MakeRawBlock(final_, Header(4, 4, 0, 10), 8, {0, 33, 99})},
      {"type zero", MakeRawBlock(final_, Header(4, 4, 0, 10), 8, {0, 33, 0})},
      {"negative type", MakeRawBlock(final_, Header(4, 4, 0, 10), 8, {0, 33, -1})},
      {"unknown name",
       [&] {
         auto b = MakeRawBlock("nobody", Header(4, 4, 0, 10), 8, descriptor);
         return b;
       }()},
      {"wrong kind",
       [&] {
         auto b = ComPtr<RasterBlock>::Attach(RasterBlock::Create(Utf8ToUtf16(final_), 2));
         b->AllocateData({4, 4, 1, 0, 10, 1, -1}, GDT_Float32);
         return b;
       }()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(writer.WriteBlock(c.block.Get(), second.Get()), 1) << c.what;
  }
  // Arrays of the wrong kinds.
  auto swapped = ComPtr<RasterBlock>::Attach(RasterBlock::Create(Utf8ToUtf16(final_)));
  VARIANT p, d;
  p.vt = VT_ARRAY | VT_I4;
  p.parray = SafeArrayCreateVector(VT_I4, 40);
  d.vt = VT_R8;
  d.dblVal = 33;
  swapped->SetData(p, d);
  EXPECT_EQ(writer.WriteBlock(swapped.Get(), second.Get()), 1);

  EXPECT_EQ(writer.WriteBlock(Block(0, 0, 4, 4).block.Get(), nullptr), E_POINTER);
  EXPECT_EQ(writer.WriteBlock(nullptr, second.Get()), 1);
  EXPECT_EQ(Record().dataset, nullptr);
  EXPECT_TRUE(writer.datasetWrites.empty());
  EXPECT_TRUE(writer.outputStatistics.empty());
  EXPECT_EQ(writer.blocksWritten, 0);
  EXPECT_TRUE(events.logs.empty());

  writer.ResetJob();
  EXPECT_EQ(Write(Block(0, 0, 4, 4)), 1);  // no source table
}

TEST_F(BlockWriting, ExactPayloadIsAccepted) {
  Open(10, 10);
  // 4 x 4 Float32 values are exactly 8 doubles.
  EXPECT_EQ(
      writer.WriteBlock(MakeRawBlock(final_, Header(4, 4, 0, 10), 8, {0, 33, GDT_Float32}).Get(),
                        second.Get()),
      S_OK);
}

}  // namespace
