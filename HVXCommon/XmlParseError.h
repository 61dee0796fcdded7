#pragma once
// Why a document could not be loaded, as the parser words it.
#include <cstdint>
#include <string>

struct XmlParseError {
  std::int32_t errorCode = 0;     // 0 when no error was recorded
  std::string reason;             // UTF-8, trailing line break included
  std::int32_t line = 0;          // 1-based; 0 when the error has no place in the file
  std::int32_t linePosition = 0;  // column within the line, 1-based; 0 when unknown
};
