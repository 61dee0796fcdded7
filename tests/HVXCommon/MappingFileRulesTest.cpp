// Attribute variables, attribute pairs, conversion rules and their conditions.
#include "MappingFileTest.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::string Pair(const std::string& name, const std::string& value,
                 const std::string& extra = "") {
  return "<AttributePair><AttributeName>" + name + "</AttributeName><AttributeValue>" + value +
         "</AttributeValue>" + extra + "</AttributePair>";
}

std::string Condition(const std::string& type, const std::string& op,
                      const std::string& name = "CODE", const std::string& value = "1") {
  return "<Condition><ConditionType>" + type + "</ConditionType><AttributeName>" + name +
         "</AttributeName><Operator>" + op + "</Operator><AttributeValue>" + value +
         "</AttributeValue></Condition>";
}

std::string Rule(const std::string& id, const std::string& content) {
  return "<HVX_RULE RuleID=\"" + id + "\">" + content + "</HVX_RULE>";
}

}  // namespace

TEST_F(MappingFileTest, VariablesAreFiledUnderUpperCaseClassNames) {
  ASSERT_EQ(LoadBody("<MACRO Key=\"V\" Value=\"v\"/>"
                     "<VARIABLE><FeatureClassName>river</FeatureClassName>" +
                     Pair("code", " $(V)1",
                          "<DefaultValue>a</DefaultValue><DefaultValue>$(V)</DefaultValue>"
                          "<DefaultValue>c</DefaultValue>") +
                     Pair("CODE", "second") + Pair("name", "n") +
                     "</VARIABLE>"
                     "<VARIABLE><FeatureClassName>RIVER</FeatureClassName>" + Pair("other", "o") +
                     "</VARIABLE>"
                     "<VARIABLE>" + Pair("late", "l") +
                     "<FeatureClassName>lake</FeatureClassName></VARIABLE>"
                     "<VARIABLE><AttributePair><AttributeValue>anonymous</AttributeValue>"
                     "</AttributePair></VARIABLE>"),
            0);
  EXPECT_THAT(mapping.variableClassNames, ElementsAre("RIVER", "LAKE", ""));
  const AttributeTable& river = mapping.variables.at("RIVER");
  ASSERT_EQ(river.size(), 2u);
  EXPECT_EQ(river.at("CODE").value, "v1");
  EXPECT_THAT(river.at("CODE").defaultValues, ElementsAre("a", "v", "c"));
  EXPECT_EQ(river.at("NAME").value, "n");
  EXPECT_THAT(mapping.variableAttributeNames.at("RIVER"), ElementsAre("CODE", "NAME"));
  EXPECT_EQ(mapping.variables.at("LAKE").at("LATE").value, "l");
  EXPECT_EQ(mapping.variables.at("").at("").value, "anonymous");
  EXPECT_THAT(mapping.variableAttributeNames.at(""), ElementsAre(""));
}

TEST_F(MappingFileTest, ChineseClassNamesAreUpperCasedAroundTheirCharacters) {
  ASSERT_EQ(LoadBody("<VARIABLE><FeatureClassName>河流river</FeatureClassName>" +
                     Pair("名称name", "长江") + "</VARIABLE>"),
            0);
  ASSERT_EQ(mapping.variables.count(Gbk("河流RIVER")), 1u);
  EXPECT_EQ(mapping.variables.at(Gbk("河流RIVER")).at(Gbk("名称NAME")).value, Gbk("长江"));
}

