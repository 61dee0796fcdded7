#pragma once
// The DEM writer: the raster writer base with the CNSDTF-DEM grid file as its format. Every
// finished temporary raster is converted by the grid writer under the writer's DEM parameters and
// the source's invalid values; the interfaces the host drives build on this class.
#include <string>

#include "HVXOWRITER/HVXOGEODEMWriter/DemWriterParameters.h"
#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"

class HVXOGEODEMWriter : public HVXORasterWriterBase {
 public:
  HVXOGEODEMWriter();
  ~HVXOGEODEMWriter() override;

  // Writes the grid file at finalPath from the temporary raster and deletes the raster; 1 on
  // success, 0 on failure (the temporary raster is then kept).
  int WriteFormatFile(const std::string& finalPath, const std::string& temporaryPath) override;

  DemWriterParameters demParameters;
};
