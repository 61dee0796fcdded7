#include "host/HostRuntime.h"

#include "host/ClassFactory.h"
#include "host/ComPtr.h"
#include "host/ComRuntime.h"
#include "host/FeatureModel.h"
#include "host/PropertySet.h"

void InitializeHostRuntime() {
  auto factory = ComPtr<IClassFactory>::Attach(ClassFactory<PropertySet>::Create());
  RegisterInprocClass(CLSID_PropertySet, factory.Get());
  RegisterFeatureModelClasses();
}
