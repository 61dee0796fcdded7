#pragma once
// The mapping-file reader's exception guard: every step and reader catches everything, reports the
// exception line with the reader's file and the guard's line (level 3, code 0x304e0) and returns
// its failure result. Unlike the writer side, the reader reports whatever the log switch says: a
// job that cannot be read must always say why.
//
//   return GuardMapping(kMappingFileFile, __LINE__, 1, [&] { ...; return 0; });
#include <cstdint>
#include <utility>

inline constexpr std::uint32_t kMappingExceptionCode = 0x304e0;
// The file the reader's exception lines name, however the build spells the source's path.
inline constexpr char kMappingFileFile[] = "HVXCommon/MappingFile.cpp";

// Raises "出现异常，位于代码文件 %s 的第 %ld 行"; never throws.
void LogMappingException(const char* file, long line) noexcept;

template <class Result, class Body>
Result GuardMapping(const char* file, long line, Result failure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    LogMappingException(file, line);
    return failure;
  }
}
