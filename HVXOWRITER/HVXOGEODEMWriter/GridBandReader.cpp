#include "HVXOWRITER/HVXOGEODEMWriter/GridBandReader.h"

#include <algorithm>
#include <cstring>

namespace {

// Blocks up to this size are read one by one (HFA's 64 x 64 tiles are 16 KiB of floats).
constexpr long long kLargestDirectBlock = 1 << 20;
// Cells per GDALRasterIO call on the other path.
constexpr int kCellsPerPiece = 1 << 16;
constexpr double kCellsPerBand = 5242880.0;  // 20 MiB of 32-bit floats

template <class Cell>
constexpr GDALDataType kCellType = sizeof(Cell) == sizeof(float) ? GDT_Float32 : GDT_Float64;

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
      m_wide(GridCellEncoder::ReadsAsDouble(m_type)),
      m_signedByte(IsSignedByte(band)),
      m_rowsPerRead(bandHeight) {
  GDALGetBlockSize(band, &m_blockWidth, &m_blockHeight);
  const long long blockBytes = 1LL * m_blockWidth * m_blockHeight * m_typeSize;
  const int rows = GDALGetRasterBandYSize(band);
  // A row of blocks must fit in a band; a raster lower than its blocks is one row of blocks.
  m_byBlocks = m_typeSize > 0 && blockBytes > 0 && blockBytes <= kLargestDirectBlock &&
               (m_blockHeight <= bandHeight || rows <= bandHeight);
  std::size_t cells = static_cast<std::size_t>(std::min(m_columns, kCellsPerPiece));
  if (m_byBlocks) {
    m_rowsPerRead = std::min(m_blockHeight, bandHeight);
    m_block.resize((static_cast<std::size_t>(blockBytes) + sizeof(double) - 1) / sizeof(double));
    cells = static_cast<std::size_t>(m_blockWidth);
  } else if (m_signedByte) {
    m_block.resize((cells + sizeof(double) - 1) / sizeof(double));
  }
  m_cells.resize(cells);
}

bool GridBandReader::IsSignedByte(GDALRasterBandH band) {
  if (GDALGetRasterDataType(band) != GDT_Byte) return false;
  const char* pixelType = GDALGetMetadataItem(band, "PIXELTYPE", "IMAGE_STRUCTURE");
  return pixelType && std::strcmp(pixelType, "SIGNEDBYTE") == 0;
}

bool GridBandReader::Read(int row, int count, std::int32_t* out) {
  if (m_wide) return m_byBlocks ? ReadBlocks<double>(row, count, out) : ReadRows<double>(row, count, out);
  return m_byBlocks ? ReadBlocks<float>(row, count, out) : ReadRows<float>(row, count, out);
}

template <class Cell>
Cell* GridBandReader::Convert(const unsigned char* bytes, int n) {
  Cell* cells = reinterpret_cast<Cell*>(m_cells.data());
  if (m_signedByte) {
    for (int i = 0; i < n; ++i) cells[i] = static_cast<Cell>(static_cast<std::int8_t>(bytes[i]));
  } else {
    GDALCopyWords64(bytes, m_type, m_typeSize, cells, kCellType<Cell>, sizeof(Cell), n);
  }
  return cells;
}

// One row of blocks: each block read into the scratch buffer and its rows encoded into place.
template <class Cell>
bool GridBandReader::ReadBlocks(int row, int count, std::int32_t* out) {
  const int blockY = row / m_blockHeight;
  const auto* bytes = reinterpret_cast<const unsigned char*>(m_block.data());
  for (int x0 = 0, blockX = 0; x0 < m_columns; x0 += m_blockWidth, ++blockX) {
    if (GDALReadBlock(m_band, blockX, blockY, m_block.data()) != CE_None) return false;
    const int width = std::min(m_blockWidth, m_columns - x0);
    for (int y = 0; y < count; ++y) {
      const std::size_t offset = static_cast<std::size_t>(y) * m_blockWidth;
      const Cell* cells = m_type == kCellType<Cell> && !m_signedByte
                              ? reinterpret_cast<const Cell*>(m_block.data()) + offset
                              : Convert<Cell>(bytes + offset * m_typeSize, width);
      m_clamped +=
          m_encoder.Encode(cells, width, out + static_cast<std::size_t>(y) * m_columns + x0);
    }
  }
  return true;
}

// Row by row through GDAL's cache, a piece of a row at a time.
template <class Cell>
bool GridBandReader::ReadRows(int row, int count, std::int32_t* out) {
  // Signed bytes are fetched as they are stored and converted here; GDAL would read them unsigned.
  void* target = m_signedByte ? static_cast<void*>(m_block.data()) : m_cells.data();
  const GDALDataType type = m_signedByte ? GDT_Byte : kCellType<Cell>;
  for (int y = 0; y < count; ++y) {
    for (int x = 0; x < m_columns; x += kCellsPerPiece) {
      const int n = std::min(kCellsPerPiece, m_columns - x);
      if (GDALRasterIO(m_band, GF_Read, x, row + y, n, 1, target, n, 1, type, 0, 0) != CE_None) {
        return false;
      }
      const Cell* cells = m_signedByte
                              ? Convert<Cell>(static_cast<const unsigned char*>(target), n)
                              : reinterpret_cast<const Cell*>(m_cells.data());
      m_clamped += m_encoder.Encode(cells, n, out + static_cast<std::size_t>(y) * m_columns + x);
    }
  }
  return true;
}
