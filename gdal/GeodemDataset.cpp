#include "gdal/GeodemDataset.h"

#include <cpl_conv.h>
#include <cpl_string.h>

#include <cctype>
#include <cmath>
#include <memory>
#include <string_view>

#include "gdal/GeodemGridCopy.h"
#include "gdal/GeodemGuard.h"
#include "gdal/GeodemRasterBand.h"
#include "gdal/GeodemReplacement.h"
#include "gridfile/GridFileSet.h"
#include "gridfile/GridHeaderParser.h"
#include "host/UserPath.h"

// GDAL asks every driver for every name any program opens or creates: only the header bytes GDAL
// read are looked at, and nothing else is touched.
int GeodemDataset::Identify(GDALOpenInfo* info) {
  return Guarded(
      [&] {
        return info->nHeaderBytes > 0 &&
                       GridHeaderParser::Identify(
                           std::string_view(reinterpret_cast<const char*>(info->pabyHeader),
                                            static_cast<std::size_t>(info->nHeaderBytes)))
                   ? TRUE
                   : FALSE;
      },
      FALSE);
}

GDALDataset* GeodemDataset::Open(GDALOpenInfo* info) {
  return Guarded([&] { return OpenGrid(info); }, static_cast<GDALDataset*>(nullptr));
}

CPLErr GeodemDataset::Delete(const char* filename) {
  return Guarded([&] { return GeodemReplacement::Delete(filename); }, CE_Failure);
}

GDALDataset* GeodemDataset::OpenGrid(GDALOpenInfo* info) {
  if (!Identify(info)) return nullptr;
  if (info->eAccess == GA_Update) {
    CPLError(CE_Failure, CPLE_NotSupported,
             "The GEODEM driver does not support update access to existing datasets.");
    return nullptr;
  }
  auto dataset = std::make_unique<GeodemDataset>();
  if (!dataset->m_reader.Open(info->pszFilename)) {
    CPLError(CE_Failure, CPLE_OpenFailed, "%s: %s", info->pszFilename,
             dataset->m_reader.Error().c_str());
    return nullptr;
  }
  const GridHeader& header = dataset->m_reader.Header();
  std::optional<double> noData;
  std::optional<bool> metres = HeightsInMetres(info, header);
  if (!metres || !NoDataOption(info, header, noData)) return nullptr;
  if (header.alpha != 0) {
    CPLError(CE_Warning, CPLE_AppDefined,
             "%s: the grid's rotation (Alpha %g) is ignored; it is read as north-up",
             info->pszFilename, header.alpha);
  }
  if (header.zoom == 0) {
    CPLError(CE_Warning, CPLE_AppDefined,
             "%s: Hzoom is 0, so the heights cannot be recovered; the band is left unscaled",
             info->pszFilename);
  }
  dataset->nRasterXSize = header.cols;
  dataset->nRasterYSize = header.rows;
  dataset->SetBand(1, new GeodemRasterBand(dataset.get(), header.zoom, noData, *metres));
  // The .aux.xml beside the grid describes the stored integers (their statistics, say): the view
  // in metres neither reads nor writes it.
  if (*metres) dataset->nPamFlags |= GPF_DISABLED;
  dataset->ReadProjection(info);
  dataset->SetHeaderMetadata();
  dataset->SetDescription(info->pszFilename);
  dataset->TryLoadXML(info->GetSiblingFiles());
  dataset->oOvManager.Initialize(dataset.get(), info->pszFilename, info->GetSiblingFiles());
  return dataset.release();
}

GDALDataset* GeodemDataset::CreateCopy(const char* filename, GDALDataset* source, int,
                                       char** options, GDALProgressFunc progress,
                                       void* progressData) {
  return Guarded(
      [&]() -> GDALDataset* {
        {
          // The target's lock, held until the new set stands.
          std::unique_ptr<GeodemReplacement> replacement = GeodemReplacement::Begin(filename);
          if (!replacement) return nullptr;
          const auto parsed = GeodemCreationOptions::Read(options, source->GetRasterCount());
          if (!parsed || !GeodemGridCopy(filename, *parsed).Write(*source, progress, progressData))
            return nullptr;
        }
        GDALOpenInfo info(filename, GA_ReadOnly);
        return Open(&info);
      },
      static_cast<GDALDataset*>(nullptr));
}

