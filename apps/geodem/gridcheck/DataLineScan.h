#pragma once
// The line structure of a grid file, in one pass over its bytes: which lines end in LF alone, or
// in CR alone, instead of CR LF, and, in the data section, which lines hold another number of values than the
// layout breaks rows into (W = min(Col, 10) values a line, a row's last line its remainder, and an
// empty line after each row whose Col is a multiple of W), and values beyond Row x Col.
//
// A value here is any run of bytes above ' ': whether it is a number is the grid reader's
// business. The bytes are classified 64 at a time (SSE2 where the processor has it), so that the
// pass costs little beside the reading of the values.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "apps/geodem/gridcheck/GridFinding.h"

class DataLineScan {
 public:
  // dataOffset: where the data section's first value is looked for; lineEnd: the byte that ends a
  // line, '\n' (after a CR or not) or '\r' for a file whose lines end in CR alone.
  DataLineScan(std::uint64_t dataOffset, int rows, int cols, char lineEnd = '\n');

  // The byte that ends the lines of a file that begins with head: '\r' when its first line ends in
  // CR alone, as the grid reader reads such a file, else '\n'.
  static char LineEndOf(std::string_view head);

  // Scans the file and adds its findings; false (with an error finding) when it cannot be read.
  bool Run(const std::string& path, std::vector<GridFinding>& findings);

 private:
  void Block(const char* bytes, std::uint64_t offset);
  void EndLine(std::uint64_t newline, bool crlf);
  void Report(std::vector<GridFinding>& findings) const;

  const std::uint64_t m_dataOffset;
  const char m_lineEnd;
  const std::int64_t m_cols;
  const std::int64_t m_cells;
  const std::int64_t m_width;  // values a full line holds

  // Carried from one block to the next.
  bool m_previousFilled = false;  // the byte before the block is part of a value
  bool m_previousCr = false;      // and is a CR
  std::int64_t m_lineValues = 0;  // values on the current line so far

  long m_line = 0;  // lines ended so far
  long m_loneLines = 0, m_firstLone = 0;  // lines that end otherwise than in CR LF
  bool m_dataStarted = false;
  bool m_emptyDue = false;  // a row ended on a full line: an empty line follows
  std::int64_t m_values = 0;
  long m_badLines = 0, m_firstBad = 0;
  std::int64_t m_firstBadValues = 0, m_firstBadExpected = 0;
  long m_firstExtra = 0;
};
