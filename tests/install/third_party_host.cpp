// A host that is not geodem, built only from an install: its headers and its host runtime library.
// It creates the GEODEM writer through the registry the way any host does and exits 0 when the
// writer answers as a writer job and a raster target writer.
#include <cstdio>

#include "host/ComPtr.h"
#include "host/ComRuntime.h"
#include "host/HostRuntime.h"
#include "host/IRasterTargetWriter.h"
#include "host/IWriterJob.h"
#include "host/Registry.h"

int main() {
  InitializeHostRuntime();
  CLSID clsid;
  if (CLSIDFromProgID(u"HVXOGEODEMWriter.HVXOGEODEMWriter", &clsid) != S_OK) {
    std::fprintf(stderr, "no writer class: %s\n", RegistryLastError().c_str());
    return 1;
  }
  ComPtr<IWriterJob> job;
  if (CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IWriterJob::iid, job.PutVoid()) !=
          S_OK ||
      !job) {
    std::fprintf(stderr, "cannot create the writer: %s\n", CoLastError().c_str());
    return 1;
  }
  if (!job.As<IRasterTargetWriter>()) {
    std::fprintf(stderr, "the writer is no raster target writer\n");
    return 1;
  }
  std::puts("the writer loaded into a third-party host");
  return 0;
}
