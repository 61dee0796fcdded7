#include "host/CodePage.h"

#include <gtest/gtest.h>

#include "host/GeoEvents.h"
#include "support/EventCapture.h"

namespace {

// "表" is 0xB1 0xED in GBK, and "兰" is 0xC0 0xBC; "伝"-like trail bytes in 0x40-0x7E hit ASCII
// letters: "乇" is 0x81 0x61 ('a' as its trail byte) and "钡" is 0xB1 0xB5.
const std::string kTrailIsLetter = "\x81\x61";  // a GBK character whose trail byte is 'a'
const std::string kTrailIsBackslash = "\x81\x5C";  // trail byte '\\'

TEST(CodePage, ConvertsBetweenGbkUtf16AndUtf8) {
  std::string gbk = Utf8ToGbk("输出对象统计");
  EXPECT_EQ(gbk.size(), 12u);  // two bytes per character
  EXPECT_EQ(GbkToUtf16(gbk), u"输出对象统计");
  EXPECT_EQ(Utf16ToGbk(u"输出对象统计"), gbk);
  EXPECT_EQ(GbkToUtf8(gbk), "输出对象统计");
  EXPECT_EQ(Utf16ToGbk(static_cast<const char16_t*>(nullptr)), "");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("abc 中文")), "abc 中文");
}

TEST(CodePage, UnrepresentableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf16ToGbk(u"a\U0001F600b"), "a??b");  // surrogate pair: one mark per unit
  EXPECT_EQ(GbkToUtf8("a\xFF" "b"), "a?b");
}

TEST(CodePage, UpperCasingLeavesDoubleByteCharactersAlone) {
  std::string text = "abc" + kTrailIsLetter + "xyz" + Utf8ToGbk("中文") + "q";
  std::string upper = GbkToUpper(text);
  EXPECT_EQ(upper, "ABC" + kTrailIsLetter + "XYZ" + Utf8ToGbk("中文") + "Q");
}

TEST(CodePage, CaseInsensitiveComparisonIsMultibyteAware) {
  EXPECT_TRUE(GbkEqualsNoCase("Write_Parameter", "WRITE_PARAMETER"));
  EXPECT_FALSE(GbkEqualsNoCase("abc", "abd"));
  // A trail byte 'a' must not match 'A': these are different characters.
  EXPECT_FALSE(GbkEqualsNoCase(kTrailIsLetter, "\x81\x41"));
  EXPECT_TRUE(GbkEqualsNoCase("x" + kTrailIsLetter, "X" + kTrailIsLetter));
  EXPECT_LT(GbkCompareNoCase("ab", "abc"), 0);
}

TEST(CodePage, SeparatorSearchSkipsTrailBytes) {
  std::string path = "dir/" + kTrailIsBackslash + ".dem";
  EXPECT_EQ(GbkFindLastSeparator(path), 3u);
  EXPECT_EQ(GbkFindLastSeparator("a\\b/c"), 3u);
  EXPECT_EQ(GbkFindLastSeparator(kTrailIsBackslash), std::string::npos);
  EXPECT_EQ(GbkFind(kTrailIsBackslash + "\\", "\\"), 2u);
}

TEST(GeoEvents, ChineseMessageReachesTheSinkAsUtf16OfItsGbkText) {
  EventCapture events;
  std::string gbk = FormatGbk("文件: %s 已经存在，且设置为不覆盖", Utf8ToGbk("甲.dem").c_str());
  FireGeoLogGbk(gbk, kLogError, 0x200a0);
  ASSERT_EQ(events.logs.size(), 1u);
  EXPECT_EQ(events.logs[0].text, u"文件: 甲.dem 已经存在，且设置为不覆盖");
  EXPECT_EQ(events.logs[0].level, 2);
  EXPECT_EQ(events.logs[0].code, 0x200a0u);
  EXPECT_EQ(events.logs[0].Gbk(), gbk);
}

TEST(GeoEvents, WidthsCountGbkBytes) {
  std::string row = FormatGbk("%-8s|", Utf8ToGbk("中文").c_str());
  EXPECT_EQ(row.size(), 9u);  // 4 bytes of text, 4 blanks, the bar
}

TEST(GeoEvents, WithoutSinkEventsAreDropped) {
  GeoEventSink* before = SetGeoEventSink(nullptr);
  std::int32_t flag = 0;
  FireGeoLog(u"nobody listens", 0, 1);
  FireGeoProgress(1, 2, 0, 0x20102, u"x", &flag);
  SetGeoEventSink(before);
}

}  // namespace
