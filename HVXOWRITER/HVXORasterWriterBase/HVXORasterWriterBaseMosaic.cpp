// Mosaic blocks: the source window that trims a block named after the whole target, and the
// merge that keeps a block's no-data cells from erasing what other pieces wrote.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"

namespace {

// A block's no-data cell, by the test the grid writer applies to the finished raster.
bool IsNoDataCell(double value, double invalid) {
  return !std::isfinite(value) || std::fabs(value - invalid) < 1e-8;
}

}  // namespace

SourceRecord HVXORasterWriterBase::TrimmingRecordFor(const StringList& keys,
                                                     const SourceRecord& record,
                                                     const Window& block) const {
  const long long right = static_cast<long long>(block.x) + block.columns;
  const long long bottom = static_cast<long long>(block.y) + block.rows;
  for (const std::string& key : keys) {
    auto source = sourceTable.find(key);
    if (source == sourceTable.end()) continue;
    const SourceRecord& s = source->second;
    if (s.sourceWidth > 0 && s.sourceHeight > 0 && block.x >= s.sourceColumn &&
        block.y >= s.sourceRow && right <= static_cast<long long>(s.sourceColumn) + s.sourceWidth &&
        bottom <= static_cast<long long>(s.sourceRow) + s.sourceHeight)
      return s;
  }
  // No single source holds it: only the mosaic's own edges keep their cells.
  SourceRecord whole = record;
  whole.sourceColumn = whole.sourceRow = whole.sourceWidth = whole.sourceHeight = 0;
  return whole;
}

int HVXORasterWriterBase::KeepWrittenCells(unsigned char* pixels, GDALDataType type,
                                           const SourceRecord& record, const Window& block) {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, 1, [&] {
    const int x0 = std::max(block.x, 0), y0 = std::max(block.y, 0);
    const int x1 = static_cast<int>(
        std::min<long long>(static_cast<long long>(block.x) + block.columns, record.width));
    const int y1 = static_cast<int>(
        std::min<long long>(static_cast<long long>(block.y) + block.rows, record.height));
    if (x0 >= x1 || y0 >= y1 || record.bandCount < 1) return 0;
    const int width = x1 - x0, height = y1 - y0;
    const auto valueSize = static_cast<std::size_t>(GDALGetDataTypeSizeBytes(type));
    const std::size_t bandValues = static_cast<std::size_t>(block.columns) * block.rows;
    std::vector<double> row(static_cast<std::size_t>(width));
    std::vector<unsigned char> written;  // the target's window, read at the first no-data cell
    for (int b = 0; b < record.bandCount; ++b) {
      const double invalid = static_cast<std::size_t>(b) < invalidData.size()
                                 ? invalidData[b]
                                 : std::numeric_limits<double>::quiet_NaN();
      for (int r = y0; r < y1; ++r) {
        unsigned char* at = pixels + (b * bandValues +
                                      static_cast<std::size_t>(r - block.y) * block.columns +
                                      static_cast<std::size_t>(x0 - block.x)) *
                                         valueSize;
        GDALCopyWords64(at, type, static_cast<int>(valueSize), row.data(), GDT_Float64,
                        sizeof(double), width);
        for (int c = 0; c < width; ++c) {
          if (!IsNoDataCell(row[c], invalid)) continue;
          if (written.empty()) {
            written.resize(static_cast<std::size_t>(width) * height * record.bandCount * valueSize);
            if (GDALDatasetRasterIO(record.dataset, GF_Read, x0, y0, width, height, written.data(),
                                    width, height, type, record.bandCount, nullptr, 0, 0,
                                    0) != CE_None)
              return 1;
          }
          const std::size_t from =
              ((static_cast<std::size_t>(b) * height + (r - y0)) * width + c) * valueSize;
          std::memcpy(at + c * valueSize, written.data() + from, valueSize);
        }
      }
    }
    return 0;
  });
}
