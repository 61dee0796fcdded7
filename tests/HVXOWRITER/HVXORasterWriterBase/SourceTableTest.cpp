#include <gtest/gtest.h>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "RasterFixtures.h"
#include "support/EventCapture.h"
#include "support/TempDir.h"

namespace {

class SourceTable : public testing::Test {
 protected:
  HRESULT Open(const std::string& target, const std::vector<SourceSpec>& sources, int mosaic,
               const std::string& folder = "") {
    return OpenTestTarget(writer, target, sources, mosaic, folder);
  }
  HVXORasterWriterBase writer;
  EventCapture events;
};

TEST_F(SourceTable, RecordFieldsFromTheLists) {
  ASSERT_EQ(writer.BuildSourceTable(u"out/a.dem", MakeMetadata({{"d:\\in\\Dem_A.tif", GDT_Int16, 3,
                                                                 40, 30, 100.5, 900.25, 30, -30}})
                                                      .Get()),
            0);
  ASSERT_EQ(writer.sourceTable.count("D:\\IN\\DEM_A.TIF"), 1u);
  const SourceRecord& r = writer.sourceTable["D:\\IN\\DEM_A.TIF"];
  EXPECT_EQ(r.outputPath, "out/a.dem");
  EXPECT_EQ(r.dataType, GDT_Int16);
  EXPECT_EQ(r.bandCount, 3);
  EXPECT_EQ(r.width, 40);
  EXPECT_EQ(r.height, 30);
  EXPECT_EQ(r.originX, 100.5);
  EXPECT_EQ(r.originY, 900.25);
  EXPECT_EQ(r.pixelWidth, 30);
  EXPECT_EQ(r.pixelHeight, 30);  // RESOLVEV -30
  EXPECT_EQ(r.dataset, nullptr);
}

TEST_F(SourceTable, ListOfAnotherLengthOrNoNamesIsRefused) {
  auto metadata = MakeMetadata({{"a"}, {"b"}});
  metadata->SetList(u"Width", {u"100"});
  EXPECT_EQ(writer.BuildSourceTable(u"out/", metadata.Get()), 1);
  EXPECT_TRUE(writer.sourceTable.empty());
  EXPECT_EQ(writer.BuildSourceTable(u"out/", MakeMetadata({}).Get()), 1);
  EXPECT_EQ(writer.BuildSourceTable(u"out/", nullptr), 1);
}

TEST_F(SourceTable, NameListedTwiceKeepsTheLaterItems) {
  ASSERT_EQ(writer.BuildSourceTable(
                u"out/", MakeMetadata({{"a", GDT_Byte, 1, 10}, {"A", GDT_Byte, 1, 20}}).Get()),
            0);
  ASSERT_EQ(writer.sourceTable.size(), 1u);
  EXPECT_EQ(writer.sourceTable["A"].width, 20);
}

TEST_F(SourceTable, SelectionIgnoresCase) {
  writer.mappingFile.readerDirectives = {"FUSION_SET", "DATASETNAMESP=\"dem_b\""};
  ASSERT_EQ(writer.BuildSourceTable(u"out/", MakeMetadata({{"Dem_A"}, {"DEM_B"}}).Get()), 0);
  ASSERT_EQ(writer.sourceTable.size(), 1u);
  EXPECT_EQ(writer.sourceTable.begin()->first, "DEM_B");
}

TEST_F(SourceTable, StarDestinationSendsThreeSourcesToOneMosaicTarget) {
  writer.destinationNames["*"] = "out.dem";
  ASSERT_EQ(Open("ignored", {{"a"}, {"b", GDT_Float32, 1, 100, 100, 100}, {"c"}}, 1, "/data/"), 0);
  for (const auto& [key, record] : writer.sourceTable)
    EXPECT_EQ(record.outputPath, "/data/out.dem.tmp");
  EXPECT_EQ(writer.targetList, StringList{"/data/out.dem.tmp"});
  ASSERT_EQ(writer.targetGroups.size(), 1u);
  EXPECT_EQ(writer.targetGroups["/DATA/OUT.DEM"], (StringList{"A", "B", "C"}));
}

TEST_F(SourceTable, FolderTargetGivesEachSourceItsOwnFile) {
  ASSERT_EQ(Open("/out/", {{"/in/x.tif"}, {"C:\\in\\y.img"}}, 0), 0);
  EXPECT_EQ(writer.sourceTable["/IN/X.TIF"].outputPath, "/out/x.dem.tmp");
  EXPECT_EQ(writer.sourceTable["C:\\IN\\Y.IMG"].outputPath, "/out/y.dem.tmp");
  EXPECT_EQ(writer.targetGroups.size(), 2u);
  EXPECT_EQ(writer.targetList.size(), 2u);
}

TEST(OutputPath, ExistingFolderNamedWithoutSeparatorGetsOne) {
  TempDir dir;
  HVXORasterWriterBase writer;
  writer.formatExtension = "dem";
  const std::string folder = dir.Path().string();
  EXPECT_EQ(writer.MakeOutputPath(folder, "D:\\in\\x.tif"), folder + "/x.dem");
  EXPECT_EQ(writer.MakeOutputPath(folder + "/", "x.tif"), folder + "/x.dem");
}

TEST(OutputPath, RulesInOrder) {
  HVXORasterWriterBase writer;
  writer.formatExtension = "dem";
  writer.destinationFolder = "f/";
  writer.destinationNames["SRC"] = "named.dem";
  EXPECT_EQ(writer.MakeOutputPath("t.dem", "src"), "f/named.dem");
  writer.destinationNames["*"] = "all.txt";  // not of the format: not used
  EXPECT_EQ(writer.MakeOutputPath("t.DEM", "other"), "t.DEM");
  EXPECT_EQ(writer.MakeOutputPath("out/name", "other"), "out/name");
  EXPECT_EQ(writer.MakeOutputPath("out\\", "D:\\in\\other.tif"), "out\\other.dem");
  // A GBK character whose trail byte is a backslash is part of the name, not a separator.
  std::string name = Utf8ToGbk("数据") + "\x81\x5C";
  EXPECT_EQ(writer.MakeOutputPath("out/", "/in/" + name + ".tif"), "out/" + name + ".dem");
}

TEST_F(SourceTable, MosaicExtentOfTwoNeighbours) {
  ASSERT_EQ(
      Open("m.dem",
           {{"a", GDT_Float32, 1, 100, 100, 0, 1000}, {"b", GDT_Float32, 1, 100, 100, 100, 1000}},
           1),
      0);
  for (const auto& [key, r] : writer.sourceTable) {
    EXPECT_EQ(r.originX, 0);
    EXPECT_EQ(r.originY, 1000);
    EXPECT_EQ(r.width, 200);
    EXPECT_EQ(r.height, 100);
  }
}

TEST_F(SourceTable, MosaicExtentOfOverlappingAndOffsetSources) {
  ASSERT_EQ(Open("m.dem",
                 {{"a", GDT_Float32, 1, 10, 20, 100, 900, 30, -30},
                  {"b", GDT_Float32, 1, 5, 5, 310, 960, 30, -30}},
                 1),
            0);
  const SourceRecord& r = writer.sourceTable["A"];
  EXPECT_EQ(r.originX, 100);
  EXPECT_EQ(r.originY, 960);
  EXPECT_EQ(r.width, 12);   // 100 .. 310 + 4 x 30
  EXPECT_EQ(r.height, 22);  // 960 .. 900 - 19 x 30
}

TEST_F(SourceTable, MosaicMismatchesFailWithTheirMessage) {
  struct Case {
    SourceSpec second;
    std::string message;
    std::uint32_t code;
  } cases[] = {
      {{"b", GDT_Int16}, "拼接的数据类型不一致", 0x20192},
      {{"b", GDT_Float32, 2}, "拼接的波段数不一致", 0x20190},
      {{"b", GDT_Float32, 1, 100, 100, 0, 1000, 1, -1 - 1e-12}, "拼接的分辨率不一致", 0x20191},
  };
  for (const auto& c : cases) {
    events.Clear();
    EXPECT_EQ(Open("m.dem", {{"a"}, c.second}, 1), E_FAIL) << c.message;
    ASSERT_EQ(events.logs.size(), 1u);
    EXPECT_EQ(events.logs[0].Utf8(), c.message);
    EXPECT_EQ(events.logs[0].code, c.code);
  }
  writer.logOutput = 0;
  events.Clear();
  EXPECT_EQ(Open("m.dem", {{"a"}, {"b", GDT_Int16}}, 1), E_FAIL);
  EXPECT_TRUE(events.logs.empty());
}

TEST_F(SourceTable, SourceThatIsATemporaryTargetIsRefused) {
  EXPECT_EQ(Open("/o/out.dem", {{"/o/x"}, {"/O/OUT.dem.tmp"}}, 1), E_FAIL);
  EXPECT_EQ(events.LogTexts(),
            std::vector<std::string>{"/o/out.dem.tmp：原数据集与目标数据集相同"});
  EXPECT_EQ(events.logs[0].code, 0x20194u);

  EXPECT_EQ(Open("/o/out.dem", {{"/o/x"}, {"/o/out.dem"}}, 1), 0);
}

TEST_F(SourceTable, ResetJobEmptiesThePerTargetState) {
  ASSERT_EQ(Open("m.dem", {{"a"}, {"b"}}, 1), 0);
  writer.driverName = "HFA";
  writer.blocksWritten = 5;
  writer.progressEnd = 9;
  writer.invalidData = {-9999};
  writer.ResetJob();
  EXPECT_TRUE(writer.sourceTable.empty() && writer.targetGroups.empty() &&
              writer.targetList.empty());
  EXPECT_EQ(writer.mosaicMode, 0);
  EXPECT_EQ(writer.formatExtension, "");
  EXPECT_EQ(writer.driverName, "");
  EXPECT_EQ(writer.blocksWritten, 0);
  EXPECT_EQ(writer.progressEnd, 0);
  EXPECT_EQ(writer.invalidData, std::vector<double>{-9999});  // kept across targets
}

}  // namespace
