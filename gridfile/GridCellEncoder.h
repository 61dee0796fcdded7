#pragma once
// The integer a grid file holds for a cell: zoom x value rounded to the nearest integer, halves
// away from zero, as gridfile/CellRounding.h rounds it, in the signed 32-bit range (beyond it the
// nearest bound, and the cell counts as clamped). A no-data cell (equal to the source's invalid
// value within 1e-8, NaN or infinite) carries the no-data number, truncated and not scaled.
//
// Cells arrive as rows of 32-bit floats or of doubles. Floats hold every value of the narrow
// types (Byte, Int8, Int16, UInt16, Float32) exactly and are the fast path; the wider types
// (ReadsAsDouble) must come as doubles, or their values and no-data values would be rounded to
// floats first. Any caller that reads a band (the grid writer, the GDAL driver) feeds its rows
// here, so a cell is written alike whichever way it comes.
//
// Runs of cells are encoded with vector instructions (four at a time; AVX2 where the processor
// has it, else SSE2 for floats), which makes encoding a small part of writing a grid.
#include <gdal.h>

#include <cstdint>
#include <optional>

class GridCellEncoder {
 public:
  // Without an invalid value only NaN and infinite cells are no data. wideVectors false keeps to
  // SSE2 for floats and to single cells for doubles (for comparing the paths).
  GridCellEncoder(std::int32_t zoom, double noDataValue, std::optional<double> invalid,
                  bool wideVectors = true);

  // Whether cells of a GDAL type must reach the encoder as doubles rather than floats.
  static bool ReadsAsDouble(GDALDataType type);

  // out[i] = the integer of cells[i], for n cells; the result is how many of them were clamped
  // into the 32-bit range.
  int Encode(const float* cells, int n, std::int32_t* out) const;
  int Encode(const double* cells, int n, std::int32_t* out) const;
  std::int32_t EncodeOne(float cell) const;
  std::int32_t EncodeOne(double cell) const;

  // The integer a no-data cell carries.
  std::int32_t NoDataCell() const { return m_noDataCell; }

  // Truncates toward zero into the signed 32-bit range; NaN gives 0.
  static std::int32_t Saturate(double value);

 private:
  bool IsNoData(float cell) const;
  bool IsNoData(double cell) const;
  // The clamped cells among n float cells, one by one.
  int CountClamped(const float* cells, int n) const;
  // Encode the longest run of whole groups of four and give its length; clamped counts the
  // clamped cells among them.
  int EncodeSse2(const float* cells, int n, std::int32_t* out, int& clamped) const;
  int EncodeAvx2(const float* cells, int n, std::int32_t* out, int& clamped) const;
  int EncodeAvx2(const double* cells, int n, std::int32_t* out, int& clamped) const;

  double m_zoom;
  std::int32_t m_noDataCell;
  // The invalid value for double cells; NaN when there is none, so that it matches nothing.
  double m_invalid;
  // The no-data test of float cells as an interval of floats: exactly the cells whose distance
  // to the invalid value is below the tolerance (empty when there is no invalid value).
  float m_noDataLow;
  float m_noDataHigh;
  // The smallest magnitude of a float cell that may be clamped (infinity when none is).
  float m_clampMagnitude;
  bool m_avx2;
};
