#pragma once
// geodem's stderr: log lines marked by their level, and the progress ticks that share the stream.
// A log line that arrives while a progress line is open starts on a line of its own.
#include <cstdint>
#include <ostream>
#include <string_view>

class Console {
 public:
  // Quiet: no information lines; warnings and errors still go out, as GDAL's tools do with -q.
  explicit Console(std::ostream& out, bool quiet = false) : out_(out), quiet_(quiet) {}

  // One line "<mark> <text>", the mark naming the level: "info:", "warning:", "error:",
  // "exception:". The text is UTF-8.
  void Log(std::int32_t level, std::string_view text);
  void Info(std::string_view text);
  void Warning(std::string_view text);
  void Error(std::string_view text);

  // Continues the open progress line; `closes` ends it with a line break.
  void Progress(std::string_view ticks, bool closes);
  // Ends an open progress line (after a failure, the line stops where it got to).
  void EndProgressLine();

  static const char* LevelMark(std::int32_t level);
  // Error and exception lines so far.
  int errorCount() const { return errorCount_; }

 private:
  std::ostream& out_;
  bool quiet_;
  bool progressLineOpen_ = false;
  int errorCount_ = 0;
};
