#include <gtest/gtest.h>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "RasterFixtures.h"
#include "support/EventCapture.h"

namespace {

class DestinationFolder : public testing::Test {
 protected:
  void SetUp() override {
    writer.destinationNames["DEM_A"] = "a.dem";
    writer.destinationFolder = "kept/";
  }
  HVXORasterWriterBase writer;
};

TEST_F(DestinationFolder, SeparateOutputTakesTheFolderOption) {
  writer.SelectDestinationFolder(MakeProperties({{"Multiple_Source_Option", "separate_directory"},
                                                 {"DESTINATION_DATASET_FOLDER", "D:\\out\\"}})
                                     .Get());
  EXPECT_EQ(writer.destinationFolder, "D:\\out\\");
}

TEST_F(DestinationFolder, SeparateOutputWithoutFolderOptionEmptiesIt) {
  EXPECT_EQ(writer.SelectDestinationFolder(
                MakeProperties({{"Multiple_Source_Option", "SEPARATE_FILE"}}).Get()),
            0);
  EXPECT_EQ(writer.destinationFolder, "");
}

TEST_F(DestinationFolder, KeptWithoutNamesOptionsOrSeparateOutput) {
  writer.SelectDestinationFolder(nullptr);
  EXPECT_EQ(writer.destinationFolder, "kept/");
  writer.SelectDestinationFolder(
      MakeProperties({{"Multiple_Source_Option", "MOSAIC"}, {"DESTINATION_DATASET_FOLDER", "x/"}})
          .Get());
  EXPECT_EQ(writer.destinationFolder, "kept/");
  writer.destinationNames.clear();
  writer.SelectDestinationFolder(MakeProperties({{"Multiple_Source_Option", "SEPARATE_FILE"},
                                                 {"DESTINATION_DATASET_FOLDER", "x/"}})
                                     .Get());
  EXPECT_EQ(writer.destinationFolder, "kept/");
}

ComPtr<RasterBlock> SourceWith(std::initializer_list<std::pair<std::u16string, std::u16string>> p) {
  auto block = ComPtr<RasterBlock>::Attach(RasterBlock::Create(u"b"));
  for (const auto& [k, v] : p) block->SetSourceProperty(k, v);
  return block;
}

TEST(NameMacros, TokensReplacedCaseSensitivelyAndFolderPrefixed) {
  HVXORasterWriterBase writer;
  auto source = SourceWith({{u"HVX_MAPCODE", u"J50"}, {u"HVX_PATHNAME", u"p"}});
  std::string name = "%HVX_MAPCODE_%HVX_MAPCODE";
  EXPECT_EQ(writer.ExpandNameMacros(name, source.Get()), 0);
  EXPECT_EQ(name, "J50_J50");

  writer.destinationFolder = "out/";
  name = "A%HVX_ZONENUMB_%hvx_mapcode";  // no zone number: the token goes; lower case stays
  writer.ExpandNameMacros(name, source.Get());
  EXPECT_EQ(name, "out/AB_%hvx_mapcode");

  name = "plain.dem";
  writer.ExpandNameMacros(name, source.Get());
  EXPECT_EQ(name, "out/plain.dem");
}

TEST(NameMacros, LaterTokenInsideAnEarlierValueIsExpanded) {
  HVXORasterWriterBase writer;
  auto source = SourceWith({{u"HVX_MAPCODE", u"M%HVX_ZONENUM"}, {u"HVX_ZONENUM", u"%HVX_MAPCODE"}});
  std::string name = "%HVX_MAPCODE";
  writer.ExpandNameMacros(name, source.Get());
  EXPECT_EQ(name, "M%HVX_MAPCODE");
}

// A source whose map code is a null value, which no text conversion accepts.
class NullMapCodeBlock : public RasterBlock {
 public:
  NullMapCodeBlock() : RasterBlock(u"b") {}
  HRESULT GetPropertyValue(const char16_t* name, VARIANT* value) override {
    HRESULT hr = RasterBlock::GetPropertyValue(name, value);
    if (std::u16string(name) == u"HVX_ZONENUM") value->vt = VT_NULL;
    return hr;
  }
};

TEST(NameMacros, RefusedConversionIsCaughtAndLeavesTheEarlierReplacements) {
  HVXORasterWriterBase writer;
  writer.destinationFolder = "out/";
  ComPtr<NullMapCodeBlock> source(new NullMapCodeBlock);
  source->SetSourceProperty(u"HVX_MAPCODE", u"J50");
  std::string name = "%HVX_MAPCODE%HVX_ZONENUM";
  EventCapture events;
  EXPECT_EQ(writer.ExpandNameMacros(name, source.Get()), 1);
  EXPECT_EQ(name, "J50%HVX_ZONENUM");
  ASSERT_EQ(events.logs.size(), 1u);
  EXPECT_EQ(events.logs[0].code, 0x200e0u);
  EXPECT_EQ(events.logs[0].level, 3);
  EXPECT_NE(events.logs[0].Utf8().find("HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase"),
            std::string::npos);

  writer.logOutput = 0;
  events.Clear();
  name = "%HVX_ZONENUM";
  EXPECT_EQ(writer.ExpandNameMacros(name, source.Get()), 1);
  EXPECT_TRUE(events.logs.empty());
}

}  // namespace
