// Macros, dynamic macros, includes and the expansion of texts, cycles included.
#include <chrono>

#include "MappingFileTest.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// A DESTINATION_DATASET holding text: the simplest expanded text of a mapping file.
std::string Destination(const std::string& text) {
  return "<DESTINATION_DATASET>" + text + "</DESTINATION_DATASET>";
}

std::string Macro(const std::string& key, const std::string& value) {
  return "<MACRO Key=\"" + key + "\" Value=\"" + value + "\"/>";
}

}  // namespace

TEST_F(MappingFileTest, FirstDefinitionOfAMacroWinsAndIsListedOnce) {
  ASSERT_EQ(LoadBody(Macro("A", "first") + Macro("B", " b ") + Macro("A", "second") +
                     Macro("", "") + "<MACRO Key=\"N\"/><MACRO key=\"L\" Value=\"l\"/>" +
                     "<DYNAMIC_MACRO Key=\"D\" Value=\"$(A)\"/><DYNAMIC_MACRO Key=\"D\" Value=\"2\"/>" +
                     "<MACRO Key=\"C\" Value=\"c\"><Value>ignored</Value></MACRO>"),
            0);
  EXPECT_THAT(mapping.macroNames, ElementsAre("A", "B", "", "C"));
  EXPECT_EQ(mapping.macros.at("A"), "first");
  EXPECT_EQ(mapping.macros.at("B"), " b ");  // neither trimmed nor expanded
  EXPECT_EQ(mapping.macros.at(""), "");
  EXPECT_EQ(mapping.macros.at("C"), "c");
  EXPECT_THAT(mapping.dynamicMacroNames, ElementsAre("D"));
  EXPECT_EQ(mapping.dynamicMacros.at("D"), "$(A)");
  EXPECT_EQ(mapping.macros.count("D"), 0u);
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(MappingFileTest, ExpansionTrimsLeadingWhiteSpaceAndReplacesEveryOccurrence) {
  ASSERT_EQ(LoadBody(Macro("A", "x") + Destination(" \t\n $(A)/$(A) \n")), 0);
  EXPECT_EQ(mapping.destinationDataset, "x/x \n");
}

TEST_F(MappingFileTest, DollarTextsAreLeftForTheConsumerOnlyAtTheStart) {
  mapping.macros = {{"A", "x"}};
  std::string exempt = "  D$(A)/$(A)";
  EXPECT_EQ(mapping.ExpandMacros(exempt), 0);
  EXPECT_EQ(exempt, "D$(A)/$(A)");
  std::string later = "pre d$(A)";
  EXPECT_EQ(mapping.ExpandMacros(later), 0);
  EXPECT_EQ(later, "pre dx");
}

TEST_F(MappingFileTest, UnclosedReferenceStopsQuietly) {
  mapping.macros = {{"A", "x"}};
  std::string text = " $(A) $(B";
  EXPECT_EQ(mapping.ExpandMacros(text), 1);
  EXPECT_EQ(text, "x $(B");
  EXPECT_THAT(events.logs, IsEmpty());
}

TEST_F(MappingFileTest, MacroValuesAreExpandedWhenSubstituted) {
  // B is defined after A refers to it, but before the text that uses A.
  ASSERT_EQ(LoadBody(Macro("A", "$(B)/a") + Macro("B", "$(C)b") + Macro("C", "c") +
                     Destination("$(A)")),
            0);
  EXPECT_EQ(mapping.destinationDataset, "cb/a");
}

TEST_F(MappingFileTest, ReferenceToALaterMacroStaysAndIsReported) {
  ASSERT_EQ(LoadBody(Macro("A", "x") + Destination("$(A)/$(LATER)/$(A)") + Macro("LATER", "y")),
            0);
  EXPECT_EQ(mapping.destinationDataset, "x/$(LATER)/x");
  EXPECT_THAT(Messages(), ElementsAre(MissingMacro("LATER")));
  EXPECT_EQ(events.logs.back().level, 2);
  EXPECT_EQ(events.logs.back().code, 0x3049fu);
}

TEST_F(MappingFileTest, MacroNamesAreCaseSensitiveAndOnlyPlainMacrosExpand) {
  ASSERT_EQ(LoadBody(Macro("a", "lower") + "<DYNAMIC_MACRO Key=\"D\" Value=\"dyn\"/>" +
                     Destination("$(A)") + "<MAPPING_FILE_ID>$(a)</MAPPING_FILE_ID>" +
                     "<INCLUDE>$(D)</INCLUDE>"),
            0);
  EXPECT_EQ(mapping.destinationDataset, "$(A)");
  EXPECT_EQ(mapping.mappingFileId, "$(a)");  // not an expanded text
  ASSERT_GE(Messages().size(), 2u);
  EXPECT_EQ(Messages()[0], MissingMacro("A"));
  EXPECT_EQ(Messages()[1], MissingMacro("D"));
}

TEST_F(MappingFileTest, EmptyReferenceNeedsAnEmptyKey) {
  mapping.macros = {{"A", "x"}};
  std::string text = "$()";
  EXPECT_EQ(mapping.ExpandMacros(text), 1);
  EXPECT_EQ(text, "$()");
  mapping.macros[""] = "empty";
  EXPECT_EQ(mapping.ExpandMacros(text), 0);
  EXPECT_EQ(text, "empty");
}

TEST_F(MappingFileTest, IncludesAreExpandedAndUnresolvedOnesDropped) {
  ASSERT_EQ(LoadBody(Macro("DIR", "/data") + "<INCLUDE>  $(DIR)/common.xml</INCLUDE>" +
                     "<INCLUDE>$(NOWHERE)/other.xml</INCLUDE><INCLUDE>last.xml</INCLUDE>"),
            0);
  EXPECT_THAT(mapping.includeFiles, ElementsAre("/data/common.xml", "last.xml"));
  ASSERT_EQ(events.logs.size(), 3u);
  EXPECT_EQ(events.logs[1].Utf8(), MissingMacro("NOWHERE"));
  EXPECT_TRUE(IsExceptionLine(events.logs[2])) << events.logs[2].Utf8();
}

TEST_F(MappingFileTest, CyclicMacrosEndAtOnceWithTheTextAsItStood) {
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(LoadBody(Macro("SELF", "$(SELF)") + Macro("GROW", "x$(GROW)") +
                     Macro("PING", "[$(PONG)]") + Macro("PONG", "($(PING))") +
                     Macro("OUTER", "o/$(PING)") + Macro("OK", "fine") +
                     Destination("$(OK)/$(SELF)") + "<INCLUDE>$(GROW)</INCLUDE>" +
                     "<READER_PARAMETER><KeyValuePair><Key>K</Key><Value>$(OUTER)</Value>"
                     "</KeyValuePair></READER_PARAMETER>"),
            0);
  EXPECT_EQ(mapping.destinationDataset, "fine/$(SELF)");
  EXPECT_THAT(mapping.includeFiles, IsEmpty());
  EXPECT_THAT(mapping.readerParameters, ElementsAre("K", "o/$(PING)"));
  const std::vector<std::string> messages = Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0], "映射文件中宏定义循环引用或展开过大：SELF");
  EXPECT_EQ(messages[1], "映射文件中宏定义循环引用或展开过大：GROW");
  EXPECT_TRUE(IsExceptionLine(events.logs[3]));
  EXPECT_EQ(messages[3], "映射文件中宏定义循环引用或展开过大：PING");
  EXPECT_EQ(events.logs[1].code, 0x3049fu);
  EXPECT_EQ(events.logs[1].level, 2);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(MappingFileTest, ReloadedJobForgetsTheCyclesOfTheLastLoad) {
  // The same number of macros both times, so nothing but the reload can tell them apart.
  ASSERT_EQ(LoadBody(Macro("A", "$(B)") + Macro("B", "$(A)") + Destination("$(A)")), 0);
  EXPECT_EQ(mapping.destinationDataset, "$(A)");
  ASSERT_EQ(LoadBody(Macro("A", "$(B)") + Macro("B", "fixed") + Destination("$(A)")), 0);
  EXPECT_EQ(mapping.destinationDataset, "fixed");
}

