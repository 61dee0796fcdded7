// The progress display: GDAL's ticks, moving forward only, and the two halves of a target's work.
#include <gtest/gtest.h>

#include <sstream>

#include "apps/geodem/convert/ConversionProgress.h"

namespace {

TEST(ProgressDisplay, PrintsGdalTicksOnceEach) {
  std::ostringstream err;
  Console console(err);
  ProgressDisplay display(console, true);
  display.Update(0);
  display.Update(0.26);
  display.Update(0.1);  // never backwards
  EXPECT_EQ(err.str(), "0...10...20..");
  console.Info("between");  // a log line starts on a line of its own
  display.Update(1.0);
  display.Update(1.0);
  EXPECT_EQ(err.str(),
            "0...10...20..\ninfo: between\n.30...40...50...60...70...80...90...100 - done.\n");
}

TEST(ProgressDisplay, QuietAndAbandoned) {
  std::ostringstream err;
  Console console(err);
  ProgressDisplay quiet(console, false);
  quiet.Update(0.5);
  EXPECT_EQ(err.str(), "");

  ProgressDisplay display(console, true);
  display.Update(0.1);
  display.Abandon();
  display.Update(1.0);
  EXPECT_EQ(err.str(), "0...10\n");
  display.Restart();
  display.Update(0);
  EXPECT_EQ(err.str(), "0...10\n0");
}

TEST(ConversionProgress, BlocksAreOneHalfAndTheWritersRowEventsTheOther) {
  std::ostringstream err;
  Console console(err);
  ProgressDisplay display(console, true);
  ConversionProgress progress(display);
  progress.BeginTarget(100);
  progress.OnWriterProgress(5, 10);  // a block event outside a conversion: not counted
  progress.BlockWritten(50);
  EXPECT_EQ(err.str(), "0...10...20..");
  progress.BeginConversion(100);
  progress.BlockWritten(50);           // 50 %
  progress.OnWriterProgress(50, 100);  // + 25 %
  EXPECT_EQ(err.str(), "0...10...20...30...40...50...60...70..");
  progress.EndConversion();
  EXPECT_EQ(err.str(), "0...10...20...30...40...50...60...70...80...90...100 - done.\n");
}

}  // namespace
