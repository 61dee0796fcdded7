#pragma once
// The well-known text of an EPSG coordinate system, for tests that give rasters a projection.
#include <cpl_conv.h>
#include <ogr_srs_api.h>

#include <string>

inline std::string Wkt(int epsg) {
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  OSRImportFromEPSG(srs, epsg);
  char* text = nullptr;
  OSRExportToWkt(srs, &text);
  std::string wkt = text;
  CPLFree(text);
  OSRDestroySpatialReference(srs);
  return wkt;
}
