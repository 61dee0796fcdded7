#include "apps/geodem/batch/ConversionLog.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

// The journal keeps the cause and geodem's summing up, never a progress line or an info line.
TEST(ConversionLog, WhyFailedTakesTheFirstAndLastErrorLines) {
  const struct {
    const char* log;
    const char* why;
  } cases[] = {
      {"0...10\ninfo: x\nerror: a.dem exists\n", "error: a.dem exists"},
      {"error: 输出目标数据集a.dem失败\ninfo: x\nerror: a.dem was not written: disk full\n",
       "error: 输出目标数据集a.dem失败; error: a.dem was not written: disk full"},
      {"error: GDAL: cause\nerror: middle\nexception: end\n", "error: GDAL: cause; exception: end"},
      {"0...10...\nKilled\n\n", "Killed"},
      {"", ""},
  };
  TempDir dir;
  for (const auto& c : cases) {
    TempDir::WriteFile(dir / "log", c.log);
    EXPECT_EQ(ConversionLog::WhyFailed(dir / "log"), c.why) << c.log;
  }
}

}  // namespace
