#pragma once
// Finds and creates the writer of the GEODEM format the way the conversion framework does: the
// catalogue key HKCR\GEOCOMPONENTCATEGORY\Talvane\HVXObjects\Writer\GEODEM names the writer's
// program identifier in its "CLSID" value; the identifier leads to the class, and component
// creation loads the module registered for it.
#include <string>

#include "host/ComPtr.h"
#include "host/IRasterTargetWriter.h"
#include "host/IWriterJob.h"

struct LoadedWriter {
  ComPtr<IWriterJob> job;
  ComPtr<IRasterTargetWriter> target;

  void Release() {
    target.Reset();
    job.Reset();
  }
};

class WriterLoader {
 public:
  static constexpr const char* kCatalogueKey =
      "GEOCOMPONENTCATEGORY\\Talvane\\HVXObjects\\Writer\\GEODEM";

  // Creates the writer; false and an error text (UTF-8) that says how to mend it otherwise, with
  // the status code of the failed creation when `verbose`.
  static bool Load(LoadedWriter& writer, bool verbose, std::string& error);

 private:
  static bool ReadProgId(std::string& progId, std::string& error);
};
