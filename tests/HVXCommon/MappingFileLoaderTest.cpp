// Loading a mapping file: the path, the parse, the root element and what a second load keeps.
#include "MappingFileTest.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(MappingFileTest, EmptyPathChangesNothingAndLogsNothing) {
  mapping.macros["A"] = "x";
  mapping.writerParameters = {"VERSION", "GRD_2007"};
  mapping.rules["r"].sourceFeatureClass = "river";
  EXPECT_EQ(mapping.Load(), 1);
  EXPECT_THAT(events.logs, IsEmpty());
  EXPECT_EQ(mapping.macros.at("A"), "x");
  EXPECT_THAT(mapping.writerParameters, ElementsAre("VERSION", "GRD_2007"));
  EXPECT_EQ(mapping.rules.at("r").sourceFeatureClass, "river");
  EXPECT_FALSE(mapping.document);
}

TEST_F(MappingFileTest, LoadAnnouncesTheFileAndKeepsTheDocument) {
  ASSERT_EQ(LoadBody("<MAPPING_FILE_ID>job</MAPPING_FILE_ID>"), 0);
  ASSERT_EQ(events.logs.size(), 1u);
  EXPECT_EQ(events.logs[0].Utf8(), "打开映射文件 " + mapping.path);
  EXPECT_EQ(events.logs[0].level, 0);
  EXPECT_EQ(events.logs[0].code, 0x30410u);
  EXPECT_TRUE(mapping.document);
  EXPECT_EQ(mapping.rootElement.BaseName(), "HVX_MappingFile");
}

TEST_F(MappingFileTest, RootIsMatchedIgnoringCaseAndNamespacePrefix) {
  EXPECT_EQ(LoadXml("<hvx_mappingFILE><MAPPING_FILE_ID>a</MAPPING_FILE_ID></hvx_mappingFILE>"), 0);
  EXPECT_EQ(mapping.mappingFileId, "a");
  EXPECT_EQ(LoadXml("<m:HVX_MappingFile xmlns:m=\"urn:hvx\"><MAPPING_FILE_ID>b</MAPPING_FILE_ID>"
                    "</m:HVX_MappingFile>"),
            0);
  EXPECT_EQ(mapping.mappingFileId, "b");
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(MappingFileTest, AnyOtherRootIsRefused) {
  EXPECT_EQ(LoadXml("<MappingFile><MAPPING_FILE_ID>a</MAPPING_FILE_ID></MappingFile>"), 1);
  ASSERT_EQ(events.logs.size(), 2u);
  EXPECT_EQ(events.logs[1].Utf8(), "映射文件根元素错误，根元素名称必须为HVX_MappingFile");
  EXPECT_EQ(events.logs[1].level, 2);
  EXPECT_EQ(events.logs[1].code, 0x3049eu);
  EXPECT_EQ(mapping.mappingFileId, "");
}

TEST_F(MappingFileTest, MalformedFileIsReportedWithPlaceAndReason) {
  EXPECT_EQ(LoadXml("<?xml version=\"1.0\"?>\n<HVX_MappingFile>\n  <MACRO Key=\"a\" Value=\"b\">\n"
                    "</HVX_MappingFile>\n"),
            1);
  ASSERT_EQ(events.logs.size(), 2u);
  EXPECT_EQ(events.logs[1].Utf8(),
            "映射文件无效 位于4行，19列, Opening and ending tag mismatch: MACRO line 3 and "
            "HVX_MappingFile\n");
  EXPECT_EQ(events.logs[1].level, 2);
  EXPECT_EQ(events.logs[1].code, 0x3049cu);
  EXPECT_THAT(mapping.macros, IsEmpty());
}

TEST_F(MappingFileTest, MissingFileIsAnInvalidMappingFile) {
  mapping.path = dir / "absent.xml";
  EXPECT_EQ(mapping.Load(), 1);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("映射文件无效 位于0行，0列, ", 0), 0u) << Messages()[0];
  EXPECT_EQ(events.logs.back().code, 0x3049cu);
}

TEST_F(MappingFileTest, DocumentViolatingItsOwnDtdIsRefused) {
  const std::string dtd =
      "<!DOCTYPE HVX_MappingFile [\n<!ELEMENT HVX_MappingFile (MACRO*)>\n"
      "<!ELEMENT MACRO EMPTY>\n<!ATTLIST MACRO Key CDATA #REQUIRED Value CDATA #REQUIRED>\n]>\n";
  EXPECT_EQ(LoadXml(dtd + "<HVX_MappingFile><MACRO Key=\"A\" Value=\"x\"/></HVX_MappingFile>"), 0);
  EXPECT_EQ(mapping.macros.at("A"), "x");
  EXPECT_EQ(LoadXml(dtd + "<HVX_MappingFile><MACRO Key=\"A\" Value=\"x\"/><MAP_SCALE>5</MAP_SCALE>"
                          "</HVX_MappingFile>"),
            1);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("映射文件无效 位于6行，", 0), 0u) << Messages()[0];
  EXPECT_EQ(mapping.mapScale, 1);
}

