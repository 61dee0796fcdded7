#include "apps/geodem/batch/ConversionLog.h"

#include <fstream>

std::string ConversionLog::WhyFailed(const std::string& logPath) {
  std::ifstream in(logPath, std::ios::binary);
  std::string line, first, lastError, last;
  while (std::getline(in, line)) {
    if (line.rfind("error:", 0) == 0 || line.rfind("exception:", 0) == 0) {
      if (first.empty()) first = line;
      lastError = line;
    }
    if (!line.empty()) last = line;
  }
  if (first.empty()) return last;
  return lastError == first ? first : first + "; " + lastError;
}
