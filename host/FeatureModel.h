#pragma once
// The feature-model classes of the host framework that every writer base looks for when it is
// created. The DEM writer only holds them; the host runtime offers trivial versions, so a writer
// created under a host that lacks one of them logs the missing component and works on.
#include "host/Guid.h"
#include "host/Unknown.h"

inline constexpr CLSID CLSID_Fields = MakeGuid("{6A0C5A51-2F1E-4C47-9B1D-0E3B7A6C1F01}");
inline constexpr CLSID CLSID_Field = MakeGuid("{6A0C5A51-2F1E-4C47-9B1D-0E3B7A6C1F02}");
inline constexpr CLSID CLSID_Geometry = MakeGuid("{6A0C5A51-2F1E-4C47-9B1D-0E3B7A6C1F03}");
inline constexpr CLSID CLSID_GeometryColumnInfo =
    MakeGuid("{6A0C5A51-2F1E-4C47-9B1D-0E3B7A6C1F04}");
inline constexpr CLSID CLSID_GeoProjectedCoordinateSystem =
    MakeGuid("{6A0C5A51-2F1E-4C47-9B1D-0E3B7A6C1F05}");
inline constexpr CLSID CLSID_HVXOFeature = MakeGuid("{6A0C5A51-2F1E-4C47-9B1D-0E3B7A6C1F06}");

// The two interfaces that writers ask of the instances they create. They carry no operations that
// the DEM writer calls.
struct IGeometry : IUnknown {
  static constexpr IID iid = MakeGuid("{6A0C5A51-2F1E-4C47-9B1D-0E3B7A6C1F13}");

 protected:
  ~IGeometry() = default;
};

struct IGeoProjectedCoordinateSystem : IUnknown {
  static constexpr IID iid = MakeGuid("{6A0C5A51-2F1E-4C47-9B1D-0E3B7A6C1F15}");

 protected:
  ~IGeoProjectedCoordinateSystem() = default;
};

// Puts the six classes into the in-process class table.
void RegisterFeatureModelClasses();
