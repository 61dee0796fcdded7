#include "host/FeatureModel.h"

#include "host/ClassFactory.h"
#include "host/ComObject.h"
#include "host/ComPtr.h"
#include "host/ComRuntime.h"

namespace {

// Feature-model objects are opaque to the writers: each class needs an identity and, for the two
// that writers instantiate, the interface they ask for.
struct FeatureObject : ComObject<FeatureObject, IGeometry, IGeoProjectedCoordinateSystem> {};

void Offer(const CLSID& clsid) {
  auto factory = ComPtr<IClassFactory>::Attach(ClassFactory<FeatureObject>::Create());
  RegisterInprocClass(clsid, factory.Get());
}

}  // namespace

void RegisterFeatureModelClasses() {
  for (const CLSID& clsid : {CLSID_Fields, CLSID_Field, CLSID_Geometry, CLSID_GeometryColumnInfo,
                             CLSID_GeoProjectedCoordinateSystem, CLSID_HVXOFeature})
    Offer(clsid);
}