// HEIGHTS=STORED (the default): the stored integers, scaled by 1 / Hzoom; HEIGHTS=METRES: Float32
// metres. Nothing after a CE_Failure.
std::optional<bool> GeodemDataset::HeightsInMetres(GDALOpenInfo* info, const GridHeader& header) {
  const char* option = CSLFetchNameValue(info->papszOpenOptions, "HEIGHTS");
  if (!option || EQUAL(option, "STORED")) return false;
  if (!EQUAL(option, "METRES") && !EQUAL(option, "METERS")) {
    CPLError(CE_Failure, CPLE_IllegalArg, "HEIGHTS=%s: expected STORED or METRES", option);
    return std::nullopt;
  }
  if (header.zoom == 0) {
    CPLError(CE_Failure, CPLE_AppDefined,
             "%s: Hzoom is 0, so the heights cannot be recovered in metres (HEIGHTS=METRES)",
             info->pszFilename);
    return std::nullopt;
  }
  return true;
}

// NODATA=NONE: no no-data value; NODATA=<number>: that value, truncated toward zero as the writer
// truncates it; no option: the header's no-data key, else the writer's default.
bool GeodemDataset::NoDataOption(GDALOpenInfo* info, const GridHeader& header,
                                 std::optional<double>& noData) {
  const char* option = CSLFetchNameValue(info->papszOpenOptions, "NODATA");
  if (!option) {
    noData = std::trunc(header.NoDataOrDefault());
    return true;
  }
  if (EQUAL(option, "NONE")) return true;
  char* end = nullptr;
  const double value = CPLStrtod(option, &end);
  if (end == option || *end != '\0' || !(value > -2147483649.0 && value < 2147483648.0)) {
    CPLError(CE_Failure, CPLE_IllegalArg,
             "NODATA=%s: expected NONE or a number in the range of a 32-bit integer", option);
    return false;
  }
  noData = std::trunc(value);
  return true;
}

CPLErr GeodemDataset::GetGeoTransform(double* transform) {
  m_reader.Header().GeoTransform(transform);
  return CE_None;
}

const OGRSpatialReference* GeodemDataset::GetSpatialRef() const {
  if (!m_srs.IsEmpty()) return &m_srs;
  return GDALPamDataset::GetSpatialRef();
}

char** GeodemDataset::GetFileList() {
  char** files = GDALPamDataset::GetFileList();
  if (!m_prjPath.empty()) files = CSLAddString(files, m_prjPath.c_str());
  return files;
}

