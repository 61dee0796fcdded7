#pragma once
// The integer a grid file holds for a cell: zoom x value rounded to the nearest integer, halves
// away from zero, in the signed 32-bit range (beyond it the nearest bound). A no-data cell (equal
// to the source's invalid value within 1e-8, or NaN) carries the no-data number, truncated and
// not scaled. Products are formed in double precision from the 32-bit float cell.
//
// Runs of cells are encoded with vector instructions (four at a time; AVX2 where the processor
// has it, else SSE2), which makes encoding a small part of writing a grid.
#include <cstdint>
#include <optional>

class GridCellEncoder {
 public:
  // Without an invalid value only NaN cells are no data. wideVectors false keeps to SSE2 (for
  // comparing the paths).
  GridCellEncoder(std::int32_t zoom, double noDataValue, std::optional<double> invalid,
                  bool wideVectors = true);

  // out[i] = the integer of cells[i], for n cells.
  void Encode(const float* cells, int n, std::int32_t* out) const;
  std::int32_t EncodeOne(float cell) const;

  // Truncates toward zero into the signed 32-bit range; NaN gives 0.
  static std::int32_t Saturate(double value);

 private:
  bool IsNoData(float cell) const;
  // Encode the longest run of whole groups of four and give its length.
  int EncodeSse2(const float* cells, int n, std::int32_t* out) const;
  int EncodeAvx2(const float* cells, int n, std::int32_t* out) const;

  double m_zoom;
  std::int32_t m_noDataCell;
  // The no-data test as an interval of floats: exactly the cells whose distance to the invalid
  // value is below the tolerance (empty when there is no invalid value).
  float m_noDataLow;
  float m_noDataHigh;
  bool m_avx2;
};
