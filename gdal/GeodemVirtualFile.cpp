#include "gdal/GeodemVirtualFile.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

bool Copy(const std::string& local, const std::string& to) {
  VSILFILE* in = VSIFOpenL(local.c_str(), "rb");
  VSILFILE* out = in ? VSIFOpenL(to.c_str(), "wb") : nullptr;
  bool ok = in && out;
  std::vector<char> buffer(std::size_t{1} << 20);
  while (ok) {
    const std::size_t n = VSIFReadL(buffer.data(), 1, buffer.size(), in);
    if (n == 0) break;
    ok = VSIFWriteL(buffer.data(), 1, n, out) == n;
  }
  if (in) VSIFCloseL(in);
  if (out && VSIFCloseL(out) != 0) ok = false;
  return ok;
}

}  // namespace

bool GeodemVirtualFile::Is(const std::string& path) { return STARTS_WITH(path.c_str(), "/vsi"); }

bool GeodemVirtualFile::Put(const std::string& local, const std::string& target) {
  const std::string part = target + "." + std::to_string(::getpid()) + ".part";
  if (Copy(local, part)) {
    if (VSIRename(part.c_str(), target.c_str()) == 0) return true;
    VSIUnlink(part.c_str());
    if (Copy(local, target)) return true;  // a file system that cannot rename
  } else {
    VSIUnlink(part.c_str());
  }
  CPLError(CE_Failure, CPLE_FileIO, "Cannot write %s: %s.", target.c_str(), VSIStrerror(errno));
  return false;
}

std::string GeodemVirtualFile::MakeLocalFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/geodem-vsi-XXXXXX";
  if (::mkdtemp(pattern.data())) return pattern;
  CPLError(CE_Failure, CPLE_FileIO, "Cannot make a temporary folder %s: %s.", pattern.c_str(),
           VSIStrerror(errno));
  return {};
}

void GeodemVirtualFile::RemoveLocalFolder(const std::string& folder) {
  char** files = VSIReadDir(folder.c_str());
  for (char** file = files; file && *file; ++file)
    VSIUnlink(CPLFormFilename(folder.c_str(), *file, nullptr));
  CSLDestroy(files);
  VSIRmdir(folder.c_str());
}
