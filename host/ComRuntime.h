#pragma once
// Component creation. A class is found first in the in-process class table that the host runtime
// fills at start-up, then, for a context that allows in-process servers, through the registry: the
// module file named by CLSID\{...}\InprocServer32 is loaded (once) and asked through its
// DllGetClassObject. Failures: REGDB_E_CLASSNOTREG (neither knows the class), REGDB_E_READREGDB
// (the registry cannot be read), CO_E_DLLNOTFOUND (the module does not load), CO_E_ERRORINDLL (it
// has no DllGetClassObject), or the module's own answer.
#include <cstdint>
#include <string>
#include <vector>

#include "host/Guid.h"
#include "host/Unknown.h"

inline constexpr std::uint32_t CLSCTX_INPROC_SERVER = 0x1;
inline constexpr std::uint32_t CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr std::uint32_t CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr std::uint32_t CLSCTX_ALL =
    CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// Puts a class object into the in-process table (adding a reference), replacing an earlier one.
void RegisterInprocClass(const CLSID& clsid, IClassFactory* factory);
// Removes a class from the table (releasing its class object); nothing when it is absent.
void RevokeInprocClass(const CLSID& clsid);
// Empties the table.
void RevokeAllInprocClasses();

HRESULT CoGetClassObject(const CLSID& clsid, std::uint32_t context, const IID& iid, void** object);
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, std::uint32_t context, const IID& iid,
                         void** object);

// Unloads every loaded module whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();
// The module files loaded now for classes found through the registry (GBK paths).
std::vector<std::string> CoLoadedModules();
// Why the last failed CoGetClassObject or CoCreateInstance of this thread failed (GBK); "" when the
// last call succeeded.
std::string CoLastError();
