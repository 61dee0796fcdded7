#include <gtest/gtest.h>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "RasterFixtures.h"

namespace {

TEST(WriterSettings, LogOutputOnlyNoInAnyCaseTurnsLoggingOff) {
  HVXORasterWriterBase writer;
  EXPECT_EQ(writer.SetWriterSettings(MakeProperties({{"LOG_OUTPUT", "no"}}).Get()), 0);
  EXPECT_EQ(writer.logOutput, 0);
  for (const char* on : {"No-Log", "0", ""}) {
    writer.logOutput = 0;
    writer.SetWriterSettings(MakeProperties({{"log_output", on}}).Get());
    EXPECT_EQ(writer.logOutput, 1) << on;
  }
}

TEST(WriterSettings, KeywordsAndNumbers) {
  HVXORasterWriterBase writer;
  writer.SetWriterSettings(MakeProperties({{"TRANSFORM_PROJECTION", "yes"},
                                           {"RASTER_RESAMPLE", "bc"},
                                           {"FEATURE_INTERVAL", "250abc"}})
                               .Get());
  EXPECT_EQ(writer.transformProjection, 1);
  EXPECT_EQ(writer.resampleMethod, 2);
  EXPECT_EQ(writer.featureInterval, 250);

  writer.SetWriterSettings(MakeProperties({{"TRANSFORM_PROJECTION", "true"},
                                           {"RASTER_RESAMPLE", "cubic"},
                                           {"FEATURE_INTERVAL", "abc"}})
                               .Get());
  EXPECT_EQ(writer.transformProjection, 0);
  EXPECT_EQ(writer.resampleMethod, 2);  // an unknown method keeps the previous one
  EXPECT_EQ(writer.featureInterval, 0);
}

TEST(WriterSettings, SecondSetIsKeptAndAbsentKeysKeepTheirValues) {
  HVXORasterWriterBase writer;
  auto first = MakeProperties({{"LOG_OUTPUT", "NO"}, {"RASTER_RESAMPLE", "NN"}});
  auto second = MakeProperties({{"FEATURE_INTERVAL", "7"}});
  writer.SetWriterSettings(first.Get());
  writer.SetWriterSettings(second.Get());
  EXPECT_EQ(writer.parameterSet.Get(), second.Get());
  EXPECT_EQ(writer.logOutput, 0);
  EXPECT_EQ(writer.resampleMethod, 0);
  EXPECT_EQ(writer.featureInterval, 7);
  first->AddRef();
  EXPECT_EQ(first->Release(), 1u);  // the writer let go of the first set

  EXPECT_EQ(writer.SetWriterSettings(nullptr), 1);
  EXPECT_EQ(writer.parameterSet.Get(), second.Get());
}

TEST(DatasetSelection, FirstQuotedNameAfterTheMarker) {
  HVXORasterWriterBase writer;
  writer.mappingFile.readerDirectives = {"OTHER",
                                         "DATASETNAMESP=\"X\"",
                                         "fusion_set",
                                         "mode=1 datasetnamesp= \"Dem_A\" rest",
                                         "TWO_INPUT_OPERATOR_SET",
                                         "DATASETNAME1=\"Dem_B\""};
  writer.ReadDatasetSelection();
  EXPECT_EQ(writer.selectionActive, 1);
  EXPECT_EQ(writer.selectedDataset, "Dem_A");
}

TEST(DatasetSelection, UnquotedNameOrOddListSelectsNothing) {
  HVXORasterWriterBase writer;
  writer.mappingFile.readerDirectives = {"FUSION_SET", "DATASETNAMESP=Dem_A",
                                         "TWO_INPUT_OPERATOR_SET", "DATASETNAME1=\"Dem_B"};
  writer.ReadDatasetSelection();
  EXPECT_EQ(writer.selectionActive, 0);

  writer.mappingFile.readerDirectives = {"FUSION_SET", "DATASETNAMESP=\"Dem_A\"", "EXTRA"};
  writer.selectionActive = 1;
  writer.selectedDataset = "old";
  writer.ReadDatasetSelection();
  EXPECT_EQ(writer.selectionActive, 0);
  EXPECT_EQ(writer.selectedDataset, "");
}

}  // namespace
