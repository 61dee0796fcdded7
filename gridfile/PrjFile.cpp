#include "gridfile/PrjFile.h"

#include <cpl_conv.h>
#include <ogr_srs_api.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

std::string PrjFile::PathBeside(const std::string& gridPath) {
  return std::filesystem::path(gridPath).replace_extension(".prj").string();
}

std::string PrjFile::EsriWkt(const std::string& wkt) {
  if (wkt.empty()) return {};
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  std::string esri;
  char* text = const_cast<char*>(wkt.c_str());  // GDAL advances its own copy of the pointer
  if (OSRImportFromWkt(srs, &text) == OGRERR_NONE && OSRMorphToESRI(srs) == OGRERR_NONE) {
    char* exported = nullptr;
    if (OSRExportToWkt(srs, &exported) == OGRERR_NONE && exported) esri = exported;
    CPLFree(exported);
  }
  OSRDestroySpatialReference(srs);
  return esri;
}

bool PrjFile::Write(const std::string& path, const std::string& esriWkt, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << esriWkt << "\n";
  out.close();
  if (out) return true;
  error = "cannot write " + path + ": " + std::strerror(errno);
  return false;
}
