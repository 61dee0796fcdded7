#include "apps/geodem/TranslatedHelp.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Descriptions line up in the column a terminal shows, whether the left column holds Chinese
// (two columns a character) or not, and one too wide for it moves the description below.
TEST(TranslatedHelp, DescriptionsStartInOneColumnWhateverTheLeftColumnHolds) {
  CLI::App app("test");
  app.formatter(std::make_shared<TranslatedHelp>());
  int value = 0;
  app.add_option("--zoom", value, "ZOOM-TEXT")->type_name("N");
  app.add_option("--nodata", value, "NODATA-TEXT")->type_name("无效值");
  app.add_option("--band", value, "BAND-TEXT")->type_name("高程所在的波段编号以及更多文字");
  std::istringstream help(app.help());
  int seen = 0;
  for (std::string line; std::getline(help, line);) {
    const std::size_t at = line.find("-TEXT");
    if (at == std::string::npos) continue;
    ++seen;
    const std::size_t start = line.rfind(' ', at) + 1;
    EXPECT_EQ(Translation::Columns(line.substr(0, start)), 30u) << line;
  }
  EXPECT_EQ(seen, 3);
}

}  // namespace
