// A complete job description, as a survey would write it, read back member by member.
#include "MappingFileTest.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(MappingFileTest, RealisticJobIsReadCompletely) {
  mapping.path = std::string(GEODEM_TEST_DATA) + "/mapping/realistic_job.xml";
  ASSERT_EQ(mapping.Load(), 0);
  EXPECT_THAT(Messages(), IsEmpty());

  EXPECT_EQ(mapping.mappingFileId, Gbk("DEM 长江 1:10000"));
  EXPECT_EQ(mapping.minimumBuild, 2108);
  EXPECT_THAT(mapping.macroNames, ElementsAre("ROOT", "AREA", "OUT", "ZOOM"));
  EXPECT_EQ(mapping.macros.at("ROOT"), "/srv/survey");
  EXPECT_EQ(mapping.macros.at("OUT"), "$(ROOT)/out/$(AREA)");
  EXPECT_THAT(mapping.dynamicMacroNames, ElementsAre("TILE"));
  EXPECT_EQ(mapping.dynamicMacros.at("TILE"), "%HVX_PATHNAME");
  EXPECT_THAT(mapping.includeFiles, ElementsAre("/srv/survey/common/units.xml"));
  EXPECT_EQ(mapping.readerType, "GDAL");
  EXPECT_EQ(mapping.writerType, "GEODEM");
  EXPECT_THAT(mapping.sourceDataItems, ElementsAre("/srv/survey/tiles/H49G001001.tif",
                                                   "/srv/survey/tiles/H49G001002.tif",
                                                   "/srv/survey/tiles/H49G002001.tif"));
  EXPECT_EQ(mapping.destinationDataset, Gbk("/srv/survey/out/长江中游\n  "));
  EXPECT_THAT(mapping.readerDirectives,
              ElementsAre("TWO_INPUT_OPERATOR_SET", "0", "FUSION_SET", "0"));
  EXPECT_THAT(mapping.writerDirectives,
              ElementsAre("LOG_OUTPUT", "YES", "RASTER_RESAMPLE", "NEAREST"));
  EXPECT_EQ(mapping.sourceCoordinateSystem, "EPSG:4547");
  EXPECT_EQ(mapping.destinationCoordinateSystem, "EPSG:4547");
  EXPECT_EQ(mapping.mapScale, 10000);

  EXPECT_THAT(mapping.variableClassNames, ElementsAre("DEM"));
  EXPECT_THAT(mapping.variableAttributeNames.at("DEM"), ElementsAre("SHEET"));
  EXPECT_EQ(mapping.variables.at("DEM").at("SHEET").value, "H49G001001");
  EXPECT_THAT(mapping.variables.at("DEM").at("SHEET").defaultValues, ElementsAre("H49G000000"));
  EXPECT_THAT(mapping.readerParameters, ElementsAre("BAND", "1"));
  EXPECT_THAT(mapping.writerParameters, ElementsAre("VERSION", "GRD_2007", "DEM_ZOOM", "100",
                                                    "RASTER_NODATA", "-99999", "OVERWRITE", "YES"));

  EXPECT_THAT(mapping.ruleIds, ElementsAre("DEM_1"));
  const RuleInfo& rule = mapping.rules.at("DEM_1");
  EXPECT_EQ(rule.sourceFeatureClass, "*");
  EXPECT_EQ(rule.sourceGeometryType, "Raster");
  ASSERT_EQ(rule.conditions.size(), 1u);
  EXPECT_EQ(rule.conditions[0].conditionType, "HVX_WHERE");
  EXPECT_EQ(rule.conditions[0].attributeName, "BandCount");
  EXPECT_EQ(rule.conditions[0].operatorName, "EQ");
  EXPECT_EQ(rule.conditions[0].attributeValue, "1");
  EXPECT_EQ(rule.destinationFeatureClass, "%AREA_%SHEET");
  EXPECT_EQ(rule.alias, Gbk("高程模型"));
  EXPECT_EQ(rule.destinationGeometryType, "Grid");
  EXPECT_THAT(rule.geometryTransforms, ElementsAre("Resample"));
  EXPECT_THAT(rule.attributeNames, ElementsAre("AREA", "SHEET"));
  EXPECT_EQ(rule.attributePairs->at("AREA").value, Gbk("长江中游"));
  EXPECT_EQ(rule.attributePairs->at("SHEET").value, "H49G001001");

  const FieldList& source = mapping.sourceAttributeStructs.at("DEM");
  ASSERT_EQ(source.size(), 1u);
  EXPECT_EQ(source[0].name, "ELEV");
  EXPECT_EQ(source[0].type, "Double");
  EXPECT_EQ(source[0].width, 12);
  EXPECT_EQ(source[0].decimals, 2);
  EXPECT_EQ(source[0].isNullable, 0);
  const FieldList& destination = mapping.destinationAttributeStructs.at("GRID");
  ASSERT_EQ(destination.size(), 2u);
  EXPECT_EQ(destination[0].name, "ID");
  EXPECT_EQ(destination[0].isPrimaryKey, 1);
  EXPECT_EQ(destination[0].isNullable, 1);
  EXPECT_EQ(destination[1].name, "TMP");
  EXPECT_EQ(destination[1].width, 8);
  EXPECT_EQ(destination[1].isDeleted, 1);
}
