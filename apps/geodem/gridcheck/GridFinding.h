#pragma once
// One thing a check found in a grid file, with its place as a reader of the text counts it: a line
// of the file, or a cell's row and column (all from 1; 0 where the finding has no such place).
#include <string>

#include "messages/MessageText.h"

struct GridFinding {
  // Errors: the file is not what its layout defines. Warnings: readable, but off the standard's
  // form or suspicious.
  enum class Level { kError, kWarning };

  Level level = Level::kError;
  long line = 0;
  int row = 0;
  int column = 0;
  std::string text;

  static GridFinding Error(std::string text, long line = 0) {
    return {Level::kError, line, 0, 0, std::move(text)};
  }
  static GridFinding Warning(std::string text, long line = 0) {
    return {Level::kWarning, line, 0, 0, std::move(text)};
  }
  static GridFinding AtCell(Level level, int row, int column, std::string text) {
    return {level, 0, row, column, std::move(text)};
  }

  // "line 5", "row 3, column 7", or "" for the whole file.
  // "line 12", "row 3, column 7", in the words the grid reader names a cell with.
  std::string Place() const {
    if (line > 0) return MessageText::Tr("line %s", std::to_string(line).c_str());
    if (row > 0)
      return MessageText::Tr("row %s, column %s", std::to_string(row).c_str(),
                             std::to_string(column).c_str());
    return {};
  }
};
