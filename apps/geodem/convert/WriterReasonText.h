#pragma once
// The writer's refusals are its own Chinese lines, shown as they are. For a user who reads
// English, geodem follows each with one English line giving the same reason: the writer's line is
// matched by its code against the form of each of its Chinese sentences, and what the line names
// (paths, values, GDAL's words) goes into the English sentence unchanged.
#include <cstdint>
#include <string>

class WriterReasonText {
 public:
  // The English line for the writer's Chinese line of `code`; empty when none is known.
  static std::string English(std::uint32_t code, const std::string& chineseLine);
};
