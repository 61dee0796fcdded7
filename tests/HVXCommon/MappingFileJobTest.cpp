// The job sections and the four key/value lists.
#include "MappingFileTest.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(MappingFileTest, SingleTextSections) {
  ASSERT_EQ(LoadBody("<MACRO Key=\"SCALE\" Value=\"  10000 \"/>"
                     "<MAPPING_FILE_ID>  id $(SCALE)\n</MAPPING_FILE_ID>"
                     "<HVX_MINIMUM_BUILD>312abc</HVX_MINIMUM_BUILD>"
                     "<READER_TYPE> GDAL</READER_TYPE><WRITER_TYPE>GEODEM </WRITER_TYPE>"
                     "<MAP_SCALE>$(SCALE)</MAP_SCALE>"
                     "<DESTINATION_DATASET>  /out/$(SCALE)</DESTINATION_DATASET>"),
            0);
  // Identity, build and types are taken as the parser gives them.
  EXPECT_EQ(mapping.mappingFileId, "  id $(SCALE)\n");
  EXPECT_EQ(mapping.minimumBuild, 312);
  EXPECT_EQ(mapping.readerType, " GDAL");
  EXPECT_EQ(mapping.writerType, "GEODEM ");
  EXPECT_EQ(mapping.mapScale, 10000);
  EXPECT_EQ(mapping.destinationDataset, "/out/  10000 ");
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(MappingFileTest, NumbersWithoutDigitsAreZeroAndAbsentOnesUnchanged) {
  ASSERT_EQ(LoadBody("<HVX_MINIMUM_BUILD>build 7</HVX_MINIMUM_BUILD>"), 0);
  EXPECT_EQ(mapping.minimumBuild, 0);
  EXPECT_EQ(mapping.mapScale, 1);
  ASSERT_EQ(LoadBody("<MAP_SCALE> -25</MAP_SCALE><HVX_MINIMUM_BUILD>99999999999</HVX_MINIMUM_BUILD>"
                     "<MAP_SCALE>50</MAP_SCALE>"),
            0);
  EXPECT_EQ(mapping.mapScale, 50);  // the later element wins
  EXPECT_EQ(mapping.minimumBuild, 2147483647);
}

TEST_F(MappingFileTest, SourceDatasetsOfAllItemsFormOneList) {
  ASSERT_EQ(LoadBody("<MACRO Key=\"D\" Value=\"/data\"/>"
                     "<SOURCE_DATA_COLLECTION>"
                     "<SOURCE_DATA_ITEM><SOURCE_DATASET> $(D)/a.tif</SOURCE_DATASET>"
                     "<INCLUDE_SUBFOLDER>YES</INCLUDE_SUBFOLDER>"
                     "<SOURCE_DATASET>b.tif</SOURCE_DATASET></SOURCE_DATA_ITEM>"
                     "<SOURCE_DATASET>outside-an-item.tif</SOURCE_DATASET>"
                     "<source_data_item><source_dataset>c.tif</source_dataset></source_data_item>"
                     "</SOURCE_DATA_COLLECTION>"
                     "<SOURCE_DATA_COLLECTION><SOURCE_DATA_ITEM><SOURCE_DATASET>$(LATER)"
                     "</SOURCE_DATASET></SOURCE_DATA_ITEM></SOURCE_DATA_COLLECTION>"),
            0);
  EXPECT_THAT(mapping.sourceDataItems, ElementsAre("/data/a.tif", "b.tif", "c.tif", "$(LATER)"));
  EXPECT_THAT(Messages(), ElementsAre(MissingMacro("LATER")));
}

TEST_F(MappingFileTest, CoordinateSystemsAreSetByTheirOwnChildren) {
  mapping.sourceCoordinateSystem = "kept";
  ASSERT_EQ(LoadBody("<MACRO Key=\"CGCS\" Value=\"EPSG:4490\"/>"
                     "<COORDINATE_SYSTEM><DESTINATION>first</DESTINATION>"
                     "<DESTINATION> $(CGCS)</DESTINATION><OTHER>$(NONE)</OTHER>"
                     "</COORDINATE_SYSTEM>"),
            0);
  EXPECT_EQ(mapping.sourceCoordinateSystem, "kept");
  EXPECT_EQ(mapping.destinationCoordinateSystem, "EPSG:4490");
  EXPECT_THAT(Messages(), ElementsAre(MissingMacro("NONE")));
}

TEST_F(MappingFileTest, KeyValueListsKeepTheOrderTheyAreWrittenIn) {
  ASSERT_EQ(LoadBody("<MACRO Key=\"Z\" Value=\"100\"/>"
                     "<WRITER_PARAMETER>"
                     "<KeyValuePair><Key>DEM_ZOOM</Key><Value> $(Z)</Value></KeyValuePair>"
                     "<KeyValuePair><Value>GRD_2007</Value><Key>VERSION</Key></KeyValuePair>"
                     "<keyvaluepair><KEY>OVERWRITE</KEY><value>d$(Z)</value></keyvaluepair>"
                     "<KeyValuePair><Key>NO_VALUE</Key><Note>$(NONE)</Note></KeyValuePair>"
                     "<Key>outside-a-pair</Key>"
                     "</WRITER_PARAMETER>"
                     "<WRITER_DIRECTIVE><KeyValuePair><Key>LOG_OUTPUT</Key><Value>YES</Value>"
                     "</KeyValuePair></WRITER_DIRECTIVE>"
                     "<READER_DIRECTIVE><KeyValuePair><Key>FUSION_SET</Key><Value>1</Value>"
                     "</KeyValuePair></READER_DIRECTIVE>"
                     "<READER_PARAMETER><KeyValuePair><Key>R</Key><Value>r</Value>"
                     "</KeyValuePair></READER_PARAMETER>"
                     "<WRITER_PARAMETER><KeyValuePair><Key>RASTER_NODATA</Key><Value>-9999</Value>"
                     "</KeyValuePair></WRITER_PARAMETER>"),
            0);
  EXPECT_THAT(mapping.writerParameters,
              ElementsAre("DEM_ZOOM", "100", "GRD_2007", "VERSION", "OVERWRITE", "d$(Z)",
                          "NO_VALUE", "RASTER_NODATA", "-9999"));
  EXPECT_THAT(mapping.writerDirectives, ElementsAre("LOG_OUTPUT", "YES"));
  EXPECT_THAT(mapping.readerDirectives, ElementsAre("FUSION_SET", "1"));
  EXPECT_THAT(mapping.readerParameters, ElementsAre("R", "r"));
  // A child that is neither key nor value is dropped, but its text was expanded all the same.
  EXPECT_THAT(Messages(), ElementsAre(MissingMacro("NONE")));
}