namespace {

// The lines of a small text file as one text, blanks at the ends left out.
std::string JoinLines(char** lines) {
  std::string text;
  for (char** line = lines; *line; ++line) text += *line;
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

// The grid carries no coordinate system; the ASCII grid tools' convention puts it beside the file
// as ESRI WKT, a.prj for a.dem.
void GeodemDataset::ReadProjection(GDALOpenInfo* info) {
  const std::string path = info->pszFilename;
  // A grid named x.prj has no .prj: its own name is not one.
  if (GridFileSet(path).IsOwnPrj()) return;
  std::string prj;
  bool shared = false;
  if (char** siblings = info->GetSiblingFiles()) {
    const std::string name = CPLGetFilename(path.c_str());
    for (char** sibling = siblings; *sibling; ++sibling) {
      if (prj.empty() && GridFileSet::IsPrjOf(name, *sibling))
        prj = CPLFormFilename(CPLGetPath(path.c_str()), *sibling, nullptr);
      shared = shared || GridFileSet::SharesPrjWith(name, *sibling);
    }
    if (prj.empty()) return;
  } else {
    for (const char* extension : {"prj", "PRJ"}) {
      std::string candidate = CPLResetExtension(path.c_str(), extension);
      VSIStatBufL stat;
      if (VSIStatExL(candidate.c_str(), &stat, VSI_STAT_EXISTS_FLAG) == 0) {
        prj = candidate;
        break;
      }
    }
    if (prj.empty()) return;
  }
  // Part of the dataset even when it does not read: GDAL's Rename and Copy take it along, unless
  // another dataset shares it (area.asc beside area.dem), which would lose it.
  if (!shared) m_prjPath = prj;
  std::string refusal;  // a FIFO there would hold the open for ever
  char** lines = UserPath::MayRead(prj, ".prj file", refusal) ? CSLLoad(prj.c_str()) : nullptr;
  m_srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  // ESRI's WKT first, as geodem writes it; else any text GDAL's coordinate-system parser takes
  // ("EPSG:4490", PROJ strings, OGC WKT), without reading files or the network it might name.
  const std::string text = lines ? JoinLines(lines) : std::string();
  if (!(lines && m_srs.importFromESRI(lines) == OGRERR_NONE) &&
      !(!text.empty() &&
        m_srs.SetFromUserInput(text.c_str(), OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS) ==
            OGRERR_NONE)) {
    m_srs.Clear();
    CPLError(CE_Warning, CPLE_AppDefined,
             "%s: not a coordinate system that GDAL reads; the grid is left without one",
             prj.c_str());
  }
  CSLDestroy(lines);
  IdentifyCode();
}

namespace {

// A coordinate system in ESRI's WKT, the form the .prj holds; empty when it has none.
std::string EsriText(const OGRSpatialReference& srs) {
  char* text = nullptr;
  const char* const options[] = {"FORMAT=WKT1_ESRI", nullptr};
  std::string esri;
  if (srs.exportToWkt(&text, options) == OGRERR_NONE && text) esri = text;
  CPLFree(text);
  return esri;
}

}  // namespace

// Sheet production keys on the codes. A .prj that names its code (as geodem writes it) stands for
// the system of that code, with its full definition (names, axes, area of use), when it is that
// system's ESRI form; one without a code (ESRI's own files have none) for the system GDAL
// identifies with full confidence, when exactly one is.
void GeodemDataset::IdentifyCode() {
  if (m_srs.IsEmpty()) return;
  const char* authority = m_srs.GetAuthorityName(nullptr);
  const char* code = m_srs.GetAuthorityCode(nullptr);
  if (authority && code) {
    OGRSpatialReference named;
    if (named.SetFromUserInput((std::string(authority) + ":" + code).c_str(),
                               OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS) ==
            OGRERR_NONE &&
        EsriText(named) == EsriText(m_srs)) {
      m_srs = named;
      m_srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    }
    return;
  }
  int count = 0;
  int* confidence = nullptr;
  OGRSpatialReferenceH* matches = m_srs.FindMatches(nullptr, &count, &confidence);
  if (count >= 1 && confidence[0] == 100 && (count == 1 || confidence[1] < 100)) {
    m_srs = *OGRSpatialReference::FromHandle(matches[0]);
    m_srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  }
  OSRFreeSRSArray(matches);
  CPLFree(confidence);
}

// The header's values as they stand, under their keys, and the layout under CNSDTF_LAYOUT. Set on
// the dataset itself: this is the file's own content, not something to keep in an .aux.xml. The
// format's texts are GBK (a Chinese remark, say); GDAL's are UTF-8.
void GeodemDataset::SetHeaderMetadata() {
  const GridHeader& header = m_reader.Header();
  GDALDataset::SetMetadataItem("CNSDTF_LAYOUT", std::string(GridLayoutName(header.layout)).c_str());
  GDALDataset::SetMetadataItem(GridHeader::kUnitItem, std::string(1, header.unit).c_str());
  for (const auto& [key, value] : header.entries) {
    bool plain = !key.empty();
    for (char c : key) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!plain) continue;
    char* utf8 = CPLRecode(value.c_str(), "GBK", CPL_ENC_UTF8);
    GDALDataset::SetMetadataItem(key.c_str(), utf8);
    CPLFree(utf8);
  }
}
