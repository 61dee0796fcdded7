#include "apps/geodem/Console.h"

#include "host/GeoEvents.h"

namespace {
// Level 1 is not raised by the writer; it marks geodem's own warnings.
constexpr std::int32_t kLogWarning = 1;
}  // namespace

const char* Console::LevelMark(std::int32_t level) {
  switch (level) {
    case kLogInfo:
      return "info:";
    case kLogWarning:
      return "warning:";
    case kLogError:
      return "error:";
    case kLogException:
      return "exception:";
    default:
      return level > kLogException ? "exception:" : "warning:";
  }
}

void Console::Log(std::int32_t level, std::string_view text) {
  if (quiet_ && level == kLogInfo) return;
  EndProgressLine();
  if (level >= kLogError) ++errorCount_;
  out_ << LevelMark(level) << ' ' << text << '\n';
  out_.flush();
}

void Console::Info(std::string_view text) { Log(kLogInfo, text); }
void Console::Warning(std::string_view text) { Log(kLogWarning, text); }
void Console::Error(std::string_view text) { Log(kLogError, text); }

void Console::Progress(std::string_view ticks, bool closes) {
  out_ << ticks;
  if (closes) out_ << '\n';
  out_.flush();
  progressLineOpen_ = !closes;
}

void Console::EndProgressLine() {
  if (!progressLineOpen_) return;
  out_ << '\n';
  progressLineOpen_ = false;
}
