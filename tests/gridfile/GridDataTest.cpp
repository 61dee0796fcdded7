#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "GridFileText.h"
#include "gridfile/GridValueScanner.h"

using namespace grid_file_text;

namespace {

const std::string kHeader3x4 = "NSDTF-DEM\n1.0\nM\n0.0\n0.0\n0\n0\n1\n1\n3\n4\n1\n\n";

// A 3 x 40 grid in the writer's own layout, cell i holding 1000 + i unless given another text:
// long rows, so that the values are read by the block reader rather than one by one.
std::string LongGrid(const std::map<int, std::string>& texts = {}) {
  std::string text =
      "NSDTF-DEM\r\n1.0\r\nM\r\n0.0\r\n0.0\r\n0\r\n0\r\n1\r\n1\r\n3\r\n40\r\n1\r\n\r\n";
  for (int i = 0; i < 120; ++i) {
    auto given = texts.find(i);
    text += "   " + (given == texts.end() ? std::to_string(1000 + i) : given->second) + " ";
    if (i % 10 == 9) text += "\r\n";
    if (i % 40 == 39) text += "\r\n";
  }
  return text;
}

TEST(GridData, ValuesAreReadWhateverTheLineBreaks) {
  for (const std::string& data : {std::string("1 2 3 4 5 6 7 8 9 10 11 12"),
                                  std::string("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n"),
                                  std::string("  1 2 3\r\n\r\n4 5\t6 7 8\r\n9 10 11 12 \r\n\r\n"),
                                  std::string("+1 2 3 4 5 6 7 8 9 10 11 012")}) {
    SCOPED_TRACE(data);
    GridOnDisk grid(kHeader3x4 + data);
    ASSERT_TRUE(grid.Open()) << grid.Reader().Error();
    std::vector<std::int32_t> cells;
    ASSERT_TRUE(grid.ReadAll(cells));
    EXPECT_EQ(cells, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  }
}

TEST(GridData, EverySpellingOfAnIntegerIsReadInLongRows) {
  const std::map<int, std::pair<std::string, std::int32_t>> cells = {
      {3, {"+17", 17}},
      {4, {"-0", 0}},
      {5, {"00000000000000000000000000000000000000000000000000000000000000000000000042", 42}},
      {6, {"123456789", 123456789}},
      {7, {"-2147483648", INT32_MIN}},
      {8, {"2147483647", INT32_MAX}},
      {9, {"-12345678", -12345678}},
      {10, {"12345678", 12345678}},
      {41, {"-5", -5}}};
  std::map<int, std::string> texts;
  for (const auto& [at, cell] : cells) texts[at] = cell.first;
  GridOnDisk grid(LongGrid(texts));
  ASSERT_TRUE(grid.Open()) << grid.Reader().Error();
  std::vector<std::int32_t> read;
  ASSERT_TRUE(grid.ReadAll(read));
  for (int i = 0; i < 120; ++i) {
    auto given = cells.find(i);
    EXPECT_EQ(read[static_cast<std::size_t>(i)],
              given == cells.end() ? 1000 + i : given->second.second)
        << "cell " << i;
  }
}

TEST(GridData, TheWholeInt32RangeIsReadAndNothingBeyond) {
  GridOnDisk grid(kHeader3x4 +
                  "2147483647 -2147483648 0000000000000000000000000000000005 -0 0 0 0 0 0 0 0 0");
  ASSERT_TRUE(grid.Open());
  std::int32_t row[4];
  ASSERT_TRUE(grid.Reader().ReadRow(0, row)) << grid.Reader().Error();
  EXPECT_EQ(std::vector<std::int32_t>(row, row + 4),
            (std::vector<std::int32_t>{2147483647, -2147483648, 5, 0}));
  std::vector<std::int32_t> cells;

  for (const char* big : {"2147483648", "-2147483649", "99999999999999999999999"}) {
    GridOnDisk out(kHeader3x4 + "1 2 3 4 5 " + big + " 7 8 9 10 11 12");
    ASSERT_TRUE(out.Open());
    EXPECT_TRUE(out.Reader().ReadRow(0, row));
    EXPECT_FALSE(out.Reader().ReadRow(1, row));
    EXPECT_EQ(out.Reader().Error(),
              "row 2, column 2: " + std::string(big) + " is outside the range of a 32-bit integer");

    GridOnDisk inLongRow(LongGrid({{57, big}}));
    ASSERT_TRUE(inLongRow.Open());
    EXPECT_FALSE(inLongRow.ReadAll(cells));
    EXPECT_EQ(inLongRow.Reader().Error(), "row 2, column 18: " + std::string(big) +
                                              " is outside the range of a 32-bit integer");
  }
}

TEST(GridData, NonNumericTokensAreNamedWithRowAndColumn) {
  for (const std::string& token : {std::string("abc"), std::string("12abc"), std::string("1.5"),
                                   std::string("-"), std::string("+-3"), std::string("4\0", 2)}) {
    SCOPED_TRACE(token);
    GridOnDisk grid(kHeader3x4 + "1 2 3 4\r\n5 6 7 8\r\n9 10 " + token + " 12\r\n");
    ASSERT_TRUE(grid.Open());
    std::vector<std::int32_t> cells;
    EXPECT_FALSE(grid.ReadAll(cells));
    std::string shown = token == std::string("4\0", 2) ? "4?" : token;
    EXPECT_EQ(grid.Reader().Error(), "row 3, column 3: \"" + shown + "\" is not a whole number");

    GridOnDisk inLongRow(LongGrid({{93, token}}));
    ASSERT_TRUE(inLongRow.Open());
    EXPECT_FALSE(inLongRow.ReadAll(cells));
    EXPECT_EQ(inLongRow.Reader().Error(),
              "row 3, column 14: \"" + shown + "\" is not a whole number");
  }
}

TEST(GridData, TruncatedDataNamesTheRowAndLeavesEarlierRowsReadable) {
  GridOnDisk grid(kHeader3x4 + "1 2 3 4 5 6 7 8 9 10");
  ASSERT_TRUE(grid.Open());
  std::int32_t row[4];
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_FALSE(grid.Reader().ReadRow(2, row));
    EXPECT_EQ(grid.Reader().Error(), "the data section ends early: row 3 of 3 holds 2 of 4 values");
  }
  ASSERT_TRUE(grid.Reader().ReadRow(1, row)) << grid.Reader().Error();
  EXPECT_EQ(row[3], 8);

  GridOnDisk headerOnly(kEdition2007.substr(0, kEdition2007.find("\r\n\r\n") + 4));
  ASSERT_TRUE(headerOnly.Open());
  EXPECT_FALSE(headerOnly.Reader().ReadRow(0, row));
  EXPECT_EQ(headerOnly.Reader().Error(),
            "the data section ends early: row 1 of 2 holds 0 of 3 values");
  EXPECT_FALSE(headerOnly.Reader().ReadRow(-1, row));
  EXPECT_EQ(headerOnly.Reader().Error(), "row 0 is outside the grid's 2 rows");
}

// A header may claim any size; what gets sized by it must be bounded by what the file can hold.
TEST(GridData, HeaderClaimingMoreCellsThanTheFileHoldsIsRefused) {
  struct Case {
    const char* rows;
    const char* cols;
    std::string error;  // empty: opened
  };
  const Case cases[] = {
      {"2", "2000000000",
       "the header's 2 rows of 2000000000 values need at least 7999999999 bytes of data, but the "
       "file holds 8 after its header"},
      {"2000000000", "3",
       "the header's 2000000000 rows of 3 values need at least 11999999999 bytes of data, but the "
       "file holds 8 after its header"},
      // A small grid in a short file opens, and reading says where its data end.
      {"300", "1000", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cols);
    GridOnDisk grid(std::string("NSDTF-DEM\n1.0\nM\n0.0\n0.0\n0\n0\n1\n1\n") + c.rows + "\n" +
                    c.cols + "\n1\n\n1 2 3\n");
    EXPECT_EQ(grid.Open(), c.error.empty());
    EXPECT_EQ(grid.Reader().Error(), c.error);
  }
}

// Values that the first chunk of the file cuts, the long one longer than the reader's lookahead.
TEST(GridData, ValuesAcrossTheEndOfAChunk) {
  for (std::size_t before : {80, 30, 1}) {
    std::string text = kHeader3x4;
    text.append(GridValueScanner::kChunkSize - before - text.size(), ' ');
    text += std::string(100, '0') + "7 " + std::string(70, ' ');
    text += "-123456 ";
    text.append(GridValueScanner::kChunkSize * 2 - 1 - text.size(), '\n');
    text += "12345 3 4 5 6 7 8 9 10 11";
    GridOnDisk grid(text);
    ASSERT_TRUE(grid.Open());
    std::vector<std::int32_t> cells;
    ASSERT_TRUE(grid.ReadAll(cells)) << before;
    EXPECT_EQ(cells, (std::vector<std::int32_t>{7, -123456, 12345, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  }
}

// A file of several chunks with numbers of every length, so that values straddle the chunk ends,
// read in order, backwards and by jumps.
TEST(GridData, LargeFileReadInAnyRowOrder) {
  const int rows = 400, cols = 997;
  std::mt19937 random(17);
  // Signs only in the second half: blocks without any take another way.
  std::uniform_int_distribution<std::int32_t> any(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int> digits(0, 9), spaces(1, 5);
  std::vector<std::int32_t> expected(static_cast<std::size_t>(rows) * cols);
  std::string text = "NSDTF-DEM\r\n1.0\r\nM\r\n0.0\r\n0.0\r\n0\r\n0\r\n1\r\n1\r\n" +
                     std::to_string(rows) + "\r\n" + std::to_string(cols) + "\r\n100\r\n\r\n";
  for (std::size_t i = 0; i < expected.size(); ++i) {
    std::int32_t v = any(random);
    for (int d = digits(random); d < 9; ++d) v /= 10;
    if (i < expected.size() / 2 && v < 0) v = -(v + 1);
    expected[i] = v;
    text += std::string(static_cast<std::size_t>(spaces(random)), i % 10 == 9 ? '\n' : ' ');
    // Now and then a value padded beyond the reader's lookahead, to meet a chunk's end somewhere.
    text += i % 1999 == 0 && v >= 0 ? std::string(70, '0') + std::to_string(v) : std::to_string(v);
  }
  ASSERT_GT(text.size(), 3 * GridValueScanner::kChunkSize);
  GridOnDisk grid(text);
  ASSERT_TRUE(grid.Open());
  std::vector<std::int32_t> cells;
  ASSERT_TRUE(grid.ReadAll(cells));
  EXPECT_EQ(cells, expected);

  std::vector<std::int32_t> row(cols);
  for (int r : {rows - 1, 0, 123, 122, 399, 250, 7}) {
    SCOPED_TRACE(r);
    GridOnDisk fresh(text);
    CnsdtfGridReader& reader = r == 7 ? fresh.Reader() : grid.Reader();
    if (r == 7) {
      ASSERT_TRUE(fresh.Open());  // a jump ahead on a reader that has read nothing
    }
    ASSERT_TRUE(reader.ReadRow(r, row.data())) << reader.Error();
    EXPECT_TRUE(std::equal(row.begin(), row.end(), expected.begin() + std::ptrdiff_t{r} * cols));
  }
}

}  // namespace
