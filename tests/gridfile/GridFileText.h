#pragma once
// Grid file texts for the reader tests: the three layouts exactly as the writer writes them (for a
// 2 x 3 grid at (100, 900), 25 m cells, Hzoom 100), and a reader over a text put on disk.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gridfile/CnsdtfGridReader.h"
#include "support/TempDir.h"

namespace grid_file_text {

inline const std::string kData =
    "   150    225    -300 \r\n\r\n"
    "   0    1000    -99999 \r\n\r\n";

inline const std::string kEdition2007 =
    "DataMark: CNSDTF-DEM\r\nVersion: GB/T17798-2007\r\nAlpha: 0.000000\r\nCompress: 0\r\n"
    "X0: 100.000000\r\nY0: 900.000000\r\nDX: 25.000000\r\nDY: 25.000000\r\nRow: 2\r\nCol: 3\r\n"
    "ValueType: Integer\r\nHzoom: 100\r\nXYUnit: M\r\nZUnit: M\r\n\r\n" +
    kData;

inline const std::string kEdition1999 =
    "DataMark: CNSDTF-DEM\r\nVersion: 1.0\r\nUnit: M\r\nAlpha: 0.000000\r\nCompress: 0\r\n"
    "X0: 100.000000\r\nY0: 900.000000\r\nDX: 25.000000\r\nDY: 25.000000\r\nRow: 2\r\nCol: 3\r\n"
    "ValueType: Integer\r\nHzoom: 100\r\n\r\n" +
    kData;

inline const std::string kPositional =
    "NSDTF-DEM\r\n1.0\r\nM\r\n0.0\r\n0.0\r\n100.000000\r\n900.000000\r\n25.000000\r\n"
    "25.000000\r\n2\r\n3\r\n100\r\n\r\n" +
    kData;

// The cells of kData, row by row.
inline const std::vector<std::int32_t> kCells = {150, 225, -300, 0, 1000, -99999};

// Replaces every occurrence of from in text.
inline std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// A reader over a text written to a file of its own.
class GridOnDisk {
 public:
  explicit GridOnDisk(const std::string& text) : m_path(m_dir / "grid.dem") {
    TempDir::WriteFile(m_path, text);
  }
  bool Open() { return m_reader.Open(m_path); }
  CnsdtfGridReader& Reader() { return m_reader; }
  const std::string& Path() const { return m_path; }

  // Every row in order, or the reader's error.
  testing::AssertionResult ReadAll(std::vector<std::int32_t>& cells) {
    const GridHeader& h = m_reader.Header();
    cells.assign(static_cast<std::size_t>(h.rows) * h.cols, 0);
    for (int r = 0; r < h.rows; ++r) {
      if (!m_reader.ReadRow(r, cells.data() + static_cast<std::size_t>(r) * h.cols)) {
        return testing::AssertionFailure() << m_reader.Error();
      }
    }
    return testing::AssertionSuccess();
  }

 private:
  TempDir m_dir;
  std::string m_path;
  CnsdtfGridReader m_reader;
};

}  // namespace grid_file_text
