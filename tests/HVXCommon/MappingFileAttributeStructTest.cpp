// Attribute structure definitions and their fields.
#include "MappingFileTest.h"

using ::testing::IsEmpty;

namespace {

std::string Field(const std::string& children) { return "<Field>" + children + "</Field>"; }

std::string Section(const std::string& side, const std::string& className,
                    const std::string& fields) {
  return "<" + side + "><FeatureClassName>" + className + "</FeatureClassName>" + fields + "</" +
         side + ">";
}

}  // namespace

TEST_F(MappingFileTest, FieldValuesFollowTheirRules) {
  ASSERT_EQ(
      LoadBody("<MACRO Key=\"W\" Value=\"8\"/><ATTRIBUTESTRUCT_DEF>" +
               Section("SOURCE", "river",
                       Field("<Name>ONLY_NAME</Name>") +
                           Field("<Name>CODE</Name><Type>Integer</Type><Width>12abc</Width>"
                                 "<Decimals>$(W)</Decimals><IsNullable>FALSE</IsNullable>"
                                 "<PrimaryKey>TRUE</PrimaryKey><Delete>1</Delete>") +
                           Field("<IsNullable>no</IsNullable><PrimaryKey>yes</PrimaryKey>"
                                 "<Delete>true</Delete><Width></Width>") +
                           Field("<IsNullable>0</IsNullable><IsNullable>1</IsNullable>"
                                 "<PrimaryKey>1</PrimaryKey><Delete>yes</Delete>")) +
               "</ATTRIBUTESTRUCT_DEF>"),
      0);
  const FieldList& fields = mapping.sourceAttributeStructs.at("RIVER");
  ASSERT_EQ(fields.size(), 4u);
  EXPECT_EQ(fields[0].name, "ONLY_NAME");
  EXPECT_EQ(fields[0].type, "");
  EXPECT_EQ(fields[0].width, 0);
  EXPECT_EQ(fields[0].decimals, 0);
  EXPECT_EQ(fields[0].isNullable, 1);
  EXPECT_EQ(fields[0].isPrimaryKey, 0);
  EXPECT_EQ(fields[0].isDeleted, 0);

  EXPECT_EQ(fields[1].type, "Integer");
  EXPECT_EQ(fields[1].width, 12);
  EXPECT_EQ(fields[1].decimals, 8);
  EXPECT_EQ(fields[1].isNullable, 0);
  EXPECT_EQ(fields[1].isPrimaryKey, 1);
  EXPECT_EQ(fields[1].isDeleted, 1);

  EXPECT_EQ(fields[2].isNullable, 1);
  EXPECT_EQ(fields[2].isPrimaryKey, 0);
  EXPECT_EQ(fields[2].isDeleted, 1);
  EXPECT_EQ(fields[2].width, 0);

  EXPECT_EQ(fields[3].isNullable, 0);  // a later "1" does not set it again
  EXPECT_EQ(fields[3].isPrimaryKey, 1);
  EXPECT_EQ(fields[3].isDeleted, 0);
}

TEST_F(MappingFileTest, SectionsAreFiledBySideAndFirstClassWins) {
  ASSERT_EQ(LoadBody("<ATTRIBUTESTRUCT_DEF>" +
                     Section("SOURCE", "road", Field("<Name>first</Name>")) +
                     Section("source", "ROAD", Field("<Name>second</Name>")) +
                     Section("DESTINATION", "Road", Field("<Name>dest</Name>")) +
                     Section("MIDDLE", "road", Field("<Name>middle</Name>")) +
                     "<SOURCE>" + Field("<Name>anonymous</Name>") + "</SOURCE>" +
                     "</ATTRIBUTESTRUCT_DEF>"),
            0);
  ASSERT_EQ(mapping.sourceAttributeStructs.size(), 2u);
  EXPECT_EQ(mapping.sourceAttributeStructs.at("ROAD").at(0).name, "first");
  EXPECT_EQ(mapping.sourceAttributeStructs.at("").at(0).name, "anonymous");
  ASSERT_EQ(mapping.destinationAttributeStructs.size(), 1u);
  EXPECT_EQ(mapping.destinationAttributeStructs.at("ROAD").size(), 1u);
  EXPECT_EQ(mapping.destinationAttributeStructs.at("ROAD").at(0).name, "dest");
  EXPECT_THAT(Messages(), IsEmpty());
}
