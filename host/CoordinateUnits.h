#pragma once
// The unit in which a grid file states the plane coordinates (X0, Y0, DX, DY) of a coordinate
// system. The header has a letter for it, and we use three: M (metres), D (degrees) and F (feet,
// international or US survey, as the system has them). Coordinates in any other linear unit
// (kilometres, chains, links, Indian feet...) are written in metres: they are multiplied by the
// unit's length in metres, and the coordinate system that goes with the grid (its .prj) is the
// same system in metres. A raster without a coordinate system is taken as metres, as it always was.
//
// The writer component's unit letter, geodem and the GDAL driver all ask here, so a grid says the
// same whichever way it was made.
#include <string>

class CoordinateUnits {
 public:
  enum class Kind {
    kNone,  // no coordinate system: taken as metres
    kMetres,
    kDegrees,
    kFeet,
    kConverted,  // another linear unit, written as metres
    kUnsound,    // no plane coordinates a grid can state (see reason())
  };

  // The units of a coordinate system given as any text GDAL reads (WKT, "EPSG:4490"); empty text
  // is no coordinate system.
  static CoordinateUnits Of(const std::string& wkt);

  Kind kind() const { return m_kind; }
  // M for metres, converted units and no coordinate system, D for degrees, F for feet; nothing
  // ('\0') for an unsound one.
  char letter() const;
  // What the coordinates are multiplied by to be in the header's unit (1 unless converted).
  double factor() const { return m_factor; }
  // The unit's name as the coordinate system gives it ("kilometre").
  const std::string& unitName() const { return m_unitName; }
  // Why the coordinates cannot be written, for kUnsound.
  const std::string& reason() const { return m_reason; }
  // The coordinate system in which the header's coordinates lie, as WKT: for converted units the
  // system with its linear unit set to the metre (false easting and northing converted too),
  // otherwise the text as given.
  std::string HeaderWkt(const std::string& wkt) const;

 private:
  Kind m_kind = Kind::kNone;
  double m_factor = 1;
  std::string m_unitName;
  std::string m_reason;
};
