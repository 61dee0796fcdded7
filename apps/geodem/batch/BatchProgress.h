#pragma once
// The one progress line of a batch on stderr: tiles done / total, failed, elapsed and the time
// left as the tiles so far predict it. On a terminal the line is rewritten in place; elsewhere
// (a cluster job's log) it is printed again as each tile ends.
#include <chrono>
#include <string>

#include "apps/geodem/Console.h"

class BatchProgress {
 public:
  BatchProgress(Console& console, bool shown, bool terminal, std::size_t total,
                std::size_t done, std::size_t failed);

  // A tile of this run ended.
  void TileEnded(bool failed);
  // Ends the line for good.
  void Finish();

  // "12/20 done, 1 failed, 0:42 elapsed, about 1:10 left"
  std::string Text() const;
  static std::string Duration(double seconds);

 private:
  void Show();

  Console& console_;
  bool shown_;
  bool terminal_;
  std::size_t total_;
  std::size_t done_;
  std::size_t endedThisRun_ = 0;
  std::size_t failed_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
