#pragma once
// What a check of a grid file compares it with, beyond the file's own layout.
#include <optional>
#include <string>

struct GridCheckOptions {
  // The integer that stands for no data; none: the header's no-data key, else -99999.
  std::optional<double> noData;
  // Warn when more than this share of the cells (percent, 0 to 100) is no data; none: never.
  std::optional<int> maxNoDataPercent;
  // The DEM the file was made from, and its band (from 1): every cell must be its height.
  std::optional<std::string> source;
  int band = 1;
  // The file's name is a national map sheet number: its grid must cover that sheet, of scale
  // 1:sheetScale when given.
  bool sheet = false;
  std::optional<long> sheetScale;

  // Heights outside this range (metres) are suspicious anywhere on Earth.
  static constexpr double kLowestHeight = -500;
  static constexpr double kHighestHeight = 9000;
};
