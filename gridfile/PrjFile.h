#pragma once
// The coordinate system beside a grid file: the grid format has no place for one, so it goes, as
// the ASCII grid tools keep it, into a .prj of the same name (a.prj for a.dem). The text is ESRI's
// WKT, which ArcGIS-style readers of .prj files need (they match datums and projections by ESRI's
// names), with the system's authority code as the outermost node's last child,
// AUTHORITY["EPSG","4490"], as ESRI's own WKT may carry it: GDAL, QGIS and PROJ then name the
// system by its code (EPSG:4490, 4547...) instead of guessing it from the names. A system whose
// coordinates the grid converts to metres (CoordinateUnits) is written in metres, without a code.
// The GDAL driver of the grid format reads it back, and both geodem and the driver write it, with
// the grid as one set (GridFileSet).
#include <string>

class PrjFile {
 public:
  // The .prj of a grid file: its extension replaced (or added), as GridFileSet names it.
  static std::string PathBeside(const std::string& gridPath);
  // A coordinate system (any WKT GDAL reads) as the .prj text above; empty when there is none or
  // GDAL cannot read it.
  static std::string EsriWkt(const std::string& wkt);
  // Whether the text of a .prj (ESRI's WKT, or any form GDAL reads) states the coordinate system
  // wkt as a grid's .prj would: another dataset's .prj may stand for a new grid only then.
  static bool SameSystem(const std::string& prjText, const std::string& wkt);
};
