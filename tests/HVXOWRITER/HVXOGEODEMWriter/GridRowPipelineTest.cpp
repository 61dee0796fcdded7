#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "gridfile/GridRowPipeline.h"

namespace {

constexpr int kCells = 3;
constexpr int kRows = 5;                     // rows of a read
constexpr std::size_t kRowText = 512 << 10;  // two rows to a piece: pieces of 2, 2 and 1 rows

struct PipeRun {
  std::string written;  // "<row>\n" for each row, in the order written
  bool finished = false;
  int readsGiven = 0;
  int mostAhead = 0;             // reads given and not yet written, at most
  std::atomic<int> byCaller{0};  // pieces whose text the reading thread made between reads
};

// `reads` reads, every cell of row r holding r. Writing the piece holding row failAt fails
// (never when negative); the second thread takes `slow` over each piece.
void Pipe(PipeRun& run, int reads, int ahead, int failAt, bool finish,
          std::chrono::milliseconds slow = {}) {
  const std::thread::id caller = std::this_thread::get_id();
  bool reading = true;
  std::atomic<int> rowsWritten{0};
  GridRowPipeline pipeline(
      {kCells, kRows, ahead, kRowText},
      [&](const std::int32_t* cells, int rows, char* text) {
        if (std::this_thread::get_id() == caller) {
          run.byCaller += reading;
        } else {
          std::this_thread::sleep_for(slow);
        }
        std::string made;
        for (int r = 0; r < rows; ++r) {
          const std::int32_t* row = cells + r * kCells;
          EXPECT_TRUE(std::all_of(row, row + kCells, [&](int c) { return c == row[0]; }));
          made += std::to_string(row[0]) + "\n";
        }
        return std::copy(made.begin(), made.end(), text);
      },
      [&](std::string_view text) {
        const int first = std::stoi(std::string(text.substr(0, text.find('\n'))));
        const int rows = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
        if (failAt >= first && failAt < first + rows) return false;
        run.written += text;
        rowsWritten += rows;
        return true;
      });
  ASSERT_TRUE(pipeline.Ready());
  for (int k = 0; k < reads; ++k) {
    std::int32_t* cells = pipeline.NextRead();
    if (!cells) break;
    run.mostAhead = std::max(run.mostAhead, k + 1 - rowsWritten / kRows);
    ++run.readsGiven;
    for (int i = 0; i < kRows * kCells; ++i) cells[i] = k * kRows + i / kCells;
    pipeline.Post(kRows);
  }
  reading = false;
  if (finish) run.finished = pipeline.Finish();
}

std::string Rows(int from, int to) {
  std::string text;
  for (int r = from; r < to; ++r) text += std::to_string(r) + "\n";
  return text;
}

TEST(GridRowPipeline, WritesEveryRowInOrderHoldingAtMostItsReads) {
  for (const int ahead : {2, 6}) {
    for (const int slowMs : {0, 2}) {
      SCOPED_TRACE("reads ahead " + std::to_string(ahead) + ", slow " + std::to_string(slowMs));
      PipeRun run;
      Pipe(run, 40, ahead, -1, true, std::chrono::milliseconds(slowMs));
      EXPECT_TRUE(run.finished);
      EXPECT_EQ(run.written, Rows(0, 40 * kRows));
      EXPECT_LE(run.mostAhead, ahead);
      // A slow second thread has the reading thread make text whenever its reads are all taken.
      if (slowMs > 0) {
        EXPECT_GT(run.byCaller, 0);
      }
    }
  }
}

TEST(GridRowPipeline, StopsWritingAtTheFirstFailure) {
  for (const int failAt : {0, 23, 199}) {
    SCOPED_TRACE("fails at row " + std::to_string(failAt));
    PipeRun run;
    Pipe(run, 40, 4, failAt, true, std::chrono::milliseconds(1));
    EXPECT_FALSE(run.finished);
    // Everything before the failed piece, nothing after it; the reader is told within its reads.
    const int pieceStart = failAt / kRows * kRows + (failAt % kRows) / 2 * 2;
    EXPECT_EQ(run.written, Rows(0, pieceStart));
    EXPECT_LE(run.readsGiven, failAt / kRows + 1 + 4 + 1);
  }
}

// A stop (the reader gives up: a cancel, a failed read) leaves with reads still pending, and
// what was written is still in order.
TEST(GridRowPipeline, StoppedWithReadsPendingLeavesWithoutHanging) {
  PipeRun run;
  Pipe(run, 50, 3, -1, false, std::chrono::milliseconds(1));
  EXPECT_EQ(run.readsGiven, 50);
  EXPECT_EQ(run.written,
            Rows(0, static_cast<int>(std::count(run.written.begin(), run.written.end(), '\n'))));
}

}  // namespace
