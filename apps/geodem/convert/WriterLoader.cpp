#include "apps/geodem/convert/WriterLoader.h"

#include <cstdio>
#include <filesystem>

#include "apps/geodem/GbkText.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/convert/StatusText.h"
#include "host/CodePage.h"
#include "host/ComRuntime.h"
#include "host/Registry.h"
#include "host/ServerRegistration.h"

namespace {

std::string RegisterHint() { return _("; run 'geodem register' to register it"); }

// The registries a look-up searched, for messages.
std::string RegistryName() {
  return RegistrySearchPath().size() == 1
             ? Tr("the registry %s", RegistrySearchPathText().c_str())
             : Tr("the registries %s", RegistrySearchPathText().c_str());
}

// Why the module of a class could not serve it, as far as the registry tells.
std::string ModuleProblem(const CLSID& clsid, HRESULT hr, bool verbose) {
  std::string module;
  if (InprocServerPath(clsid, module) != S_OK)
    return Tr("the class %s has no module in %s", clsid.ToString().c_str(), RegistryName().c_str());
  std::string path = FromWriterText(module);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    return Tr("the registered module %s does not exist", path.c_str());
  std::string detail = FromWriterText(CoLastError());
  return Tr("the module %s does not create the writer", path.c_str()) +
         (verbose ? Tr(" (status %s)", StatusText(hr).c_str()) : "") +
         (detail.empty() ? "" : ": " + detail);
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
    error =
        Tr("the GEODEM writer is not registered in %s", RegistryName().c_str()) + RegisterHint();
  } else {
    error = Tr("cannot read %s: %s", RegistryName().c_str(),
               FromWriterText(RegistryLastError()).c_str());
  }
  return false;
}

bool WriterLoader::Load(LoadedWriter& writer, bool verbose, std::string& error) {
  std::string progId;
  if (!ReadProgId(progId, error)) return false;
  CLSID clsid;
  if (CLSIDFromProgID(GbkToUtf16(progId).c_str(), &clsid) != S_OK) {
    error = Tr("the GEODEM writer's program identifier %s names no class in %s",
               FromWriterText(progId).c_str(), RegistryName().c_str()) +
            RegisterHint();
    return false;
  }
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IWriterJob::iid, writer.job.PutVoid());
  if (FAILED(hr) || !writer.job) {
    error = Tr("cannot create the GEODEM writer: %s", ModuleProblem(clsid, hr, verbose).c_str()) +
            RegisterHint();
    return false;
  }
  writer.target = writer.job.As<IRasterTargetWriter>();
  if (!writer.target) {
    writer.Release();
    error =
        _("the component registered as the GEODEM writer is not a raster writer") + RegisterHint();
    return false;
  }
  return true;
}
