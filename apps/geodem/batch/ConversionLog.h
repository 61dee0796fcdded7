#pragma once
// The stderr of one tile's conversion, kept while it runs, read for the journal when it fails.
#include <string>

class ConversionLog {
 public:
  // What the log says of why the conversion failed: its first error line, where the cause
  // usually shows, and its last, geodem's summing up (the writer's own first line may name only
  // the file, the system's reason, a full disk, coming after it); else its last line.
  static std::string WhyFailed(const std::string& logPath);
};