TEST_F(MappingFileTest, ExplodingExpansionsAreCutShortAndLongChainsAreNot) {
  const auto start = std::chrono::steady_clock::now();
  // No cycle, but every level doubles the text: 2^44 bytes at the top.
  mapping.macros = {{"L0", "0123456789abcdef"}};
  for (int i = 1; i <= 40; ++i) {
    const std::string lower = "$(L" + std::to_string(i - 1) + ")";
    mapping.macros["L" + std::to_string(i)] = lower + lower;
  }
  std::string bomb = "$(L40)";
  EXPECT_EQ(mapping.ExpandMacros(bomb), 1);
  EXPECT_LE(bomb.size(), std::size_t{64} << 20);
  ASSERT_EQ(events.logs.size(), 1u);
  // Cut at whichever level was being substituted when the bound was reached.
  EXPECT_EQ(events.logs[0].Utf8().rfind("映射文件中宏定义循环引用或展开过大：L", 0), 0u);
  EXPECT_EQ(events.logs[0].code, 0x3049fu);

  // A chain of a thousand macros, each naming the next, is long but ends.
  mapping.macros = {{"C1000", "end"}};
  for (int i = 0; i < 1000; ++i) {
    mapping.macros["C" + std::to_string(i)] = "$(C" + std::to_string(i + 1) + ")";
  }
  std::string chain = "$(C0)";
  EXPECT_EQ(mapping.ExpandMacros(chain), 0);
  EXPECT_EQ(chain, "end");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(MappingFileTest, OneLoadCanGrowItsTextsOnlySoFar) {
  std::string references;
  for (int i = 0; i < 40; ++i) references += "$(MB)";
  ASSERT_EQ(LoadBody(Macro("MB", std::string(1 << 20, 'm')) + Macro("S", "s") +
                     Destination(references) + "<INCLUDE>" + references + "</INCLUDE>" +
                     "<MAPPING_FILE_ID>after</MAPPING_FILE_ID>" +
                     "<MAP_SCALE>$(S)</MAP_SCALE>"),
            0);
  EXPECT_EQ(mapping.destinationDataset.size(), std::size_t{40} << 20);
  // The second 40 MiB would pass the budget of the load: refused, the rest still read.
  EXPECT_THAT(mapping.includeFiles, IsEmpty());
  EXPECT_EQ(Messages()[0], "映射文件中宏定义循环引用或展开过大：MB");
  EXPECT_EQ(mapping.mappingFileId, "after");
  EXPECT_EQ(mapping.mapScale, 0);  // "s" has no digits, but it was expanded
  // A new load has the whole budget again.
  ASSERT_EQ(mapping.Load(), 0);
  EXPECT_EQ(mapping.destinationDataset.size(), std::size_t{40} << 20);
}

TEST_F(MappingFileTest, HugeTextsExpandInOnePassPerName) {
  std::string text;
  for (int i = 0; i < 1000000; ++i) text += "$(A)";
  ASSERT_EQ(LoadBody(Macro("A", "ab") + Destination(text)), 0);
  EXPECT_EQ(mapping.destinationDataset.size(), 2000000u);
}
