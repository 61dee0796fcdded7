#pragma once
// The registry of the host runtime: a file-backed stand-in for HKEY_CLASSES_ROOT. It is a tree of
// keys, each with a default value and named string values; key and value names are compared
// ignoring case (GBK-aware). Sub-key paths use backslashes, as on Windows. Narrow strings are GBK.
//
// Every change re-reads the file under an advisory lock (flock on "<file>.lock") and writes the
// whole registry to a temporary file in the same folder that is synced and renamed over the file,
// so concurrent processes never lose each other's updates and a reader or a crash never meets half
// a registry. A missing file is an empty registry. A file that cannot be read as a registry is
// never overwritten: every operation on it fails with ERROR_BADDB and RegistryLastError() says
// where.
//
// A key handle names a key by its path in the file it was opened in; it holds no lock and no state
// of the key, so a handle may outlive the key (operations on it then fail with ERROR_KEY_DELETED).
#include <cstdint>
#include <string>
#include <vector>

#include "host/Guid.h"
#include "host/HResult.h"

using LONG = std::int32_t;
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
// The registry file is not a registry (corrupt, hand-edited wrongly, or some other file).
inline constexpr LONG ERROR_BADDB = 1009;
// The registry file could not be read, written or locked.
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
// The key of a handle was deleted after the handle was opened.
inline constexpr LONG ERROR_KEY_DELETED = 1018;

struct RegistryKey;
using HKEY = RegistryKey*;

// The root of the registry. Keys are opened in the first file of RegistrySearchPath() that holds
// them, as Windows merges a user's classes over the machine's; changes made through the root go to
// RegistryFilePath(). Both are read from the environment at each call.
extern const HKEY HKEY_CLASSES_ROOT;

// Opens root\subKey, creating it and every missing key on the way.
LONG RegCreateKeyA(HKEY root, const char* subKey, HKEY* result);
// Opens root\subKey; ERROR_FILE_NOT_FOUND when it does not exist (for HKEY_CLASSES_ROOT: in none
// of the files searched, which RegistryLastError() names). Null or "" opens root itself.
LONG RegOpenKeyA(HKEY root, const char* subKey, HKEY* result);
// Reads a value; a null or empty name is the default value. ERROR_FILE_NOT_FOUND when it is unset.
LONG RegQueryValueA(HKEY key, const char* valueName, std::string& value);
// Sets a value; a null or empty name is the default value.
LONG RegSetValueA(HKEY key, const char* valueName, const std::string& value);
// Deletes the last key of root\subKey with everything below it; the keys above it stay. A null or
// empty subKey deletes the key of the handle itself (the root cannot be deleted:
// ERROR_ACCESS_DENIED).
LONG RegDeleteKeyA(HKEY root, const char* subKey);
// Frees a handle; closing HKEY_CLASSES_ROOT does nothing.
LONG RegCloseKey(HKEY key);

// The registry file that changes go to, as an operating-system path: $GEODEM_REGISTRY when set,
// else the user's ${XDG_DATA_HOME:-$HOME/.local/share}/geodem/registry.
std::string RegistryFilePath();
// The system-wide registry that an installed product registers in: $GEODEM_SYSTEM_REGISTRY when
// set, else the path the build chose (/var/lib/geodem/registry by default).
std::string SystemRegistryFilePath();
// The files a look-up searches, in order: $GEODEM_REGISTRY alone when set (a registry of its own,
// as tests and scripts need), else the user's registry and then the system-wide one. Run as root,
// a file that is not root's is left out (RootTrust).
std::vector<std::string> RegistrySearchPath();
// The search path as messages name it: "A" or "A or B" (UTF-8).
std::string RegistrySearchPathText();
// A readable account of the last failed registry operation of this thread (GBK); "" after a
// success.
std::string RegistryLastError();

// Finds the class of a program identifier through HKCR\<ProgID>\CLSID. A version-independent
// identifier is followed through its CurVer key to the current version first; the first file of
// RegistrySearchPath() that resolves it answers. CO_E_CLASSSTRING when the identifier names no
// class, REGDB_E_READREGDB when a registry cannot be read.
HRESULT CLSIDFromProgID(const char16_t* progId, CLSID* clsid);