TEST_F(MappingFileTest, SecondLoadReplacesCollectionsButAddsDatasetsAndRuleIds) {
  const std::string first = MappingXml(
      "<MAPPING_FILE_ID>first</MAPPING_FILE_ID><MAP_SCALE>500</MAP_SCALE>"
      "<MACRO Key=\"A\" Value=\"1\"/><DYNAMIC_MACRO Key=\"D\" Value=\"1\"/><INCLUDE>a.xml</INCLUDE>"
      "<SOURCE_DATA_COLLECTION><SOURCE_DATA_ITEM><SOURCE_DATASET>one.tif</SOURCE_DATASET>"
      "</SOURCE_DATA_ITEM></SOURCE_DATA_COLLECTION>"
      "<WRITER_PARAMETER><KeyValuePair><Key>VERSION</Key><Value>GRD_1999</Value></KeyValuePair>"
      "</WRITER_PARAMETER>"
      "<VARIABLE><FeatureClassName>v1</FeatureClassName></VARIABLE>"
      "<HVX_RULE RuleID=\"r1\"><SOURCE><FeatureClassName>river</FeatureClassName></SOURCE></HVX_RULE>"
      "<ATTRIBUTESTRUCT_DEF><SOURCE><FeatureClassName>s1</FeatureClassName></SOURCE>"
      "</ATTRIBUTESTRUCT_DEF>");
  const std::string second = MappingXml(
      "<MACRO Key=\"B\" Value=\"2\"/>"
      "<SOURCE_DATA_COLLECTION><SOURCE_DATA_ITEM><SOURCE_DATASET>two.tif</SOURCE_DATASET>"
      "</SOURCE_DATA_ITEM></SOURCE_DATA_COLLECTION>"
      "<HVX_RULE RuleID=\"r2\"><SOURCE><FeatureClassName>lake</FeatureClassName></SOURCE></HVX_RULE>");
  ASSERT_EQ(LoadXml(first, "first.xml"), 0);
  ASSERT_EQ(LoadXml(second, "second.xml"), 0);

  EXPECT_THAT(mapping.macroNames, ElementsAre("B"));
  EXPECT_EQ(mapping.macros.count("A"), 0u);
  EXPECT_THAT(mapping.dynamicMacros, IsEmpty());
  EXPECT_THAT(mapping.includeFiles, IsEmpty());
  EXPECT_THAT(mapping.writerParameters, IsEmpty());
  EXPECT_THAT(mapping.variables, IsEmpty());
  EXPECT_THAT(mapping.variableClassNames, IsEmpty());
  EXPECT_THAT(mapping.sourceAttributeStructs, IsEmpty());
  ASSERT_EQ(mapping.rules.size(), 1u);
  EXPECT_EQ(mapping.rules.at("r2").sourceFeatureClass, "lake");
  // Kept and added to: the first file's first.
  EXPECT_THAT(mapping.sourceDataItems, ElementsAre("one.tif", "two.tif"));
  EXPECT_THAT(mapping.ruleIds, ElementsAre("r1", "r2"));
  EXPECT_EQ(mapping.mappingFileId, "first");
  EXPECT_EQ(mapping.mapScale, 500);
}

TEST_F(MappingFileTest, ChinesePathsAndTextsComeOutInGbk) {
  const std::string utf8Path = dir / "河流作业.xml";
  const std::string gbkXml = Gbk(
      "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<HVX_MappingFile>"
      "<MACRO Key=\"区域\" Value=\"长江流域\"/>"
      "<DESTINATION_DATASET>D:\\成果\\$(区域)</DESTINATION_DATASET></HVX_MappingFile>");
  TempDir::WriteFile(utf8Path, gbkXml);
  mapping.path = Gbk(utf8Path);
  ASSERT_EQ(mapping.Load(), 0);
  EXPECT_EQ(events.logs[0].Utf8(), "打开映射文件 " + utf8Path);
  EXPECT_EQ(mapping.macros.at(Gbk("区域")), Gbk("长江流域"));
  EXPECT_EQ(mapping.destinationDataset, Gbk("D:\\成果\\长江流域"));
}

TEST_F(MappingFileTest, HostileFilesEndAsInvalidMappingFiles) {
  std::string laughs = "<!DOCTYPE HVX_MappingFile [<!ENTITY l0 \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    const std::string lower = "&l" + std::to_string(i - 1) + ";";
    std::string ten;
    for (int k = 0; k < 10; ++k) ten += lower;
    laughs += "<!ENTITY l" + std::to_string(i) + " \"" + ten + "\">";
  }
  laughs += "]>\n<HVX_MappingFile><MACRO Key=\"A\" Value=\"&l9;\"/></HVX_MappingFile>";
  std::string deep = "<HVX_MappingFile>";
  for (int i = 0; i < 100000; ++i) deep += "<WRITER_PARAMETER>";
  for (int i = 0; i < 100000; ++i) deep += "</WRITER_PARAMETER>";
  deep += "</HVX_MappingFile>";
  const std::string remote =
      "<!DOCTYPE HVX_MappingFile SYSTEM \"http://127.0.0.1:9/mapping.dtd\">\n<HVX_MappingFile/>";

  for (const std::string& xml : {laughs, deep, remote}) {
    events.Clear();
    EXPECT_EQ(LoadXml(xml), 1);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].rfind("映射文件无效 位于", 0), 0u) << Messages()[0];
    EXPECT_THAT(mapping.macros, IsEmpty());
  }
}
