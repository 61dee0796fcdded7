#pragma once
// A raster writer that records the calls of its virtual operations, passing them on to the real
// ones unless told otherwise, and that converts by recording the paths it was given.
#include <string>
#include <utility>
#include <vector>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"

struct DatasetWrite {
  int x, y, columns, rows;
  GDALDataType type;
  int bands;
  int pixelSpace, lineSpace, bandSpace;
  const unsigned char* buffer;
};

struct BandWrite {
  int band;  // 1-based, found by handle
  int x, y, columns, rows;
  const unsigned char* buffer;
};

class RecordingWriter : public HVXORasterWriterBase {
 public:
  std::int32_t CreateTargetDataset(SourceRecord& record, ISpatialReference* reference,
                                   const std::vector<double>& noData) override {
    createdNoData.push_back(noData);
    return HVXORasterWriterBase::CreateTargetDataset(record, reference, noData);
  }
  int WriteBandWindow(GDALRasterBandH band, int xOff, int yOff, int xSize, int ySize, void* buffer,
                      int bufXSize, int bufYSize, GDALDataType bufType, int pixelSpace,
                      int lineSpace) override {
    bandWrites.push_back({GDALGetBandNumber(band), xOff, yOff, xSize, ySize,
                          static_cast<const unsigned char*>(buffer)});
    if (!passThrough) return 1;
    return HVXORasterWriterBase::WriteBandWindow(band, xOff, yOff, xSize, ySize, buffer, bufXSize,
                                                 bufYSize, bufType, pixelSpace, lineSpace);
  }
  int WriteDatasetWindow(GDALDatasetH dataset, int xOff, int yOff, int xSize, int ySize,
                         void* buffer, int bufXSize, int bufYSize, GDALDataType bufType,
                         int bandCount, int* bandMap, int pixelSpace, int lineSpace,
                         int bandSpace) override {
    datasetWrites.push_back({xOff, yOff, xSize, ySize, bufType, bandCount, pixelSpace, lineSpace,
                             bandSpace, static_cast<const unsigned char*>(buffer)});
    if (!passThrough) return 1;
    return HVXORasterWriterBase::WriteDatasetWindow(dataset, xOff, yOff, xSize, ySize, buffer,
                                                    bufXSize, bufYSize, bufType, bandCount, bandMap,
                                                    pixelSpace, lineSpace, bandSpace);
  }
  int WriteFormatFile(const std::string& finalPath, const std::string& temporaryPath) override {
    conversions.emplace_back(finalPath, temporaryPath);
    return conversionResult;
  }

  bool passThrough = true;
  int conversionResult = 1;
  std::vector<std::vector<double>> createdNoData;
  std::vector<DatasetWrite> datasetWrites;
  std::vector<BandWrite> bandWrites;
  std::vector<std::pair<std::string, std::string>> conversions;
};
