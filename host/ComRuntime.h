#pragma once
// Component creation. A class is found first in the in-process class table that the host runtime
// fills at start-up, then (once registration exists) through the registry's InprocServer32 module.
#include <cstdint>

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

HRESULT CoGetClassObject(const CLSID& clsid, std::uint32_t context, const IID& iid,
                         void** object);
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, std::uint32_t context,
                         const IID& iid, void** object);
