#include "gridfile/PrjFile.h"

#include <cpl_conv.h>
#include <ogr_srs_api.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "host/AtomicFile.h"

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
  // Like the grid file: complete or not at all, and never through another user's link.
  AtomicFile file;
  const std::string text = esriWkt + "\n";
  if (file.Create(path) &&
      ::write(file.fd(), text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
      file.Commit())
    return true;
  error = file.refusal().empty() ? "cannot write " + path + ": " + std::strerror(errno)
                                 : file.refusal();
  return false;
}
