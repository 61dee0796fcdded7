#pragma once
// Reads a CNSDTF-DEM grid file (GB/T 17798) back: its header in any of the three layouts, then
// its data section row by row. The data section is a stream of whitespace-separated integers,
// rows x cols of them, read whatever the line breaks.
//
//   CnsdtfGridReader reader;
//   if (!reader.Open(path)) fail(reader.Error());
//   std::vector<std::int32_t> row(reader.Header().cols);
//   for (int r = 0; r < reader.Header().rows; ++r)
//     if (!reader.ReadRow(r, row.data())) fail(reader.Error());
//
// Memory is one read chunk, one row and the file offset of every row reached so far, whatever the
// file size. Reading rows in order is one pass over the file; a row already passed is found again
// by its offset, a row further on by scanning up to it.
//
// Messages are English and count rows and columns from 1, as a reader of the text counts them.
#include <cstdint>
#include <string>
#include <vector>

#include "gridfile/GridHeader.h"
#include "gridfile/GridValueScanner.h"

class CnsdtfGridReader {
 public:
  // Opens the file (a UTF-8 path as GDAL takes it, /vsi... paths included) and reads its header.
  // False, with Error() saying why, when it cannot be opened or its header is refused (a header
  // that claims far more cells than the file can hold among them).
  bool Open(const std::string& path);
  const GridHeader& Header() const { return m_header; }
  // The file offset where the data section's first value is looked for.
  std::uint64_t DataOffset() const { return m_rowStarts.empty() ? 0 : m_rowStarts.front(); }

  // Reads row `row` (from 0) into cols values. False, with Error() naming the row and column,
  // when the data section ends early, holds something other than an integer or an integer
  // outside the 32-bit range; reading that row or a later one fails alike.
  bool ReadRow(int row, std::int32_t* values);
  // Once the last row has been read: a warning when the data section holds more values than
  // Row x Col (a grid cut or edited by hand, whose extra values no reader shows), else empty.
  std::string ValuesPastEnd();
  const std::string& Error() const { return m_error; }
  // Where the data section failed, counted from 1: the row, and the column of the value that is
  // missing or not a 32-bit integer; 0 before any failure.
  int FailedRow() const { return m_failedRow + 1; }
  int FailedColumn() const { return m_failedColumn; }

 private:
  bool FitsInFile(const std::string& path, std::uint64_t dataOffset);
  bool MoveTo(int row);
  bool ReadNextRow(std::int32_t* values);
  bool Fail(std::string message);

  GridValueScanner m_scanner;
  GridHeader m_header;
  // m_rowStarts[r]: the file offset where the scan for row r begins, for every row reached.
  std::vector<std::uint64_t> m_rowStarts;
  int m_nextRow = 0;                 // the row the scanner stands before
  int m_failedRow = -1;              // the first row that could not be read, once known
  int m_failedColumn = 0;            // and its first value that could not be read, from 1
  std::string m_failure;             // and why
  std::vector<std::int32_t> m_skip;  // rows scanned on the way to a later one
  std::string m_error;
};
