#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "gridfile/GridRowPipeline.h"

namespace {

constexpr int kCells = 4;

// Reads numbered from 0, each read's cells and text holding its number; the writer fails at read
// failAt (never when negative). Returns the reads written, in the order written.
struct PipeRun {
  std::vector<int> written;
  bool finished = false;
  int slotsGiven = 0;
};

PipeRun Pipe(int reads, int failAt, bool finish) {
  PipeRun run;
  GridRowPipeline pipeline(kCells, 8, [&](const std::int32_t* values, int rows,
                                           std::string_view text) {
    // Slow enough that the reader is ahead, so that the hand-over is really exercised.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int i = 1; i < kCells; ++i) EXPECT_EQ(values[i], values[0]);
    EXPECT_EQ(rows, values[0] + 1);
    EXPECT_EQ(text, std::to_string(values[0]));
    run.written.push_back(values[0]);
    return values[0] != failAt;
  });
  EXPECT_TRUE(pipeline.Ready());
  for (int k = 0; k < reads; ++k) {
    const GridRowPipeline::Read read = pipeline.NextRead();
    if (!read.cells) break;
    ++run.slotsGiven;
    std::fill(read.cells, read.cells + kCells, k);
    const std::string text = std::to_string(k);
    std::copy(text.begin(), text.end(), read.text);
    pipeline.Post(k + 1, text.size());
  }
  if (finish) run.finished = pipeline.Finish();
  return run;
}

TEST(GridRowPipeline, WritesEveryReadInOrderAndStopsAtTheFirstFailure) {
  const PipeRun all = Pipe(50, -1, true);
  EXPECT_TRUE(all.finished);
  ASSERT_EQ(all.written.size(), 50u);
  for (int k = 0; k < 50; ++k) EXPECT_EQ(all.written[k], k);

  // After a failed write nothing more is written, and the reader is told within two reads.
  const PipeRun failed = Pipe(50, 5, true);
  EXPECT_FALSE(failed.finished);
  EXPECT_EQ(failed.written.back(), 5);
  EXPECT_LE(failed.slotsGiven, 5 + 3);
}

// A stop (the reader gives up: a cancel, a failed read) leaves with reads still pending, and
// what was written is still in order.
TEST(GridRowPipeline, StoppedWithReadsPendingLeavesWithoutHanging) {
  const PipeRun stopped = Pipe(50, -1, false);
  EXPECT_EQ(stopped.slotsGiven, 50);
  for (std::size_t k = 0; k < stopped.written.size(); ++k) EXPECT_EQ(stopped.written[k], int(k));
}

}  // namespace