TEST_F(MappingFileTest, RuleCarriesItsSourceAndDestination) {
  ASSERT_EQ(LoadBody("<MACRO Key=\"CLS\" Value=\"river\"/>" +
                     Rule("R1",
                          "<SOURCE><FeatureClassName> $(CLS)</FeatureClassName>"
                          "<GeometryType>Line</GeometryType>" +
                              Condition("HVX_WHERE", "EQ", "CODE", "$(CLS)") +
                              Condition("HVX_WHERE", "LIKE") + Condition("hvx_and", "eq") +
                              Condition("WHEN", "GE") + Condition("WHEN", "LIKE") +
                              Condition("HVX_OR ", "NE ") +
                              "</SOURCE>"
                              "<DESTINATION><FeatureClassName>%CODE_dem</FeatureClassName>"
                              "<Alias>River DEM</Alias><GeometryType>Grid</GeometryType>"
                              "<GeometryTransform>t1</GeometryTransform>"
                              "<GeometryTransform>t2</GeometryTransform>" +
                              Pair("code", "12") + Pair("Code", "13") +
                              "</DESTINATION>")),
            0);
  ASSERT_EQ(mapping.rules.count("R1"), 1u);
  const RuleInfo& rule = mapping.rules.at("R1");
  EXPECT_EQ(rule.sourceFeatureClass, "river");  // case kept, unlike variables
  EXPECT_EQ(rule.sourceGeometryType, "Line");
  ASSERT_EQ(rule.conditions.size(), 4u);
  EXPECT_EQ(rule.conditions[0].conditionType, "HVX_WHERE");
  EXPECT_EQ(rule.conditions[0].attributeName, "CODE");
  EXPECT_EQ(rule.conditions[0].operatorName, "EQ");
  EXPECT_EQ(rule.conditions[0].attributeValue, "river");
  EXPECT_EQ(rule.conditions[1].operatorName, "LIKE");
  EXPECT_EQ(rule.conditions[2].conditionType, "hvx_and");
  EXPECT_EQ(rule.conditions[3].conditionType, "WHEN");
  EXPECT_EQ(rule.destinationFeatureClass, "%CODE_dem");
  EXPECT_EQ(rule.alias, "River DEM");
  EXPECT_EQ(rule.destinationGeometryType, "Grid");
  EXPECT_THAT(rule.geometryTransforms, ElementsAre("t1", "t2"));
  ASSERT_TRUE(rule.attributePairs.has_value());
  ASSERT_EQ(rule.attributePairs->size(), 1u);
  EXPECT_EQ(rule.attributePairs->at("CODE").value, "12");
  EXPECT_THAT(rule.attributeNames, ElementsAre("CODE"));
}

TEST_F(MappingFileTest, RulesNeedAnIdAndTheLastOfAnIdWins) {
  ASSERT_EQ(LoadBody(Rule("dup", "<SOURCE><FeatureClassName>first</FeatureClassName></SOURCE>") +
                     "<HVX_RULE><SOURCE><FeatureClassName>no id</FeatureClassName></SOURCE>"
                     "</HVX_RULE>"
                     "<HVX_RULE ruleid=\"lower\"/>" + Rule("empty", "") + Rule("DUP", "") +
                     Rule("dup", "<SOURCE><FeatureClassName>second</FeatureClassName></SOURCE>")),
            0);
  EXPECT_THAT(mapping.ruleIds, ElementsAre("dup", "empty", "DUP", "dup"));
  ASSERT_EQ(mapping.rules.size(), 3u);
  EXPECT_EQ(mapping.rules.at("dup").sourceFeatureClass, "second");
  const RuleInfo& empty = mapping.rules.at("empty");
  EXPECT_EQ(empty.sourceFeatureClass, "");
  EXPECT_THAT(empty.conditions, IsEmpty());
  EXPECT_FALSE(empty.attributePairs.has_value());
}

TEST_F(MappingFileTest, LaterDestinationStartsTheAttributesAfresh) {
  ASSERT_EQ(LoadBody(Rule("r", "<DESTINATION><FeatureClassName>a</FeatureClassName>" +
                                   Pair("OLD", "1") + Pair("BOTH", "1") +
                                   "</DESTINATION><DESTINATION>" + Pair("BOTH", "2") +
                                   Pair("NEW", "2") + "</DESTINATION>")),
            0);
  const RuleInfo& rule = mapping.rules.at("r");
  EXPECT_EQ(rule.destinationFeatureClass, "a");
  ASSERT_EQ(rule.attributePairs->size(), 2u);
  EXPECT_EQ(rule.attributePairs->at("BOTH").value, "2");
  EXPECT_THAT(rule.attributeNames, ElementsAre("BOTH", "NEW"));
}
