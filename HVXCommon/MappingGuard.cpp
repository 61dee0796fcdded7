#include "HVXCommon/MappingGuard.h"

#include "host/GeoEvents.h"

void LogMappingException(const char* file, long line) noexcept {
  try {
    FireGeoLogGbk(FormatGbk("出现异常，位于代码文件 %s 的第 %ld 行", file, line), kLogException,
                  kMappingExceptionCode);
  } catch (...) {
    // Nothing more can be reported when even the report fails.
  }
}
