// Grid files as the fuzzer writes them, read back: the bytes become a file in GDAL's memory file
// system, which the grid reader opens (the header in whichever layout it finds) and whose rows it
// reads as the GDAL plug-in does: the first rows in order, then the first again (found again by
// its recorded offset) and the last (scanned up to).
#include <cpl_vsi.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzEnvironment.h"
#include "gridfile/CnsdtfGridReader.h"

namespace {
// Rows wider than this are not read: the header and the first rows tell everything there is.
constexpr int kMaxColumns = 1 << 20;
constexpr int kRowsInOrder = 64;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const path = "/vsimem/fuzz-grid.dem";
  VSIFCloseL(VSIFileFromMemBuffer(path, const_cast<GByte*>(data), size, FALSE));
  CnsdtfGridReader reader;
  if (reader.Open(path)) {
    const GridHeader& header = reader.Header();
    if (header.rows > 0 && header.cols > 0 && header.cols <= kMaxColumns) {
      std::vector<std::int32_t> row(static_cast<std::size_t>(header.cols));
      for (int r = 0; r < std::min(header.rows, kRowsInOrder); ++r)
        if (!reader.ReadRow(r, row.data())) break;
      reader.ReadRow(0, row.data());
      reader.ReadRow(header.rows - 1, row.data());
    }
  }
  VSIUnlink(path);
  return 0;
}
