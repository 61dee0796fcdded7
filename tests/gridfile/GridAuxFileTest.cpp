#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "gridfile/GridAuxFile.h"
#include "support/TempDir.h"

namespace {

// What the writer records reads back; what GDAL or a user left there is read for band 1's
// no-data value only, and anything else is no value at all.
TEST(GridAuxFile, ReadsBandOnesNoDataValue) {
  struct Case {
    const char* what;
    std::string text;  // empty: no file
    std::optional<double> noData;
  };
  const Case cases[] = {
      {"as written", GridAuxFile::Text(-9999), -9999},
      {"zero", GridAuxFile::Text(0), 0},
      {"GDAL's statistics beside it",
       "<PAMDataset><PAMRasterBand band=\"1\"><NoDataValue>-32768</NoDataValue><Metadata>"
       "<MDI key=\"STATISTICS_MAXIMUM\">12</MDI></Metadata></PAMRasterBand></PAMDataset>",
       -32768},
      {"statistics alone",
       "<PAMDataset><PAMRasterBand band=\"1\"><Metadata/></PAMRasterBand></PAMDataset>",
       std::nullopt},
      {"another band's",
       "<PAMDataset><PAMRasterBand band=\"2\"><NoDataValue>7</NoDataValue></PAMRasterBand>"
       "</PAMDataset>",
       std::nullopt},
      {"not XML", "<PAMDataset><PAMRasterBand", std::nullopt},
      {"no file", "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    if (!c.text.empty()) TempDir::WriteFile(dir / "g.dem.aux.xml", c.text);
    EXPECT_EQ(GridAuxFile::ReadNoData(dir / "g.dem.aux.xml"), c.noData);
  }
}

}  // namespace
