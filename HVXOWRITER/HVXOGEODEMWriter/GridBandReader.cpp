#include "HVXOWRITER/HVXOGEODEMWriter/GridBandReader.h"

#include <algorithm>

namespace {

// Blocks up to this size are read one by one (HFA's 64 x 64 tiles are 16 KiB of floats).
constexpr long long kLargestDirectBlock = 1 << 20;
// Cells per GDALRasterIO call on the other path.
constexpr int kCellsPerPiece = 1 << 16;
constexpr double kCellsPerBand = 5242880.0;  // 20 MiB of 32-bit floats

}  // namespace

int GridBandReader::BandHeight(int rows, int cols) {
  if (rows <= 0 || cols <= 0) return 1;
  double f = static_cast<double>(rows) * static_cast<double>(cols) / kCellsPerBand;
  int height = f > 1.0 ? static_cast<int>(rows / f) : rows;
  // A single row of more than 5 242 880 cells still has to be read.
  return std::clamp(height, 1, rows);
}

GridBandReader::GridBandReader(GDALRasterBandH band, const GridCellEncoder& encoder, int bandHeight)
    : m_band(band),
      m_encoder(encoder),
      m_columns(GDALGetRasterBandXSize(band)),
      m_type(GDALGetRasterDataType(band)),
      m_typeSize(GDALGetDataTypeSizeBytes(m_type)),
      m_rowsPerRead(bandHeight) {
  GDALGetBlockSize(band, &m_blockWidth, &m_blockHeight);
  const long long blockBytes = 1LL * m_blockWidth * m_blockHeight * m_typeSize;
  const int rows = GDALGetRasterBandYSize(band);
  // A row of blocks must fit in a band; a raster lower than its blocks is one row of blocks.
  m_byBlocks = m_typeSize > 0 && blockBytes > 0 && blockBytes <= kLargestDirectBlock &&
               (m_blockHeight <= bandHeight || rows <= bandHeight);
  if (m_byBlocks) {
    m_rowsPerRead = std::min(m_blockHeight, bandHeight);
    m_block.resize((static_cast<std::size_t>(blockBytes) + sizeof(float) - 1) / sizeof(float));
    if (m_type != GDT_Float32) m_cells.resize(static_cast<std::size_t>(m_blockWidth));
  } else {
    m_cells.resize(static_cast<std::size_t>(std::min(m_columns, kCellsPerPiece)));
  }
}

bool GridBandReader::Read(int row, int count, std::int32_t* out) {
  return m_byBlocks ? ReadBlocks(row, count, out) : ReadRows(row, count, out);
}

// One row of blocks: each block read into the scratch buffer and its rows encoded into place.
bool GridBandReader::ReadBlocks(int row, int count, std::int32_t* out) {
  const int blockY = row / m_blockHeight;
  for (int x0 = 0, blockX = 0; x0 < m_columns; x0 += m_blockWidth, ++blockX) {
    if (GDALReadBlock(m_band, blockX, blockY, m_block.data()) != CE_None) return false;
    const int width = std::min(m_blockWidth, m_columns - x0);
    for (int y = 0; y < count; ++y) {
      const std::size_t offset = static_cast<std::size_t>(y) * m_blockWidth;
      const float* cells = m_block.data() + offset;
      if (m_type != GDT_Float32) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(m_block.data());
        GDALCopyWords64(bytes + offset * m_typeSize, m_type, m_typeSize, m_cells.data(),
                        GDT_Float32, sizeof(float), width);
        cells = m_cells.data();
      }
      m_encoder.Encode(cells, width, out + static_cast<std::size_t>(y) * m_columns + x0);
    }
  }
  return true;
}

// Row by row through GDAL's cache, a piece of a row at a time.
bool GridBandReader::ReadRows(int row, int count, std::int32_t* out) {
  for (int y = 0; y < count; ++y) {
    for (int x = 0; x < m_columns; x += kCellsPerPiece) {
      const int n = std::min(kCellsPerPiece, m_columns - x);
      if (GDALRasterIO(m_band, GF_Read, x, row + y, n, 1, m_cells.data(), n, 1, GDT_Float32, 0,
                       0) != CE_None) {
        return false;
      }
      m_encoder.Encode(m_cells.data(), n, out + static_cast<std::size_t>(y) * m_columns + x);
    }
  }
  return true;
}
