#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "host/ClassFactory.h"
#include "host/ComPtr.h"
#include "host/ComRuntime.h"
#include "host/PropertySet.h"
#include "host/Registry.h"
#include "host/ServerRegistration.h"
#include "support/ScopedRegistry.h"
#include "tests/host/module/TestModule.h"

namespace {

const std::string kClassKey = "CLSID\\" + CLSID_TestCounter.ToString();

std::string RealPath(const char* path) {
  char resolved[PATH_MAX];
  return ::realpath(path, resolved) ? resolved : path;
}

// Calls an entry point of the test module the way a registration tool does.
HRESULT CallModule(const char* entryPoint) {
  void* module = ::dlopen(GEODEM_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
  if (!module) return E_FAIL;
  auto function = reinterpret_cast<HRESULT (*)()>(::dlsym(module, entryPoint));
  HRESULT hr = function ? function() : E_FAIL;
  ::dlclose(module);
  return hr;
}

bool ModuleIsLoaded() {
  void* module = ::dlopen(GEODEM_TEST_MODULE, RTLD_NOW | RTLD_NOLOAD);
  if (module) ::dlclose(module);
  return module != nullptr;
}

HRESULT ModuleCanUnloadNow() {
  void* module = ::dlopen(GEODEM_TEST_MODULE, RTLD_NOW | RTLD_NOLOAD);
  if (!module) return E_FAIL;
  auto canUnloadNow = reinterpret_cast<HRESULT (*)()>(::dlsym(module, "DllCanUnloadNow"));
  HRESULT hr = canUnloadNow();
  ::dlclose(module);
  return hr;
}

ComPtr<ITestCounter> CreateCounter(std::uint32_t context = CLSCTX_INPROC_SERVER) {
  ComPtr<ITestCounter> counter;
  EXPECT_EQ(
      CoCreateInstance(CLSID_TestCounter, nullptr, context, ITestCounter::iid, counter.PutVoid()),
      S_OK)
      << CoLastError();
  return counter;
}

TEST(ServerRegistration, WritesTheClassTableWithTheModulesOwnPath) {
  ScopedRegistry registry;
  const std::string clsid = CLSID_TestCounter.ToString();
  ASSERT_EQ(ScopedRegistry::Set(kClassKey + "\\Stale", nullptr, "from an older version"), S_OK);
  ASSERT_EQ(ScopedRegistry::Set("CLSID\\{00000000-0000-0000-0000-00000000000A}", nullptr, "other"),
            S_OK);
  ASSERT_EQ(CallModule("DllRegisterServer"), S_OK) << RegistryLastError();

  EXPECT_EQ(ScopedRegistry::Value("GeodemTest.Counter.1"), kTestCounterDescription);
  EXPECT_EQ(ScopedRegistry::Value("GeodemTest.Counter.1\\CLSID"), clsid);
  EXPECT_EQ(ScopedRegistry::Value("GeodemTest.Counter"), kTestCounterDescription);
  EXPECT_EQ(ScopedRegistry::Value("GeodemTest.Counter\\CLSID"), clsid);
  EXPECT_EQ(ScopedRegistry::Value("GeodemTest.Counter\\CurVer"), kTestCounterProgId);
  EXPECT_EQ(ScopedRegistry::Value(kClassKey), kTestCounterDescription);
  EXPECT_EQ(ScopedRegistry::Value(kClassKey + "\\ProgID"), kTestCounterProgId);
  EXPECT_EQ(ScopedRegistry::Value(kClassKey + "\\VersionIndependentProgID"),
            kTestCounterVersionIndependentProgId);
  EXPECT_TRUE(ScopedRegistry::HasKey(kClassKey + "\\Programmable"));
  EXPECT_EQ(ScopedRegistry::Value(kClassKey + "\\Programmable"), "<missing>");  // an empty key
  EXPECT_EQ(ScopedRegistry::Value(kClassKey + "\\InprocServer32"), RealPath(GEODEM_TEST_MODULE));
  EXPECT_EQ(ScopedRegistry::Value(kClassKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(ScopedRegistry::Value(kClassKey + "\\TypeLib"), LIBID_TestCounter.ToString());
  // The class key was recreated from scratch; other classes stay.
  EXPECT_EQ(ScopedRegistry::Value(kClassKey + "\\Stale"), "<missing>");
  EXPECT_EQ(ScopedRegistry::Value("CLSID\\{00000000-0000-0000-0000-00000000000a}"), "other");

  CLSID found;
  EXPECT_EQ(CLSIDFromProgID(u"GeodemTest.Counter.1", &found), S_OK);
  EXPECT_EQ(found, CLSID_TestCounter);
  // A version-independent identifier is followed through CurVer to the current version.
  ASSERT_EQ(ScopedRegistry::Set("GeodemTest.Counter\\CLSID", nullptr,
                                "{00000000-0000-0000-0000-00000000000A}"),
            S_OK);
  EXPECT_EQ(CLSIDFromProgID(u"geodemtest.counter", &found), S_OK);
  EXPECT_EQ(found, CLSID_TestCounter);
  EXPECT_EQ(CLSIDFromProgID(u"GeodemTest.Missing", &found), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"GeodemTest.Counter.1\\CLSID", &found), CO_E_CLASSSTRING);
  std::string modulePath;
  EXPECT_EQ(InprocServerPath(CLSID_TestCounter, modulePath), S_OK);
  EXPECT_EQ(modulePath, RealPath(GEODEM_TEST_MODULE));

  ASSERT_EQ(CallModule("DllUnregisterServer"), S_OK);
  EXPECT_EQ(ScopedRegistry::Value(kClassKey), "<missing>");
  EXPECT_EQ(ScopedRegistry::Value("GeodemTest.Counter.1"), "<missing>");
  EXPECT_EQ(ScopedRegistry::Value("GeodemTest.Counter"),
            "<missing>");  // its CurVer still named this class
  EXPECT_EQ(ScopedRegistry::Value("CLSID\\{00000000-0000-0000-0000-00000000000A}"), "other");
  EXPECT_EQ(InprocServerPath(CLSID_TestCounter, modulePath), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CLSIDFromProgID(u"GeodemTest.Counter.1", &found), CO_E_CLASSSTRING);
  EXPECT_EQ(CallModule("DllUnregisterServer"), S_OK);  // nothing left to remove
}

TEST(ServerRegistration, UnregistrationLeavesProgramIdentifiersTakenOverByAnotherClass) {
  ScopedRegistry registry;
  ASSERT_EQ(CallModule("DllRegisterServer"), S_OK);
  ASSERT_EQ(ScopedRegistry::Set("GeodemTest.Counter\\CLSID", nullptr,
                                "{00000000-0000-0000-0000-00000000000B}"),
            S_OK);
  ASSERT_EQ(ScopedRegistry::Set("GeodemTest.Counter\\CurVer", nullptr, "GeodemTest.Counter.2"),
            S_OK);
  ASSERT_EQ(CallModule("DllUnregisterServer"), S_OK);
  EXPECT_EQ(ScopedRegistry::Value("GeodemTest.Counter\\CurVer"), "GeodemTest.Counter.2");
  EXPECT_EQ(ScopedRegistry::Value("GeodemTest.Counter.1"), "<missing>");

  EXPECT_EQ(RegisterServerClass({CLSID_TestCounter, "d", "", "", "", "", {}}), E_INVALIDARG);
  EXPECT_EQ(RegisterServerClass({CLSID_TestCounter, "d", "A\\B", "", "/m.so", "", {}}),
            E_INVALIDARG);
  EXPECT_EQ(ModulePathOf(nullptr), "");
  EXPECT_EQ(ModulePathOf(reinterpret_cast<const void*>(&RegisterServerClass)),
            RealPath(GEODEM_HOST_LIBRARY));
}

TEST(ComponentLoading, CreatesThroughTheRegisteredModuleAndUnloadsItWhenUnused) {
  ScopedRegistry registry;
  ASSERT_EQ(CallModule("DllRegisterServer"), S_OK);
  ASSERT_FALSE(ModuleIsLoaded());
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"GeodemTest.Counter", &clsid), S_OK);
  ASSERT_EQ(clsid, CLSID_TestCounter);

  ComPtr<ITestCounter> first = CreateCounter();
  ComPtr<ITestCounter> second = CreateCounter(CLSCTX_ALL);
  ASSERT_TRUE(first && second);
  std::int32_t total = 0;
  first->Add(2, &total);
  first->Add(3, &total);
  EXPECT_EQ(total, 5);
  second->Add(7, &total);
  EXPECT_EQ(total, 7);
  EXPECT_EQ(CoLoadedModules(), std::vector<std::string>{RealPath(GEODEM_TEST_MODULE)});

  // Live objects keep the module; so does a lock on its class object.
  EXPECT_EQ(ModuleCanUnloadNow(), S_FALSE);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(ModuleIsLoaded());
  first.Reset();
  second.Reset();
  ComPtr<IClassFactory> classObject;
  ASSERT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, IClassFactory::iid,
                             classObject.PutVoid()),
            S_OK);
  classObject->LockServer(true);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(ModuleIsLoaded());
  classObject->LockServer(false);
  classObject.Reset();
  EXPECT_EQ(ModuleCanUnloadNow(), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(CoLoadedModules().empty());
  EXPECT_FALSE(ModuleIsLoaded());

  // The next creation loads it again.
  ComPtr<ITestCounter> again = CreateCounter();
  EXPECT_TRUE(again);
  again.Reset();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(ModuleIsLoaded());
}

