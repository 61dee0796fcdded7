#pragma once
// Registration of an in-process server class in the registry, as a module's DllRegisterServer and
// DllUnregisterServer do it, and the look-up of a class's module that component creation uses.
//
// Registration writes, under HKEY_CLASSES_ROOT:
//   <ProgID>                                 @ = description
//   <ProgID>\CLSID                           @ = {class identifier}
//   <VersionIndependentProgID>               @ = description
//   <VersionIndependentProgID>\CLSID         @ = {class identifier}
//   <VersionIndependentProgID>\CurVer        @ = <ProgID>
//   CLSID\{class identifier}                 @ = description
//   CLSID\{class identifier}\ProgID          @ = <ProgID>
//   CLSID\{class identifier}\VersionIndependentProgID  @ = <VersionIndependentProgID>
//   CLSID\{class identifier}\Programmable    (an empty key)
//   CLSID\{class identifier}\InprocServer32  @ = module path, "ThreadingModel" = threading model
//   CLSID\{class identifier}\TypeLib         @ = {type library}
// The class identifier key is recreated from scratch; the whole registration is one atomic change
// of the registry file, so a crash or a concurrent registration never leaves half of it.
#include <optional>
#include <string>

#include "host/Guid.h"
#include "host/HResult.h"

struct ServerClassInfo {
  CLSID clsid;
  std::string description;
  std::string progId;                    // empty: no program identifier keys
  std::string versionIndependentProgId;  // empty: no version-independent keys
  std::string modulePath;                // the module file (GBK), as ModulePathOf gives it
  std::string threadingModel;            // e.g. "Apartment"; empty: no ThreadingModel value
  std::optional<GUID> typeLibrary;       // referenced only; the type library is not registered
};

// S_OK; E_INVALIDARG for a class without a module path or with a program identifier that holds a
// backslash; HRESULT_FROM_WIN32 of the registry's error code when the registry cannot be changed
// (RegistryLastError() says why).
HRESULT RegisterServerClass(const ServerClassInfo& info);
// Removes the class identifier key (the CLSID key above it stays) and the program identifier keys
// that still name this class; keys another class has taken over since are left alone. S_OK also
// when nothing was registered.
HRESULT UnregisterServerClass(const ServerClassInfo& info);

// The module file registered for a class (CLSID\{...}\InprocServer32); REGDB_E_CLASSNOTREG when
// there is none, REGDB_E_READREGDB when the registry cannot be read.
HRESULT InprocServerPath(const CLSID& clsid, std::string& modulePath);

// The absolute path (GBK) of the module file that holds the address; "" when it cannot be found or
// is not expressible in GBK (such a path could never be loaded back from the registry).
std::string ModulePathOf(const void* addressInModule);
