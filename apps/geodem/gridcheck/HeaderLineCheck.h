#pragma once
// Checks a grid file's header line by line against the layout it declares: the 2007 and 1999
// editions by their "Key: value" lines in the edition's order, the positional layout by its twelve
// lines of one value each. The grid reader is lenient about all of this (other writers' files must
// still open); a receiver wants to know exactly where a file departs from the form.
//
// Errors: a line the layout requires missing, out of order or given twice; a value that is not a
// finite number where the layout has one; DX, DY, Row, Col or Hzoom not positive. Warnings: a key spelt
// otherwise than the standard spells it, a key the layout does not have, no empty line after the
// header.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "apps/geodem/gridcheck/GridFinding.h"

class HeaderLineCheck {
 public:
  // Checks the header at the start of head (the file's first bytes).
  void Run(std::string_view head, std::vector<GridFinding>& findings);
  // The line (from 1) that holds the value of a key (as the keyed layouts name them); 0 for none.
  long LineOf(std::string_view key) const;

 private:
  struct Line {
    long number;
    std::string_view text;  // without its line end
  };

  void CheckKeyed(const std::vector<Line>& lines, std::vector<GridFinding>& findings);
  void CheckPositional(const std::vector<Line>& lines, std::vector<GridFinding>& findings);
  static void CheckValue(std::string_view key, std::string_view value, long line,
                         std::vector<GridFinding>& findings);
  static void CheckBlankAfter(const std::vector<Line>& lines, std::size_t next,
                              std::vector<GridFinding>& findings);

  std::vector<std::pair<std::string, long>> m_keyLines;
};
