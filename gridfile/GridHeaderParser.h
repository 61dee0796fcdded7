#pragma once
// Reads the header of a CNSDTF-DEM grid in any of the three layouts, tolerant of what other writers
// of the format produce: LF, CR LF or CR line ends, "Key:value" with or without blanks, keys in any
// letter case and order, extra keys, no empty line before the data; the positional layout's values
// may be spread over lines as they like.
//
// Required: X0, Y0, DX, DY, Row, Col and Hzoom (keyed layouts; the positional one holds them by
// position). Optional: Version, XYUnit or Unit (else 'M'), Alpha (else 0), Compress (must be 0),
// ValueType (must be "Integer"), a no-data key. Row and Col run from 1 to 2147483647, Hzoom is a
// 32-bit integer, DX and DY non-zero (their magnitudes are taken: the grid is north-up). A zoom
// below 1 and a negative cell size are read with a warning in the header.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "gridfile/GridHeader.h"

class GridHeaderParser {
 public:
  // True when the file's first bytes begin a CNSDTF-DEM grid: "DataMark: CNSDTF-DEM" or
  // "NSDTF-DEM" on the first line (after a UTF-8 byte order mark and blank lines, if any).
  static bool Identify(std::string_view head);
  // Whether a key names the no-data value: "NoData", "NODATA_value", "NoDataValue", ... in any
  // letter case.
  static bool IsNoDataKey(std::string_view key);

  // Parses the header at the start of head, the file's first bytes (the whole file when atEnd).
  // On success fills header and dataOffset, where the data section's values begin in head.
  bool Parse(std::string_view head, bool atEnd, GridHeader& header, std::size_t& dataOffset);
  // Why Parse refused the header.
  const std::string& Error() const { return m_error; }

 private:
  using Entries = std::vector<std::pair<std::string, std::string>>;

  bool ReadKeyedLines(std::string_view head, std::size_t at, bool atEnd, Entries& entries,
                      std::size_t& dataOffset);
  bool ReadPositionalValues(std::string_view head, std::size_t at, bool atEnd, Entries& entries,
                            std::size_t& dataOffset);
  bool Interpret(GridHeader& header);
  bool Coordinate(const GridHeader& header, const char* key, double& value, bool nonZero);
  bool Count(const GridHeader& header, const char* key, int& value);
  bool Zoom(GridHeader& header);
  bool CheckOptional(GridHeader& header);
  const std::string* Require(const GridHeader& header, const char* key);
  bool Fail(std::string message);

  bool m_positional = false;
  std::string m_error;
};
