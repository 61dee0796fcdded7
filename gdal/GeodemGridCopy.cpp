#include "gdal/GeodemGridCopy.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>

#include <cerrno>
#include <memory>

#include "gridfile/GridCellEncoder.h"
#include "gridfile/GridTextFile.h"
#include "gridfile/GridTextWriter.h"
#include "gdal/GeodemSourceBand.h"
#include "gdal/GeodemVirtualFile.h"
#include "gridfile/GridFileSet.h"
#include "gridfile/PrjFile.h"
#include "host/AtomicFile.h"
#include "host/CodePage.h"
#include "host/UserPath.h"

namespace {

bool Fail(CPLErrorNum number, const char* format, const char* a, const char* b = "") {
  CPLError(CE_Failure, number, format, a, b);
  return false;
}

// A source's name in messages: in-memory datasets have none.
const char* NameOf(GDALDataset& source) {
  const char* name = source.GetDescription();
  return name && *name ? name : "the source";
}

}  // namespace

bool GeodemGridCopy::Write(GDALDataset& source, GDALProgressFunc progress,
                           void* progressData) const {
  return GeodemVirtualFile::Is(m_target) ? WriteVirtual(source, progress, progressData)
                                         : WriteLocal(source, progress, progressData);
}

// Written locally as any grid file, then put beside the virtual target, the .prj first.
bool GeodemGridCopy::WriteVirtual(GDALDataset& source, GDALProgressFunc progress,
                                  void* progressData) const {
  const std::string folder = GeodemVirtualFile::MakeLocalFolder();
  if (folder.empty()) return false;
  const std::string local = folder + "/" + CPLGetFilename(m_target.c_str());
  const GridFileSet localSet(local), targetSet(m_target);
  const std::string prj = localSet.prjPath(), aux = localSet.auxPath();
  const bool written =
      GeodemGridCopy(local, m_options).WriteLocal(source, progress, progressData) &&
      (!m_options.prj || !UserPath::IsOwnFile(prj) ||
       GeodemVirtualFile::Put(prj, targetSet.prjPath())) &&
      (!UserPath::IsOwnFile(aux) || GeodemVirtualFile::Put(aux, targetSet.auxPath())) &&
      GeodemVirtualFile::Put(local, m_target);
  GeodemVirtualFile::RemoveLocalFolder(folder);
  return written;
}

bool GeodemGridCopy::WriteLocal(GDALDataset& source, GDALProgressFunc progress,
                                void* progressData) const {
  // The source first: a source that cannot be written leaves the target alone.
  std::unique_ptr<GeodemSourceBand> cells = GeodemSourceBand::Open(source, m_options);
  if (!cells || !MayWrite(m_target, m_options) || !MayStandBesidePrj(source)) return false;
  GridTextFile out;
  if (!WriteGrid(source, *cells, out, progress ? progress : GDALDummyProgress, progressData))
    return false;
  // The .prj complete before the grid takes its name; both replace the earlier set as one.
  GridFileSet files(m_target);
  if (m_options.prj && !WritePrj(source, files)) return false;
  if (out.Finish(GridCellEncoder::Saturate(m_options.noData))) return true;
  return Fail(CPLE_FileIO, "Cannot put %s in place: %s; the unfinished new file is removed.",
              m_target.c_str(), VSIStrerror(out.error() ? out.error() : EIO));
}

bool GeodemGridCopy::MayWrite(const std::string& target, const GeodemCreationOptions& options) {
  if (GeodemVirtualFile::Is(target)) return true;  // no user's links there
  // The grid text code takes GBK paths, as the writer component's host hands them over.
  if (GbkToUtf8(Utf8ToGbk(target)) != target) {
    return Fail(CPLE_NotSupported,
                "%s: the grid writer keeps names in GBK, which cannot hold every character of "
                "this path.",
                target.c_str());
  }
  return MayFollow(target) && (!options.prj || MayFollow(GridFileSet(target).prjPath()));
}

// Another dataset's .prj at the grid's .prj name is left as it is: the grid may stand beside it
// only where it states the grid's own coordinate system.
bool GeodemGridCopy::MayStandBesidePrj(GDALDataset& source) const {
  const std::string refusal = GridFileSet(m_target).SharedPrjRefusal(WktOf(source));
  if (refusal.empty()) return true;
  return Fail(CPLE_AppDefined, "%s.", refusal.c_str());
}

