// The walk over the top-level elements of a mapping file.
#include "MappingFileTest.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(MappingFileTest, EmptyRootReadsNothing) {
  ASSERT_EQ(LoadXml("<HVX_MappingFile/>"), 0);
  EXPECT_THAT(mapping.macros, IsEmpty());
  EXPECT_THAT(mapping.rules, IsEmpty());
  EXPECT_EQ(mapping.minimumBuild, 100);
  EXPECT_EQ(mapping.mapScale, 1);
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(MappingFileTest, SectionNamesAreMatchedInAnyLetterCase) {
  ASSERT_EQ(LoadBody("<macro Key=\"A\" Value=\"x\"/>"
                     "<writer_parameter><keyvaluepair><KEY>VERSION</KEY><value>$(A)</value>"
                     "</keyvaluepair></writer_parameter>"
                     "<Hvx_Rule RuleID=\"r\"><source><featureclassname>river</featureclassname>"
                     "</source></Hvx_Rule>"
                     "<Map_Scale>250</Map_Scale>"),
            0);
  EXPECT_THAT(mapping.writerParameters, ElementsAre("VERSION", "x"));
  EXPECT_EQ(mapping.rules.at("r").sourceFeatureClass, "river");
  EXPECT_EQ(mapping.mapScale, 250);
}

TEST_F(MappingFileTest, CommentsUnknownAndInertElementsAreSkippedAndTheWalkGoesOn) {
  ASSERT_EQ(LoadBody("<MACRO Key=\"A\" Value=\"1\"/>\n"
                     "<!-- <MACRO Key=\"B\" Value=\"$(UNDEFINED)\"/> -->\n"
                     "<UNKNOWN_SECTION><MACRO Key=\"C\" Value=\"3\"/></UNKNOWN_SECTION>\n"
                     "<COORDINATE_SYSTEM_DEF><MACRO Key=\"E\" Value=\"5\"/>$(UNDEFINED)"
                     "</COORDINATE_SYSTEM_DEF>\n"
                     "<FACTORY_DEF>$(UNDEFINED)<HVX_RULE RuleID=\"f\"/></FACTORY_DEF>\n"
                     "<DEFAULT_MACRO Key=\"F\" Value=\"6\"/>\n"
                     "<?HVX_RULE RuleID=\"pi\"?>\n"
                     "loose text $(UNDEFINED)\n"
                     "<MACRO Key=\"G\" Value=\"7\"/>"),
            0);
  EXPECT_THAT(mapping.macroNames, ElementsAre("A", "G"));
  EXPECT_THAT(mapping.rules, IsEmpty());
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(MappingFileTest, ProcessingInstructionsNamedLikeSectionsAreNotSections) {
  ASSERT_EQ(LoadBody("<?MAP_SCALE 5?><?INCLUDE a.xml?><?MACRO Key=\"A\" Value=\"1\"?>"
                     "<?WRITER_PARAMETER <KeyValuePair><Key>K</Key><Value>V</Value>"
                     "</KeyValuePair>?>"),
            0);
  EXPECT_EQ(mapping.mapScale, MappingFile().mapScale);
  EXPECT_THAT(mapping.includeFiles, IsEmpty());
  EXPECT_THAT(mapping.macroNames, IsEmpty());
  EXPECT_THAT(mapping.writerParameters, IsEmpty());
}
