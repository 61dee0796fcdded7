// The English line that follows each of the writer's Chinese refusals for a user who reads English.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "GeodemEndToEnd.h"
#include "apps/geodem/convert/WriterReasonText.h"

namespace {

TEST(WriterReasonText, GivesEachRefusalInEnglishWithWhatItNames) {
  const struct {
    std::uint32_t code;
    const char* chinese;
    const char* english;  // "" for a line that is none of the writer's sentences
  } cases[] = {
      {0x201a0, "参数 DEM_ZOOM 的值“0”无效：须为不小于 1 的整数",
       "the value \"0\" of the writer parameter DEM_ZOOM is not valid: it must be a whole number "
       "from 1"},
      {0x201a0, "参数 RASTER_NODATA 的值“x”无效：须为数值",
       "the value \"x\" of the writer parameter RASTER_NODATA is not valid: it must be a number"},
      {0x3049c, "映射文件无效 位于3行，7列, Opening and ending tag mismatch",
       "the mapping file is not valid: at line 3, column 7: Opening and ending tag mismatch"},
      {0x3049c, "映射文件无效 unknown", "the mapping file is not valid: unknown"},
      {0x200a1, "文件: /d/a.dem 正由另一个转换（进程 42）写入",
       "/d/a.dem is being written by another conversion (process 42)"},
      {0x2019a, "/d/a.dem：写入数据集失败（写入磁盘）No space left on device",
       "/d/a.dem: writing to the disk failed: No space left on device"},
      {0x2019a, "/d/a.dem：写入数据集失败（写入数据块）", "/d/a.dem: writing a block failed"},
      {0x2019a, "/d/a.dem：写入数据集失败（别的）原因", "/d/a.dem: writing failed (别的): 原因"},
      {0x20198, "输出目标数据集/d/a.dem失败", "/d/a.dem was not output"},
      {0x20198, "另一句话", ""},
      {0x12345, "映射文件缺丢根元素", ""},  // a code of no sentence
  };
  for (const auto& c : cases)
    EXPECT_EQ(WriterReasonText::English(c.code, c.chinese), c.english) << c.chinese;
}

// Under an English locale the writer's refusal of a mapping file's zoom stays as it is, and the
// next line says it in English.
TEST_F(GeodemEndToEnd, WritersRefusalIsFollowedByItsReasonInEnglish) {
  const std::string source = Write(TestRaster{}, "dem.tif");
  TempDir::WriteFile(dir_ / "job.xml",
                     "<HVX_MappingFile><WRITER_PARAMETER><KeyValuePair><Key>DEM_ZOOM</Key>"
                     "<Value>0</Value></KeyValuePair></WRITER_PARAMETER></HVX_MappingFile>");
  const ProcessResult r = Convert({"--mapping", dir_ / "job.xml", source, dir_ / "a.dem"});
  EXPECT_NE(r.status, 0);
  EXPECT_THAT(r.err, testing::HasSubstr(
                         "error: 参数 DEM_ZOOM 的值“0”无效：须为不小于 1 的整数\n"
                         "error: the writer: the value \"0\" of the writer parameter DEM_ZOOM is "
                         "not valid: it must be a whole number from 1\n"));
}

}  // namespace
