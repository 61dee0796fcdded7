#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"

#include "host/GeoEvents.h"

void LogWriterException(const char* file, long line) noexcept {
  try {
    FireGeoLogGbk(FormatGbk("异常,位于代码文件 %s 的 %ld 行", file, line), kLogException,
                  kWriterExceptionCode);
  } catch (...) {
    // Nothing more can be reported when even the report fails.
  }
}
