#include <gtest/gtest.h>

#include "HVXOWRITER/HVXOWriterBase/HVXOWriterBase.h"
#include "host/CodePage.h"
#include "support/EventCapture.h"

namespace {

const std::string kTitle = "                         输出对象统计                        ";
const std::string kDouble(62, '=');
const std::string kSingle(62, '-');
const std::string kColumns = "地物类                          总数      输出      未输出    ";

// Counts `written` of `received` blocks for a target the way the write step does.
void CountTarget(HVXOWriterBase& writer, const std::string& key, int received, int written) {
  for (int i = 0; i < received; ++i) {
    if (i == 0) {
      writer.CountFirstBlock(key);
    } else {
      writer.CountNextBlock(key);
    }
    if (i < written) writer.CountWrittenBlock(key);
  }
}

std::vector<std::string> TargetBlock(const std::string& key, const std::string& row,
                                     const std::string& totals) {
  return {"目标数据集：" + key, kSingle, kColumns, kSingle, row, kSingle, totals, kDouble};
}

std::vector<std::string> GbkTexts(const EventCapture& events) {
  std::vector<std::string> out;
  for (const auto& log : events.logs) out.push_back(log.Gbk());
  return out;
}

TEST(OutputStatistics, FixedWidthsAreGbkBytes) {
  EXPECT_EQ(Utf8ToGbk(kTitle).size(), 61u);
  EXPECT_EQ(Utf8ToGbk(kColumns).size(), 62u);
}

TEST(OutputStatistics, OneTargetGivesTenLinesWithCodes) {
  HVXOWriterBase writer;
  CountTarget(writer, "D:\\dem\\J50.dem", 12, 12);
  EventCapture events;
  EXPECT_EQ(writer.ReportOutputStatistics(), 0);

  std::vector<std::string> expected = {kTitle, kDouble};
  auto block = TargetBlock("D:\\dem\\J50.dem",
                           "J50                             12        12        0         ",
                           "输出对象总数                   12        12        0         ");
  expected.insert(expected.end(), block.begin(), block.end());
  EXPECT_EQ(events.LogTexts(), expected);
  std::vector<std::uint32_t> codes;
  for (const auto& log : events.logs) {
    codes.push_back(log.code);
    EXPECT_EQ(log.level, 0);
  }
  EXPECT_EQ(codes, (std::vector<std::uint32_t>{0x20042, 0x20043, 0x20044, 0x20046, 0x20045, 0x20046,
                                               0x20041, 0x20046, 0x20040, 0x20043}));
  // The row's numbers stand at byte 32, the totals' one byte further left.
  EXPECT_EQ(GbkTexts(events)[6].find("12"), 32u);
  EXPECT_EQ(GbkTexts(events)[8].find("12"), 31u);
  EXPECT_TRUE(writer.outputStatistics.empty());
  EXPECT_EQ(writer.currentClassTable, nullptr);
}

TEST(OutputStatistics, TwoTargetsShareTitleAndEachHasItsBlock) {
  HVXOWriterBase writer;
  std::string chinese = Utf8ToGbk("/out/数据.dem");
  CountTarget(writer, "/out/a.dem", 3, 3);
  CountTarget(writer, chinese, 4, 3);  // the last block was not written
  EventCapture events;
  EXPECT_EQ(writer.ReportOutputStatistics(), 0);

  std::vector<std::string> expected = {Utf8ToGbk(kTitle), kDouble};
  for (const auto& line :
       TargetBlock("/out/a.dem", "a                               3         3         0         ",
                   "输出对象总数                   3         3         0         "))
    expected.push_back(Utf8ToGbk(line));
  // The class name is four GBK bytes: 28 blanks pad it to 32.
  for (const auto& line : TargetBlock(
           "/out/数据.dem", "数据                            4         3         1         ",
           "输出对象总数                   4         3         1         "))
    expected.push_back(Utf8ToGbk(line));
  EXPECT_EQ(GbkTexts(events), expected);
}

TEST(OutputStatistics, LongClassNamePushesNumbersRight) {
  HVXOWriterBase writer;
  std::string name(40, 'n');
  CountTarget(writer, "/o/" + name + ".dem", 1, 1);
  EventCapture events;
  writer.ReportOutputStatistics();
  ASSERT_EQ(events.logs.size(), 10u);
  EXPECT_EQ(events.logs[6].Gbk(), name + "1         1         0         ");
}

TEST(OutputStatistics, LogSwitchOffEmptiesTheStoreSilently) {
  HVXOWriterBase writer;
  writer.logOutput = 0;
  CountTarget(writer, "/o/a.dem", 2, 2);
  EventCapture events;
  EXPECT_EQ(writer.ReportOutputStatistics(), 0);
  EXPECT_TRUE(events.logs.empty());
  EXPECT_TRUE(writer.outputStatistics.empty());
}

TEST(OutputStatistics, EmptyStoreReportsNothing) {
  HVXOWriterBase writer;
  EventCapture events;
  EXPECT_EQ(writer.ReportOutputStatistics(), 1);
  EXPECT_TRUE(events.logs.empty());
}

TEST(OutputStatistics, ReopenedTargetStartsAFreshTable) {
  HVXOWriterBase writer;
  CountTarget(writer, "/o/a.dem", 5, 5);
  CountTarget(writer, "/o/a.dem", 2, 1);
  ASSERT_EQ(writer.outputStatistics.size(), 1u);
  const ClassCounts& counts = writer.outputStatistics["/o/a.dem"]["/o/a.dem"];
  EXPECT_EQ(counts.total, 2);
  EXPECT_EQ(counts.output, 1);
}

}  // namespace