TEST(ComponentLoading, ReportsClassesThatCannotBeCreated) {
  ScopedRegistry registry;
  ComPtr<IUnknown> object;
  constexpr CLSID unknown = MakeGuid("{00000000-1111-2222-3333-444444444444}");
  EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IUnknown::iid, object.PutVoid()),
            REGDB_E_CLASSNOTREG);
  EXPECT_NE(CoLastError().find("{00000000-1111-2222-3333-444444444444}"), std::string::npos);

  auto registerAt = [](const CLSID& clsid, const std::string& path) {
    return RegisterServerClass({clsid, "broken", "", "", path, "Apartment", {}});
  };
  constexpr CLSID missingFile = MakeGuid("{00000000-0000-0000-0000-000000000001}");
  constexpr CLSID notAModule = MakeGuid("{00000000-0000-0000-0000-000000000002}");
  constexpr CLSID refused = MakeGuid("{00000000-0000-0000-0000-000000000003}");
  constexpr CLSID foreign = MakeGuid("{00000000-0000-0000-0000-000000000004}");
  ASSERT_EQ(registerAt(missingFile, "/nonexistent/libnothing.so"), S_OK);
  ASSERT_EQ(registerAt(notAModule, GEODEM_HOST_LIBRARY), S_OK);
  ASSERT_EQ(registerAt(refused, GEODEM_TEST_MODULE), S_OK);
  ASSERT_EQ(registerAt(foreign, GEODEM_FOREIGN_TEST_MODULE), S_OK);
  EXPECT_EQ(
      CoCreateInstance(missingFile, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid, object.PutVoid()),
      CO_E_DLLNOTFOUND);
  EXPECT_NE(CoLastError().find("libnothing.so"), std::string::npos) << CoLastError();
  EXPECT_EQ(
      CoCreateInstance(notAModule, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid, object.PutVoid()),
      CO_E_ERRORINDLL);
  EXPECT_EQ(
      CoCreateInstance(refused, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid, object.PutVoid()),
      CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(
      CoCreateInstance(foreign, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid, object.PutVoid()),
      CO_E_ERRORINDLL);
  EXPECT_NE(CoLastError().find("another host runtime"), std::string::npos) << CoLastError();
  CoFreeUnusedLibraries();

  // Registered, but the caller allows no in-process server.
  ASSERT_EQ(CallModule("DllRegisterServer"), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_LOCAL_SERVER, IUnknown::iid,
                             object.PutVoid()),
            REGDB_E_CLASSNOTREG);
  // The in-process table comes before the registry.
  auto factory = ComPtr<IClassFactory>::Attach(ClassFactory<PropertySet>::Create());
  RegisterInprocClass(CLSID_TestCounter, factory.Get());
  ComPtr<IPropertySet> set;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IPropertySet::iid,
                             set.PutVoid()),
            S_OK);
  RevokeInprocClass(CLSID_TestCounter);
  EXPECT_TRUE(CoLoadedModules().empty());

  TempDir::WriteFile(registry.Path(), "geodem registry 1\n[CLSID\n");
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid,
                             object.PutVoid()),
            REGDB_E_READREGDB);
  EXPECT_NE(CoLastError().find(":2:"), std::string::npos) << CoLastError();
}

}  // namespace
