#pragma once
// The band of a source dataset that the driver writes, read as the grid's integers by the rules
// geodem convert applies to its sources: the band's no-data value as the band's own type holds it
// (a Float32 band's -9999.9 is the float -9999.900390625), NaN always no data, and a floating band
// without a usable no-data value taking the lowest 32-bit float as its invalid value, as geodem's
// temporary rasters do. The cells are read and encoded by the writer component's band reader.
#include <gdal_priv.h>

#include <optional>

#include "HVXOWRITER/HVXOGEODEMWriter/GridBandReader.h"
#include "HVXOWRITER/HVXOGEODEMWriter/GridCellEncoder.h"
#include "HVXOWRITER/HVXOGEODEMWriter/GridRowSource.h"
#include "gdal/GeodemCreationOptions.h"

class GeodemSourceBand final : public GridRowSource {
 public:
  GeodemSourceBand(GDALRasterBand& band, const GeodemCreationOptions& options);

  int RowsPerRead() const override { return m_reader.RowsPerRead(); }
  bool Read(int row, int count, std::int32_t* out) override {
    return m_reader.Read(row, count, out);
  }

  // The value whose cells are no data; nothing when only NaN cells are.
  static std::optional<double> InvalidValue(GDALRasterBand& band);

 private:
  GridCellEncoder m_encoder;  // before the reader, which keeps a reference to it
  GridBandReader m_reader;
};
