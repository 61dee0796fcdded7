#include "gridfile/PrjFile.h"

#include <cpl_conv.h>
#include <ogr_srs_api.h>

#include "gridfile/GridFileSet.h"
#include "host/CoordinateUnits.h"

std::string PrjFile::PathBeside(const std::string& gridPath) {
  return GridFileSet(gridPath).prjPath();
}

std::string PrjFile::EsriWkt(const std::string& wkt) {
  if (wkt.empty()) return {};
  const CoordinateUnits units = CoordinateUnits::Of(wkt);
  const std::string header = units.HeaderWkt(wkt);
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  std::string esri;
  char* text = const_cast<char*>(header.c_str());  // GDAL advances its own copy of the pointer
  if (OSRImportFromWkt(srs, &text) == OGRERR_NONE) {
    // A system converted to metres is no longer the one its code names.
    const bool keepCode = units.kind() != CoordinateUnits::Kind::kConverted;
    const char* authority = OSRGetAuthorityName(srs, nullptr);
    const char* code = OSRGetAuthorityCode(srs, nullptr);
    const std::string node = keepCode && authority && code
                                 ? std::string(",AUTHORITY[\"") + authority + "\",\"" + code + "\"]"
                                 : std::string();
    char* exported = nullptr;
    if (OSRMorphToESRI(srs) == OGRERR_NONE && OSRExportToWkt(srs, &exported) == OGRERR_NONE &&
        exported && *exported) {
      esri = exported;
      esri.insert(esri.size() - 1, node);  // the last child of the outermost node
    }
    CPLFree(exported);
  }
  OSRDestroySpatialReference(srs);
  return esri;
}
