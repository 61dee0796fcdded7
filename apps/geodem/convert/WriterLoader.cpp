#include "apps/geodem/convert/WriterLoader.h"

#include <cstdio>
#include <filesystem>

#include "apps/geodem/GbkText.h"
#include "apps/geodem/convert/StatusText.h"
#include "host/CodePage.h"
#include "host/ComRuntime.h"
#include "host/Registry.h"
#include "host/ServerRegistration.h"

namespace {

const char* const kRegisterHint = "; run 'geodem register' to register it";

// The registries a look-up searched, for messages.
std::string RegistryName() {
  return (RegistrySearchPath().size() == 1 ? "the registry " : "the registries ") +
         RegistrySearchPathText();
}

// Why the module of a class could not serve it, as far as the registry tells.
std::string ModuleProblem(const CLSID& clsid, HRESULT hr, bool verbose) {
  std::string module;
  if (InprocServerPath(clsid, module) != S_OK)
    return "the class " + clsid.ToString() + " has no module in " + RegistryName();
  std::string path = FromWriterText(module);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    return "the registered module " + path + " does not exist";
  std::string detail = FromWriterText(CoLastError());
  return "the module " + path + " does not create the writer" +
         (verbose ? " (status " + StatusText(hr) + ")" : "") + (detail.empty() ? "" : ": " + detail);
}

}  // namespace

bool WriterLoader::ReadProgId(std::string& progId, std::string& error) {
  HKEY key = nullptr;
  LONG code = RegOpenKeyA(HKEY_CLASSES_ROOT, kCatalogueKey, &key);
  if (code == ERROR_SUCCESS) {
    code = RegQueryValueA(key, "CLSID", progId);
    RegCloseKey(key);
  }
  if (code == ERROR_SUCCESS && !progId.empty()) return true;
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_SUCCESS) {
    error = "the GEODEM writer is not registered in " + RegistryName() + kRegisterHint;
  } else {
    error = "cannot read " + RegistryName() + ": " + FromWriterText(RegistryLastError());
  }
  return false;
}

bool WriterLoader::Load(LoadedWriter& writer, bool verbose, std::string& error) {
  std::string progId;
  if (!ReadProgId(progId, error)) return false;
  CLSID clsid;
  if (CLSIDFromProgID(GbkToUtf16(progId).c_str(), &clsid) != S_OK) {
    error = "the GEODEM writer's program identifier " + FromWriterText(progId) +
            " names no class in " + RegistryName() + kRegisterHint;
    return false;
  }
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IWriterJob::iid, writer.job.PutVoid());
  if (FAILED(hr) || !writer.job) {
    error = "cannot create the GEODEM writer: " + ModuleProblem(clsid, hr, verbose) + kRegisterHint;
    return false;
  }
  writer.target = writer.job.As<IRasterTargetWriter>();
  if (!writer.target) {
    writer.Release();
    error = "the component registered as the GEODEM writer is not a raster writer" +
            std::string(kRegisterHint);
    return false;
  }
  return true;
}
