#pragma once
// The writer side's exception guard: every guarded operation catches everything, reports the
// exception line with its class's file and the guard's line (level 3, code 0x200e0) when logging
// is on, and returns its failure result. No exception leaves a writer operation.
//
//   return GuardWriter(logOn, kGeodemWriterFile, __LINE__, E_FAIL, [&] { ...; return S_OK; });
#include <cstdint>
#include <utility>

inline constexpr std::uint32_t kWriterExceptionCode = 0x200e0;

// The file an exception line names: one per class, whichever source file holds the operation, so
// that a line reads the same whatever file an operation moves to.
inline constexpr char kGeodemWriterFile[] = "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter1.cpp";
inline constexpr char kRasterWriterBaseFile[] =
    "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.cpp";
inline constexpr char kWriterBaseFile[] = "HVXOWRITER/HVXOWriterBase/HVXOWriterBase.cpp";

// Raises "异常,位于代码文件 %s 的 %ld 行"; never throws.
void LogWriterException(const char* file, long line) noexcept;

template <class Result, class Body>
Result GuardWriter(bool logOn, const char* file, long line, Result failure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    if (logOn) LogWriterException(file, line);
    return failure;
  }
}

// For guarded operations without a result.
template <class Body>
void GuardWriterVoid(bool logOn, const char* file, long line, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    if (logOn) LogWriterException(file, line);
  }
}
