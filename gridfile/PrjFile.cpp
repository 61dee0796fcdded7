#include "gridfile/PrjFile.h"

#include <cpl_conv.h>
#include <cpl_string.h>
#include <ogr_srs_api.h>

#include <cctype>

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

namespace {

// A .prj's text as GDAL's readers of .prj files take it: ESRI's names turned back into EPSG's.
OGRSpatialReferenceH ReadPrj(const std::string& text) {
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  char** lines = CSLTokenizeStringComplex(text.c_str(), "\r\n", FALSE, FALSE);
  const bool read = lines && OSRImportFromESRI(srs, lines) == OGRERR_NONE;
  CSLDestroy(lines);
  if (read) return srs;
  OSRDestroySpatialReference(srs);
  return nullptr;
}

}  // namespace

bool PrjFile::SameSystem(const std::string& prjText, const std::string& wkt) {
  const std::string ours = EsriWkt(wkt);
  if (ours.empty()) return false;
  auto trimmed = [](std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    return s;
  };
  if (trimmed(prjText) == ours) return true;
  OGRSpatialReferenceH theirs = ReadPrj(prjText), mine = ReadPrj(ours);
  const char* criteria[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
  const bool same = theirs && mine && OSRIsSameEx(theirs, mine, criteria);
  if (theirs) OSRDestroySpatialReference(theirs);
  if (mine) OSRDestroySpatialReference(mine);
  return same;
}
