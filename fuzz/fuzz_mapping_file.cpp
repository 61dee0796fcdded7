// Mapping files as the fuzzer writes them: the bytes become a file on disk, which a fresh writer
// opens as its job. OpenJob has MappingFile::Load read it (parse and validation, root check, every
// section reader, macro expansion) and then uses what was loaded: destination names from the
// rules, the DEM parameters, the writer directives as settings. The same writer then opens the
// file again, as for its next job, which clears and refills everything the first load stored.
//
// A DTD or schema that an input names is read from disk when it exists; the network is never asked.
#include <cstddef>
#include <cstdint>

#include "FuzzEnvironment.h"
#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "host/CodePage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The scratch folder's name is ASCII, so its GBK, UTF-8 and UTF-16 forms agree.
  static const std::string path = FuzzEnvironment::Instance().File("mapping.xml");
  static const std::u16string widePath = GbkToUtf16(path);
  FuzzEnvironment::WriteFile(path, data, size);
  HVXOGEODEMWriter writer;
  if (writer.OpenJob(widePath.c_str()) != E_FAIL) writer.OpenJob(widePath.c_str());
  return 0;
}
