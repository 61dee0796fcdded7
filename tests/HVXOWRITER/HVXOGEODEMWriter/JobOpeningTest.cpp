// Job opening: the mapping file's rules become destination names, its writer parameters the DEM
// parameters, its writer directives the raster settings.
#include <gtest/gtest.h>

#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "host/CodePage.h"
#include "support/EventCapture.h"
#include "support/TempDir.h"

namespace {

std::string Rule(const std::string& id, const std::string& source, const std::string& destination,
                 const std::string& pairs = "") {
  return "<HVX_RULE RuleID=\"" + id + "\"><SOURCE><FeatureClassName>" + source +
         "</FeatureClassName></SOURCE><DESTINATION><FeatureClassName>" + destination +
         "</FeatureClassName>" + pairs + "</DESTINATION></HVX_RULE>";
}

std::string Pair(const std::string& name, const std::string& value) {
  return "<AttributePair><AttributeName>" + name + "</AttributeName><AttributeValue>" + value +
         "</AttributeValue></AttributePair>";
}

std::string List(const std::string& element,
                 std::initializer_list<std::pair<std::string, std::string>> pairs) {
  std::string xml = "<" + element + ">";
  for (const auto& [k, v] : pairs)
    xml += "<KeyValuePair><Key>" + k + "</Key><Value>" + v + "</Value></KeyValuePair>";
  return xml + "</" + element + ">";
}

class JobOpening : public testing::Test {
 protected:
  HRESULT Open(const std::string& body) {
    std::string path = dir_ / ("job" + std::to_string(++files_) + ".xml");
    TempDir::WriteFile(path, "<?xml version=\"1.0\"?><HVX_MappingFile>" + body +
                                 "</HVX_MappingFile>");
    return writer_.OpenJob(Utf8ToUtf16(path).c_str());
  }

  TempDir dir_;
  int files_ = 0;
  HVXOGEODEMWriter writer_;
  const std::string params_ = List("WRITER_PARAMETER", {{"DEM_ZOOM", "10"}});
};

TEST_F(JobOpening, DestinationNamesFromRules) {
  ASSERT_EQ(Open(params_ + Rule("1", "river", "%CODE_dem", Pair("Code", "12")) +
                 Rule("2", "lake", "%code_dem", Pair("CODE", "7")) + Rule("3", "road", "*") +
                 Rule("4", "Road", "r1.dem") + Rule("5", "ROAD", "r2.dem") +
                 Rule("6", "empty", "") + Rule("7", "plain", "plain.dem")),
            S_OK);
  StringMap expected{{"RIVER", "12_dem"}, {"LAKE", "%code_dem"}, {"ROAD", "r2.dem"},
                     {"EMPTY", ""},       {"PLAIN", "plain.dem"}};
  EXPECT_EQ(writer_.destinationNames, expected);
}

TEST_F(JobOpening, WithoutWriterParametersTheJobIsRefusedAfterTheNamesAreBuilt) {
  EXPECT_EQ(Open(Rule("1", "river", "r.dem") + List("WRITER_DIRECTIVE", {{"LOG_OUTPUT", "NO"}})),
            S_FALSE);
  EXPECT_EQ(writer_.destinationNames.at("RIVER"), "r.dem");
  EXPECT_EQ(writer_.logOutput, 1);  // the directives were not applied
}

TEST_F(JobOpening, DirectivesBecomeRasterSettings) {
  EXPECT_EQ(Open(params_), S_OK);
  EXPECT_EQ(writer_.logOutput, 1);
  EXPECT_EQ(writer_.resampleMethod, 1);
  EXPECT_EQ(Open(params_ + List("WRITER_DIRECTIVE",
                                {{"LOG_OUTPUT", "no"}, {"RASTER_RESAMPLE", "BC"}})),
            S_OK);
  EXPECT_EQ(writer_.logOutput, 0);
  EXPECT_EQ(writer_.resampleMethod, 2);
  ASSERT_TRUE(writer_.parameterSet);
}

TEST_F(JobOpening, OddListsAreRefused) {
  EXPECT_EQ(Open("<WRITER_PARAMETER><KeyValuePair><Key>DEM_ZOOM</Key></KeyValuePair>"
                 "</WRITER_PARAMETER>"),
            S_FALSE);
  EXPECT_EQ(writer_.demParameters.zoom, 100);
  EXPECT_EQ(Open(params_ + "<WRITER_DIRECTIVE><KeyValuePair><Key>LOG_OUTPUT</Key></KeyValuePair>"
                           "</WRITER_DIRECTIVE>"),
            S_FALSE);
}

TEST_F(JobOpening, ASecondJobKeepsWhatItDoesNotSet) {
  ASSERT_EQ(Open(List("WRITER_PARAMETER", {{"DEM_ZOOM", "10"}, {"VERSION", "GRD_2007"}}) +
                 List("WRITER_DIRECTIVE", {{"LOG_OUTPUT", "NO"}})),
            S_OK);
  ASSERT_EQ(Open(List("WRITER_PARAMETER", {{"VERSION", "GRD_1999"}}) + Rule("1", "a", "b.dem")),
            S_OK);
  EXPECT_EQ(writer_.demParameters.zoom, 10);
  EXPECT_EQ(writer_.demParameters.version, "GRD_1999");
  EXPECT_EQ(writer_.logOutput, 0);
  EXPECT_EQ(writer_.destinationNames, (StringMap{{"A", "b.dem"}}));
}

TEST_F(JobOpening, MissingPathOrFile) {
  EventCapture events;
  EXPECT_EQ(writer_.OpenJob(nullptr), S_FALSE);
  EXPECT_TRUE(events.logs.empty());
  std::string missing = dir_ / "none.xml";
  EXPECT_EQ(writer_.OpenJob(Utf8ToUtf16(missing).c_str()), E_FAIL);
  ASSERT_FALSE(events.logs.empty());
  EXPECT_EQ(events.logs.back().code, 0x3049cu);  // the loader says why
}

// A zoom or no-data value that would destroy the data fails the job, said under the job's own log
// switch.
TEST_F(JobOpening, ValuesThatWouldDestroyTheDataFailTheJob) {
  const std::pair<const char*, const char*> refused[] = {
      {"DEM_ZOOM", "0"}, {"DEM_ZOOM", "-1"}, {"DEM_ZOOM", "0.5"}, {"DEM_ZOOM", ""},
      {"RASTER_NODATA", "abc"}};
  for (const auto& [key, value] : refused) {
    for (const char* log : {"YES", "NO"}) {
      EventCapture events;
      EXPECT_EQ(Open(List("WRITER_PARAMETER", {{key, value}}) +
                     List("WRITER_DIRECTIVE", {{"LOG_OUTPUT", log}})),
                S_FALSE)
          << key << "=" << value;
      std::vector<std::string> texts;
      for (const auto& line : events.logs)
        if (line.code == 0x201a0u) texts.push_back(line.Utf8());
      EXPECT_EQ(texts.size(), log[0] == 'Y' ? 1u : 0u) << key << "=" << value << " " << log;
      if (!texts.empty()) {
        EXPECT_NE(texts[0].find(std::string(key) + " 的值“" + value + "”"), std::string::npos);
      }
    }
  }
  EXPECT_EQ(writer_.demParameters.zoom, 100);
  EXPECT_EQ(writer_.demParameters.noDataValue, -99999.0);
}

}  // namespace