std::string GeodemGridCopy::WktOf(GDALDataset& source) {
  const OGRSpatialReference* srs = source.GetSpatialRef();
  if (!srs || srs->IsEmpty()) return {};
  char* wkt = nullptr;
  srs->exportToWkt(&wkt);
  std::string text = wkt ? wkt : "";
  CPLFree(wkt);
  return text;
}

bool GeodemGridCopy::MayFollow(const std::string& path) {
  std::string refusal;
  if (UserPath::MayWrite(path, refusal)) return true;
  if (!refusal.empty()) return Fail(CPLE_OpenFailed, "%s.", refusal.c_str());
  return Fail(CPLE_OpenFailed, "Cannot create %s: %s.", path.c_str(), VSIStrerror(errno));
}

bool GeodemGridCopy::WriteGrid(GDALDataset& source, GridRowSource& cells, GridTextFile& out,
                               GDALProgressFunc progress, void* progressData) const {
  if (!out.Create(Utf8ToGbk(m_target))) {
    if (!out.refusal().empty()) return Fail(CPLE_OpenFailed, "%s.", out.refusal().c_str());
    return Fail(CPLE_OpenFailed, "Cannot create %s: %s.", m_target.c_str(), VSIStrerror(errno));
  }
  const GridTextWriter text(GridTextWriter::LayoutOf(m_options.version), m_options.zoom);
  const GridTextWriter::Georeference geo =
      GridTextWriter::GeoreferenceOf(GDALDataset::ToHandle(&source));
  text.WriteHeader(out, geo);
  bool cancelled = !progress(0.0, nullptr, progressData);
  const bool written = !cancelled && text.WriteRows(out, cells, geo, [&](int row, int rows) {
    cancelled = !progress(static_cast<double>(row + 1) / rows, nullptr, progressData);
    return !cancelled;
  });
  const bool readFailed = !written && !cancelled && !out.Failed();
  const std::string readError = readFailed ? CPLGetLastErrorMsg() : "";
  // Only a complete grid takes the name (Finish, once the .prj stands); anything else goes with
  // the temporary, and an earlier file at the target stays as it was.
  if (written && out.Complete()) return true;
  if (cancelled) {
    return Fail(CPLE_UserInterrupt, "Writing %s was cancelled; the unfinished new file is removed.",
                m_target.c_str());
  }
  if (readFailed) {
    return Fail(CPLE_FileIO, "%s The unfinished new %s is removed.", readError.c_str(),
                m_target.c_str());
  }
  // The system's own reason: "No space left on device" only when the disk really is full.
  return Fail(CPLE_FileIO, "Cannot write %s: %s; the unfinished new file is removed.",
              m_target.c_str(), VSIStrerror(out.error() ? out.error() : EIO));
}

bool GeodemGridCopy::WritePrj(GDALDataset& source, GridFileSet& files) const {
  const std::string wkt = WktOf(source);
  if (wkt.empty()) return true;
  const std::string esri = PrjFile::EsriWkt(wkt);
  const std::string path = files.prjPath();
  if (esri.empty()) {
    CPLError(CE_Warning, CPLE_AppDefined,
             "The coordinate system of %s has no ESRI form; %s is not written.", NameOf(source),
             path.c_str());
    return true;
  }
  if (files.IsOwnPrj()) {
    CPLError(CE_Warning, CPLE_AppDefined,
             "%s is a .prj name itself, so no .prj is written beside it; give the grid another "
             "name to keep its coordinate system.",
             m_target.c_str());
    return true;
  }
  // Another dataset's .prj (checked to state this system) stands, or would be made for it too.
  if (const std::string sharer = files.PrjSharer(); !sharer.empty()) {
    if (files.PrjOnDisk().empty()) {
      CPLError(CE_Warning, CPLE_AppDefined,
               "%s is not written: %s would take it for its own; give the grid another name to "
               "keep its coordinate system beside it.",
               path.c_str(), sharer.c_str());
    }
    return true;
  }
  std::string error;
  if (!files.PreparePrj(esri, error)) {
    return Fail(CPLE_FileIO, "%s; %s is not written either.", error.c_str(), m_target.c_str());
  }
  return true;
}
